#!/usr/bin/env node
// Writes goldens.json: the responses the real program gives, in test mode,
// to the requests of cases.mjs.
//   node make-goldens.mjs KORU [OUT]
import { execFileSync } from "node:child_process";
import { mkdtempSync, rmSync, symlinkSync, writeFileSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { encodeRequest } from "../koru.mjs";
import { cases } from "./cases.mjs";

export function runCase(koru, c) {
  // A fixed parent, so that a path in a message always has the same
  // length; its random part is masked below.
  const work = mkdtempSync("/tmp/koru-golden-");
  try {
    symlinkSync(resolve(koru), join(work, "koru"));
    if (c.config !== null) writeFileSync(join(work, "KORU.config"), c.config ?? "MODULE_DIR=.\n");
    writeFileSync(join(work, "t.js"), c.script);
    const body = encodeRequest(c.request);
    const args = c.bodyOnly ? [body] : [body, ""];
    const env = { ...process.env };
    delete env.GATEWAY_INTERFACE;
    const out = execFileSync(join(work, "koru"), args, { cwd: work, env, timeout: 20000 });
    return { body, response: out.toString("latin1").replaceAll(work, "/tmp/koru-golden-XXXXXX") };
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
}

export function makeGoldens(koru) {
  const out = {};
  for (const c of cases) out[c.name] = runCase(koru, c);
  return out;
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const koru = process.argv[2];
  if (!koru) {
    console.error("usage: make-goldens.mjs KORU [OUT]");
    process.exit(2);
  }
  const target = process.argv[3] ?? join(dirname(fileURLToPath(import.meta.url)), "goldens.json");
  writeFileSync(target, JSON.stringify(makeGoldens(koru), null, 1) + "\n");
  console.log(`wrote ${target}`);
}
