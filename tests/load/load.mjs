// A load run of the order book behind lighttpd on 127.0.0.1: CLIENTS
// clients place REQUESTS orders between them, each order a journal block
// and a row.  Every reply must be the exact record stream the order calls
// for, the database must hold each order once and the journal whole
// blocks, and no program process may outlive the run.  With TERMINATE set,
// that share of the orders (picked at random) has its program process
// ended by SIGTERM while it runs, the signal the web server sends a CGI
// process it gives up on: the other orders must come through intact, and
// an ended one leaves its row once or not at all.  Exits 1 when any check
// fails; the figures go to standard output.
//
//   KORU=build/koru node tests/load/load.mjs
//   LOAD_REQUESTS (5000, at most 100000)  LOAD_CLIENTS (50, at most 500)
//   LOAD_TERMINATE (0: the share of orders ended, up to 0.5)
//   LOAD_DB (sqlite, or postgresql with KORU_PG_CONN and KORU_PG_PSQL set,
//            as tests/db/pg_cluster.sh sets them)
//   LOAD_SEED (the random choice of the ended orders), LOAD_TIMEOUT (600 s)
import { execFileSync } from "node:child_process";
import { readFileSync, readdirSync, readlinkSync, realpathSync } from "node:fs";
import { join } from "node:path";
import { decodeResponse, encodeRequest } from "../../clients/js/koru.mjs";
import { journalBlocks, koruPath, startSite } from "../web/server.mjs";

function setting(name, fallback, min, max, integer = true) {
  const raw = process.env[name];
  if (raw === undefined || raw === "") return fallback;
  const n = Number(raw);
  if (!Number.isFinite(n) || (integer && !Number.isInteger(n)) || n < min || n > max)
    throw new Error(`${name} must be a${integer ? " whole" : ""} number from ${min} to ${max}, not ${JSON.stringify(raw)}`);
  return n;
}

const REQUESTS = setting("LOAD_REQUESTS", 5000, 1, 100000);
const CLIENTS = Math.min(setting("LOAD_CLIENTS", 50, 1, 500), REQUESTS);
const TERMINATE = setting("LOAD_TERMINATE", 0, 0, 0.5, false);
const SEED = setting("LOAD_SEED", Math.floor(Math.random() * 2 ** 31), 0, 2 ** 31 - 1);
const TIMEOUT_S = setting("LOAD_TIMEOUT", 600, 10, 3600);
const DB = process.env.LOAD_DB || "sqlite";
if (DB !== "sqlite" && DB !== "postgresql") throw new Error(`LOAD_DB is sqlite or postgresql, not ${DB}`);
if (DB === "postgresql" && !(process.env.KORU_PG_CONN && process.env.KORU_PG_PSQL))
  throw new Error("LOAD_DB=postgresql runs inside tests/db/pg_cluster.sh (KORU_PG_CONN and KORU_PG_PSQL unset)");

// The products as setup() makes them; the load's database has them in
// ample stock, so that no order is refused for stock and none sends a
// low-stock alert.
const PRODUCTS = { 1: ["Green tea", 450], 2: ["Matcha cake", 380], 3: ["抹茶ラテ", 520], 4: ["Rice crackers", 260] };
const STOCK = 1000000;

