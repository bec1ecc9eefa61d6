// The browser client's response decoder under mutated responses.
//
//   node fuzz/client.mjs [SECONDS]        mutate for SECONDS (default 60)
//   node fuzz/client.mjs --replay DIR...  decode every file of the DIRs once
//
// Seeds are the golden responses the real program wrote for the client's
// tests, and the saved inputs of fuzz/regressions/client/.  Each input is a
// seed changed by a few mutations (bytes flipped, record letters and
// field lengths put in, spans cut, doubled or spliced from another seed,
// the end cut off).  The decoder must return or throw its DecodeError; any
// other exception, or a decode that takes more than a second, is a fault:
// the input is saved under fuzz/regressions/client/ and the run fails.  At
// the end it prints the executions and how much of the client's code the
// inputs reached (V8's block coverage).
import { createHash } from "node:crypto";
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { Session } from "node:inspector/promises";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const root = join(here, "..");
const clientUrl = new URL("../clients/js/koru.mjs", import.meta.url).href;
const saved = join(here, "regressions", "client");

const session = new Session();
session.connect();
await session.post("Profiler.enable");
await session.post("Profiler.startPreciseCoverage", { callCount: true, detailed: true });
const { decodeResponse, DecodeError } = await import(clientUrl);

function filesOf(dir) {
  let names = [];
  try { names = readdirSync(dir); } catch { return []; }
  return names.sort().map((n) => new Uint8Array(readFileSync(join(dir, n))));
}

// One decode: "ok", "refused" (a DecodeError) or the fault.
function decodeOnce(bytes) {
  const start = performance.now();
  let fault = null;
  try {
    decodeResponse(bytes);
  } catch (e) {
    if (!(e instanceof DecodeError)) fault = `${e?.name ?? typeof e}: ${e?.message ?? e}`;
  }
  const ms = performance.now() - start;
  if (!fault && ms > 1000) fault = `a decode took ${ms.toFixed(0)} ms`;
  return fault;
}

function save(bytes, fault) {
  mkdirSync(saved, { recursive: true });
  const name = "crash-" + createHash("sha1").update(bytes).digest("hex");
  writeFileSync(join(saved, name), bytes);
  console.error(`fault: ${fault}\n  input saved as ${join(saved, name)}`);
}

async function coverage() {
  const { result } = await session.post("Profiler.takePreciseCoverage");
  const script = result.find((s) => s.url === clientUrl);
  if (!script) return "no coverage of the client";
  const source = readFileSync(fileURLToPath(clientUrl), "utf8");
  // A byte is reached when the innermost range holding it has a count.
  const reached = new Uint8Array(source.length).fill(1);
  let functions = 0, called = 0;
  for (const f of script.functions) {
    if (f.functionName) {
      functions++;
      if (f.ranges[0].count > 0) called++;
    }
    for (const r of f.ranges) reached.fill(r.count > 0 ? 1 : 0, r.startOffset, r.endOffset);
  }
  const n = reached.reduce((a, b) => a + b, 0);
  return `functions called ${called}/${functions}, bytes of code reached ${n}/${source.length} (${(100 * n / source.length).toFixed(1)}%)`;
}

const args = process.argv.slice(2);
if (args[0] === "--replay") {
  let n = 0, faults = 0;
  for (const dir of args.slice(1)) {
    for (const bytes of filesOf(dir)) {
      n++;
      const fault = decodeOnce(bytes);
      if (fault) { faults++; console.error(`fault in ${dir}: ${fault}`); }
    }
  }
  console.log(`replayed ${n} inputs, ${faults} faults`);
  process.exit(faults ? 1 : 0);
}

const seconds = Number(args[0] ?? process.env.FUZZ_SECONDS ?? 60);
const goldens = JSON.parse(readFileSync(join(root, "clients", "js", "test", "goldens.json"), "utf8"));
const encoder = new TextEncoder();
const seeds = Object.values(goldens).map((g) => encoder.encode(g.response)).concat(filesOf(saved));
if (seeds.length === 0) { console.error("no seeds"); process.exit(1); }

// A small generator of our own, seeded so a run can be repeated.
let state = BigInt(Number(process.env.FUZZ_SEED ?? Date.now()) >>> 0) | 1n;
function rand(n) {
  state ^= state << 13n; state &= 0xffffffffffffffffn;
  state ^= state >> 7n;
  state ^= state << 17n; state &= 0xffffffffffffffffn;
  return Number(state % BigInt(n));
}
const pieces = ["s", "A", "H", "Z", "Y", "C", "S", "X", "^A", "^H", "1", "9", "10", "A9", "B1", "N", "O", "d", "e",
                "f", "12", "99", "5000", "%", "%E3", "%2", "\n", "Content-type: text/plane;charset=UTF-8\n\n"].map((p) => encoder.encode(p));

function mutate(input) {
  let b = Array.from(input);
  const times = 1 + rand(4);
  for (let t = 0; t < times; t++) {
    const at = rand(b.length + 1);
    switch (rand(7)) {
      case 0: if (b.length) b[rand(b.length)] ^= 1 << rand(8); break;
      case 1: b.splice(at, 0, ...pieces[rand(pieces.length)]); break;
      case 2: b.splice(at, 1 + rand(8)); break;
      case 3: { const len = 1 + rand(16); b.splice(at, 0, ...b.slice(at, at + len)); break; }
      case 4: b.length = rand(b.length + 1); break;
      case 5: { const o = seeds[rand(seeds.length)]; const from = rand(o.length + 1); b.splice(at, 0, ...o.subarray(from, from + 1 + rand(64))); break; }
      default: if (b.length) b[rand(b.length)] = 0x30 + rand(10); break;
    }
  }
  return new Uint8Array(b);
}

// The seeds themselves first: a saved fault is decoded as it was found.
let runs = 0;
for (const seed of seeds) {
  runs++;
  const fault = decodeOnce(seed);
  if (fault) { console.error(`fault in a seed: ${fault}`); process.exit(1); }
}
const end = performance.now() + seconds * 1000;
while (performance.now() < end) {
  for (let k = 0; k < 200; k++) {
    const input = mutate(seeds[rand(seeds.length)]);
    runs++;
    const fault = decodeOnce(input);
    if (fault) { save(input, fault); process.exit(1); }
  }
}
console.log(`client decoder: ${runs} runs in ${seconds} s (${Math.round(runs / seconds)}/s), no fault; ${await coverage()}`);
