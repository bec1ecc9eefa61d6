// The script behind `make serve`: it lays out the site beside the program,
// serves it on the port it is given (or a free one) of 127.0.0.1 in the
// foreground, prints the URL, and stops on Ctrl-C; a bad port is refused
// before anything is laid out.
//   KORU=build/koru node --test tests/web/serve.test.mjs
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, rmSync, symlinkSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { decodeResponse, encodeRequest } from "../../clients/js/koru.mjs";
import { accepts, freePort, koruPath, lighttpdPath, repo } from "./server.mjs";

const SERVE = join(repo, "examples/site/serve.sh");

// A program of its own in a scratch directory: the site goes beside it.
function scratch() {
  const dir = mkdtempSync(join(tmpdir(), "koru-serve-"));
  symlinkSync(koruPath(), join(dir, "koru"));
  return dir;
}

// Runs serve.sh until it has printed its URL and the server listens there
// (the URL is printed just before the server starts); {url, port, child,
// ended} or a failure naming what it printed.
async function serve(dir, args) {
  const s = await printed(dir, args);
  const deadline = Date.now() + 10000;
  while (!(await accepts(s.port))) {
    if (Date.now() > deadline) {
      process.kill(-s.child.pid, "SIGKILL");
      throw new Error(`nothing listens at ${s.url} 10 s after it was printed`);
    }
    await new Promise((r) => setTimeout(r, 50));
  }
  return s;
}

function printed(dir, args) {
  return new Promise((ok, fail) => {
    const child = spawn("bash", [SERVE, join(dir, "koru"), ...args], { stdio: ["ignore", "pipe", "pipe"], detached: true });
    let out = "", err = "";
    const ended = new Promise((r) => child.once("exit", (code, signal) => r({ code, signal })));
    const timer = setTimeout(() => { process.kill(-child.pid, "SIGKILL"); fail(new Error(`no URL within 20 s: ${out} ${err}`)); }, 20000);
    child.stdout.on("data", (d) => {
      out += d;
      const m = /serving the order book at (http:\/\/127\.0\.0\.1:(\d+)\/) /.exec(out);
      if (m) { clearTimeout(timer); ok({ url: m[1], port: Number(m[2]), child, ended }); }
    });
    child.stderr.on("data", (d) => { err += d; });
    ended.then((e) => { clearTimeout(timer); fail(new Error(`serve.sh ended ${JSON.stringify(e)}: ${out} ${err}`)); });
  });
}

// The landing request answers with the products, and the page is served.
async function answers(url) {
  const page = await fetch(url);
  assert.equal(page.status, 200);
  assert.match(await page.text(), /<title>Order book<\/title>/);
  const reply = await fetch(url + "app", { method: "POST", body: encodeRequest({ modules: ["shop.js"], top: "products" }) });
  const r = decodeResponse(Buffer.from(await reply.arrayBuffer()));
  assert.equal(r.error, null);
  assert.equal(r.rows.products.objects.length, 4);
}

test("serve.sh on a given port and on a free one; Ctrl-C stops it and frees the port", async () => {
  lighttpdPath();
  const dir = scratch();
  try {
    const given = await freePort();
    for (const args of [[String(given)], []]) {
      const s = await serve(dir, args);
      try {
        if (args.length) assert.equal(s.port, given);
        await answers(s.url);
        assert.ok(existsSync(join(dir, "site/shop.db")));
      } finally {
        // Ctrl-C reaches the whole foreground group.
        process.kill(-s.child.pid, "SIGINT");
      }
      let timer;
      const end = await Promise.race([s.ended, new Promise((r) => { timer = setTimeout(() => r(null), 10000); })]);
      clearTimeout(timer);
      if (end === null) process.kill(-s.child.pid, "SIGKILL");
      assert.notEqual(end, null, "serve.sh still running 10 s after Ctrl-C");
      // The port is free again.
      const probe = spawnSync("bash", ["-c", `exec 3<>/dev/tcp/127.0.0.1/${s.port}`], { stdio: "ignore" });
      assert.notEqual(probe.status, 0, `port ${s.port} still accepts`);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test("serve.sh refuses a bad port and lays nothing out", () => {
  const dir = scratch();
  try {
    for (const port of ["0", "65536", "080", "8o80", "-1", "99999999999999999999"]) {
      const r = spawnSync("bash", [SERVE, join(dir, "koru"), port], { encoding: "utf8", timeout: 20000 });
      assert.equal(r.status, 2, `${port}: ${r.stdout} ${r.stderr}`);
      assert.match(r.stderr, /bad port/, port);
      assert.ok(!existsSync(join(dir, "site")), port);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