// A small seeded generator (mulberry32): the same seed ends the same orders.
function random(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// Order n: its customer name is its unique id; one to three lines of
// distinct products, not in product order (orders that take the same
// products in different orders must not wait for each other), the
// quantities varying with n.
function orderOf(n) {
  const customer = `L${String(n).padStart(6, "0")}`;
  const count = 1 + (n % 3);
  const lines = [];
  for (let j = 0; j < count; j++) lines.push({ product: 1 + ((n + j) % 4), qty: 1 + ((n * 7 + j) % 5) });
  return { customer, lines };
}

// ---- the record stream an order's reply must be (before its X record)

const SAFE = new Set([..."ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789;,/?:@&=+$-_.*'()#"].map((c) => c.charCodeAt(0)));

function text(s) {
  const bytes = Buffer.from(s, "utf8");
  let body = "", plain = true;
  for (const b of bytes) {
    if (SAFE.has(b)) body += String.fromCharCode(b);
    else { plain = false; body += "%" + b.toString(16).toUpperCase().padStart(2, "0"); }
  }
  const len = String(body.length);
  return String.fromCharCode((plain ? 48 : 65) + len.length) + len + body;
}

const integer = (n) => String.fromCharCode(78 + String(n).length) + String(n);
// A count of 0 is written as one digit, as the server writes it.
const count = (n) => String.fromCharCode(48 + String(n).length) + String(n);
// The name of a nested record is written plain, its caret unescaped.
const plain = (s) => String.fromCharCode(48 + String(s.length).length) + s.length + s;

// A value sent to the front end: a nested container is numbered when it is
// entered and written as its own record before the one that holds it.
class Stream {
  constructor() { this.out = ""; this.next = 500001; this.arrays = 0; this.hashes = 0; this.scalars = 0; }
  field(v) {
    if (typeof v === "number") return integer(v);
    if (typeof v === "string") return text(v);
    const name = `^${Array.isArray(v) ? "A" : "H"}${this.next++}`;
    this.container(name, v);
    return plain(name);
  }
  container(name, v) {
    let body = "";
    if (Array.isArray(v)) {
      for (const e of v) body += this.field(e);
      this.out += "A" + count(v.length) + this.name(name) + body;
      this.arrays++;
    } else {
      const keys = Object.keys(v);
      for (const k of keys) body += text(k) + this.field(v[k]);
      this.out += "H" + count(keys.length) + this.name(name) + body;
      this.hashes++;
    }
  }
  name(n) { return n.startsWith("^") ? plain(n) : text(n); }
  alert(message) { this.out += "s" + text("XYZBCA_ALERT_ABCZYX") + text(message); this.scalars++; }
  close() { return this.out + "C" + count(this.arrays) + count(this.hashes) + count(this.scalars) + count(0); }
}

const cents = (n) => `${Math.floor(n / 100)}.${String(n % 100).padStart(2, "0")}`;

function expectedStream(order, id) {
  const lines = order.lines.map(({ product, qty }) => {
    const [name, price] = PRODUCTS[product];
    return { product, name, qty, price, amount: price * qty };
  });
  const total = lines.reduce((t, l) => t + l.amount, 0);
  const s = new Stream();
  s.container("order", { id, customer: order.customer, total, totalText: cents(total), lines });
  s.alert(`Thank you, ${order.customer}: order ${id} comes to ${cents(total)}.`);
  return { bytes: s.close(), total };
}

// ---- the database, read with its own client

function query(site, sql) {
  const out = DB === "sqlite"
    ? execFileSync("sqlite3", ["-batch", "-separator", "|", join(site.run, "shop.db"), sql], { encoding: "utf8" })
    : execFileSync(process.env.KORU_PG_PSQL, ["-X", "-q", "-A", "-t", "-F", "|", "-v", "ON_ERROR_STOP=1", "-c", sql], { encoding: "utf8" });
  return out.split("\n").filter((l) => l !== "").map((l) => l.split("|"));
}

// ---- the program's processes

// The live processes running this build's program (by their executable).
function programProcesses(koru) {
  const found = [];
  for (const e of readdirSync("/proc")) {
    if (!/^\d+$/.test(e)) continue;
    try {
      if (readlinkSync(`/proc/${e}/exe`) === koru) found.push(Number(e));
    } catch {}
  }
  return found;
}

function childrenOf(pid) {
  const kids = [];
  try {
    for (const t of readdirSync(`/proc/${pid}/task`)) {
      const list = readFileSync(`/proc/${pid}/task/${t}/children`, "utf8").trim();
      if (list) for (const k of list.split(" ")) kids.push(Number(k));
    }
  } catch {}
  return kids;
}

// The order id a CGI process serves, from the header its request carried
// (the server passes it as HTTP_X_LOAD_ID); null before its exec or after
// its end.
function loadIdOf(pid, koru) {
  try {
    if (readlinkSync(`/proc/${pid}/exe`) !== koru) return null;
    const env = readFileSync(`/proc/${pid}/environ`, "latin1").split("\0");
    const line = env.find((l) => l.startsWith("HTTP_X_LOAD_ID="));
    return line ? Number(line.slice(15)) : null;
  } catch {
    return null;
  }
}

// ---- the run

const failures = [];
let failed = 0;
const fail = (m) => { if (failed++ < 10) failures.push(m); };

async function post(site, body, headers, signal) {
  const reply = await fetch(site.app, { method: "POST", body, headers, signal });
  return { status: reply.status, type: reply.headers.get("content-type"), bytes: Buffer.from(await reply.arrayBuffer()) };
}

async function main() {
  const koru = realpathSync(koruPath());
  if (DB === "postgresql") process.env.KORU_SITE_PG = process.env.KORU_PG_CONN;
  const before = programProcesses(koru).length;
  const site = await startSite({ probes: false });
  const deadline = Date.now() + TIMEOUT_S * 1000;
  const rand = random(SEED);
  const ended = new Set();
  while (ended.size < Math.round(REQUESTS * TERMINATE)) ended.add(Math.floor(rand() * REQUESTS));
  const results = new Array(REQUESTS);
  let stopWatch = false;
  let watcher = null;
  try {
    query(site, `update products set stock = ${STOCK}`);
    const journal = join(site.run, "journal.log");

    // Each client opens its session with the landing request, from an
    // address of its own, and sends each order with the token of its last
    // reply (an ended order's reply has none: the one before still holds).
    const sessions = [];
    for (let c = 0; c < CLIENTS; c++) {
      const headers = { "X-Forwarded-For": `10.${c >> 8}.${c & 255}.1` };
      const r = await post(site, encodeRequest({ modules: ["shop.js"], top: "products" }), headers);
      const d = decodeResponse(r.bytes);
      if (d.error || !d.token || d.token.refused) throw new Error(`the landing request failed: ${JSON.stringify(d.error)}`);
      sessions.push({ headers, token: { key: d.token.key, token: d.token.token } });
    }

    // The terminations: the CGI children of lighttpd are watched, and each
    // one serving an order picked to end is sent SIGTERM at a random moment
    // of its run (within the mean time an order takes so far).
    // The orders' blocks are counted from here, once the landing
    // requests' blocks are all written.
    for (const settle = Date.now() + 10000; Date.now() < settle && programProcesses(koru).length > before;)
      await new Promise((r) => setTimeout(r, 50));
    const blocksAtStart = journalBlocks(journal).length;

    let meanMs = 50, done = 0;
    const doomed = new Map(); // order id -> pid signalled
    if (ended.size) {
      const lighttpd = site.pid;
      watcher = (async () => {
        while (!stopWatch) {
          for (const pid of childrenOf(lighttpd)) {
            const id = loadIdOf(pid, koru);
            if (id === null || !ended.has(id) || doomed.has(id)) continue;
            doomed.set(id, pid);
            setTimeout(() => {
              // It may have ended meanwhile (and its pid gone).
              try { if (loadIdOf(pid, koru) === id) process.kill(pid, "SIGTERM"); } catch {}
            }, rand() * meanMs);
          }
          await new Promise((r) => setTimeout(r, 2));
        }
      })();
    }

    let next = 0;
    const started = performance.now();
    await Promise.all(sessions.map(async (session) => {
      while (next < REQUESTS && Date.now() < deadline) {
        const n = next++;
        const order = orderOf(n);
        const body = encodeRequest({ modules: ["shop.js"], top: "placeOrder", token: session.token, vars: { order } });
        const t0 = performance.now();
        let r;
        try {
          r = await post(site, body, { ...session.headers, "X-Load-Id": String(n) }, AbortSignal.timeout(60000));
        } catch (e) {
          r = { error: `${e.message} ${e.cause?.code ?? ""}` };
        }
        const ms = performance.now() - t0;
        const res = { n, order, ms, complete: false };
        results[n] = res;
        if (!r.error && r.status === 200) {
          try {
            const d = decodeResponse(r.bytes);
            if (d.counts && !d.error && d.token && !d.token.refused && d.values.order) {
              res.complete = true;
              // Compared with the stream its database row calls for once
              // the run is over.
              res.stream = r.bytes.subarray(0, d.tokenAt);
              if (!d.token.key.startsWith("shop")) fail(`order ${n}: the token key ${d.token.key}`);
              if (r.type !== "text/plane;charset=UTF-8") fail(`order ${n}: content type ${r.type}`);
              session.token = { key: d.token.key, token: d.token.token };
            } else {
              res.why = `an error reply: ${JSON.stringify(d.error)}`;
            }
          } catch (e) {
            res.why = `a cut reply: ${e.message}`;
          }
        } else {
          res.why = r.error ?? `HTTP ${r.status}`;
        }
        if (!res.complete && !ended.has(n)) fail(`order ${n} was not ended, yet its reply is incomplete: ${res.why}`);
        if (res.complete) { done++; meanMs += (ms - meanMs) / done; }
      }
    }));
    const wall = (performance.now() - started) / 1000;
    stopWatch = true;
    if (watcher) await watcher;
    if (next < REQUESTS) fail(`the run passed its ${TIMEOUT_S} s with ${next} of ${REQUESTS} orders sent`);
    const sent = results.filter(Boolean);

    // The rows: each completed order exactly once, with its reply's id and
    // total; an ended one at most once; nothing else.  Its lines are all
    // there, and the stock fell by exactly what the kept lines took.
    const rows = query(site, "select customer, count(*), min(id), min(total) from orders group by customer");
    const byCustomer = new Map(rows.map(([c, k, id, total]) => [c, { k: Number(k), id: Number(id), total: Number(total) }]));
    const known = new Set(sent.map((r) => r.order.customer));
    for (const c of byCustomer.keys()) if (!known.has(c)) fail(`a row for ${c}, which no order of this run named`);
    let kept = 0, endedKept = 0;
    for (const r of sent) {
      const row = byCustomer.get(r.order.customer);
      if (row && row.k > 1) fail(`order ${r.n}: ${row.k} rows`);
      if (r.complete) {
        if (!row) {
          fail(`order ${r.n}: completed, yet no row`);
        } else {
          const want = expectedStream(r.order, row.id);
          if (row.total !== want.total) fail(`order ${r.n}: the row's total is ${row.total}, the order's ${want.total}`);
          if (!r.stream.equals(Buffer.from(want.bytes, "utf8")))
            fail(`order ${r.n}: the reply is not the stream expected:\n  got  ${JSON.stringify(r.stream.toString("utf8"))}\n  want ${JSON.stringify(want.bytes)}`);
        }
      }
      if (row) { kept++; if (!r.complete) endedKept++; }
    }
    const lineRows = Number(query(site, "select count(*) from order_lines")[0][0]);
    const unmatched = Number(query(site, "select count(*) from order_lines l left join orders o on o.id = l.order_id where o.id is null")[0][0]);
    let wantLines = 0;
    const taken = { 1: 0, 2: 0, 3: 0, 4: 0 };
    for (const r of sent) {
      if (!byCustomer.has(r.order.customer)) continue;
      wantLines += r.order.lines.length;
      for (const l of r.order.lines) taken[l.product] += l.qty;
    }
    if (lineRows !== wantLines || unmatched) fail(`${lineRows} order lines (${unmatched} without their order), the kept orders hold ${wantLines}`);
    for (const [id, stock] of query(site, "select id, stock from products order by id"))
      if (Number(stock) !== STOCK - taken[id]) fail(`product ${id}: stock ${stock}, the kept orders leave ${STOCK - taken[id]}`);

    // The journal: whole blocks only (journalBlocks throws on a cut one),
    // one per order that ran to its end.  A process writes its block after
    // its reply, so the count may still grow a moment after the last reply.
    const completed = sent.filter((r) => r.complete).length;
    // While processes still write, a block may be read half-appended: only
    // the reading after the last of them has ended counts.
    let blocks = 0;
    const settle = Date.now() + 15000;
    for (;;) {
      try { blocks = journalBlocks(journal).length - blocksAtStart; } catch { blocks = -1; }
      if ((blocks >= sent.length || Date.now() > settle) && programProcesses(koru).length <= before) break;
      if (Date.now() > settle + 15000) break;
      await new Promise((r) => setTimeout(r, 100));
    }
    await new Promise((r) => setTimeout(r, 300));
    try { blocks = journalBlocks(journal).length - blocksAtStart; } catch (e) { fail(`the journal: ${e.message}`); }
    if (blocks < completed || blocks > sent.length) fail(`${blocks} journal blocks for ${completed} completed of ${sent.length} orders`);
    if (!ended.size && blocks !== sent.length) fail(`${blocks} journal blocks for ${sent.length} orders`);

    const left = programProcesses(koru).length - before;
    if (left > 0) fail(`${left} program processes still running after the run`);

    const times = sent.filter((r) => r.complete).map((r) => r.ms).sort((a, b) => a - b);
    const at = (q) => (times.length ? times[Math.min(times.length - 1, Math.floor(q * times.length))] : NaN);
    const endedSent = sent.filter((r) => ended.has(r.n));
    const cut = endedSent.filter((r) => !r.complete).length;
    const seen = new Map();
    for (const r of endedSent) if (!r.complete) seen.set(r.why.replace(/\d+/g, "N"), (seen.get(r.why.replace(/\d+/g, "N")) ?? 0) + 1);
    console.log(`load: ${DB}, ${CLIENTS} clients, ${sent.length} orders` +
                (ended.size ? `, ${ended.size} picked to end by SIGTERM (seed ${SEED})` : ""));
    console.log(`  ${wall.toFixed(1)} s, ${(sent.length / wall).toFixed(0)} requests/s; latency of completed orders: ` +
                `median ${at(0.5).toFixed(1)} ms, 90th percentile ${at(0.9).toFixed(1)} ms, 99th percentile ${at(0.99).toFixed(1)} ms`);
    console.log(`  ${completed} replies complete and exact; ${kept} order rows, ${lineRows} line rows; ${blocks} whole journal blocks`);
    if (ended.size)
      console.log(`  of the ${endedSent.length} picked: ${doomed.size} signalled while running, ${cut} ended without a reply ` +
                  `(${endedKept} of these rows kept, committed before the signal), ${endedSent.length - cut} finished first`);
    if (seen.size) console.log(`  the ended ones' clients saw: ${[...seen].map(([w, k]) => `${k} × ${w}`).join("; ")}`);
    console.log(`  program processes left: ${Math.max(0, left)}`);
  } finally {
    stopWatch = true;
    if (watcher) await watcher.catch(() => {});
    await site.stop();
  }
  const after = programProcesses(koru).length - before;
  if (after > 0) fail(`${after} program processes remain after lighttpd stopped`);
  if (failures.length) {
    console.log(`load: FAILED (${failed} checks)\n  ${failures.join("\n  ")}`);
    process.exit(1);
  }
  console.log("load: all checks passed");
}

main().catch((e) => {
  console.log(`load: FAILED: ${e.stack ?? e}`);
  process.exit(1);
});
