// Starts the order book behind lighttpd on a free port of 127.0.0.1, in a
// scratch directory, and stops it.  A missing lighttpd or program fails.
import { execFileSync, spawn } from "node:child_process";
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { createServer, connect } from "node:net";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

export const repo = resolve(dirname(fileURLToPath(import.meta.url)), "../..");

export function koruPath() {
  const koru = process.env.KORU;
  if (!koru) throw new Error("KORU must name the program (build/koru)");
  return resolve(koru);
}

export function lighttpdPath() {
  for (const p of ["/usr/sbin/lighttpd", "/usr/bin/lighttpd"]) {
    try {
      execFileSync(p, ["-v"], { stdio: "ignore" });
      return p;
    } catch {}
  }
  throw new Error("lighttpd is not installed (make deps installs it)");
}

export function freePort() {
  return new Promise((ok, fail) => {
    const s = createServer();
    s.on("error", fail);
    s.listen(0, "127.0.0.1", () => {
      const { port } = s.address();
      s.close(() => ok(port));
    });
  });
}

export function accepts(port) {
  return new Promise((ok) => {
    const c = connect(port, "127.0.0.1", () => { c.destroy(); ok(true); });
    c.on("error", () => ok(false));
  });
}

/** {url, app, run, port, pid, stop()}: the site served from a fresh directory (pid: lighttpd's). */
export async function startSite({ probes = true } = {}) {
  const lighttpd = lighttpdPath();
  const koru = koruPath();
  const run = mkdtempSync(join(tmpdir(), "koru-site-"));
  const scripts = join(run, "scripts");
  mkdirSync(scripts);
  copyFileSync(join(repo, "examples/site/scripts/shop.js"), join(scripts, "shop.js"));
  if (probes) copyFileSync(join(repo, "tests/web/probe/probe.js"), join(scripts, "probe.js"));
  const port = await freePort();
  execFileSync("bash", [join(repo, "examples/site/prepare.sh"), run, koru, String(port)], {
    env: { ...process.env, KORU_SITE_SCRIPTS: scripts }, stdio: ["ignore", "pipe", "inherit"],
  });
  const child = spawn(lighttpd, ["-D", "-f", join(run, "lighttpd.conf")], { stdio: ["ignore", "inherit", "inherit"] });
  let exited = null;
  child.on("exit", (code, signal) => { exited = { code, signal }; });
  const deadline = Date.now() + 10000;
  while (!(await accepts(port))) {
    if (exited) throw new Error(`lighttpd ended at start: ${JSON.stringify(exited)}; ${readLog(run)}`);
    if (Date.now() > deadline) {
      child.kill("SIGKILL");
      throw new Error("lighttpd did not listen within 10 s");
    }
    await new Promise((r) => setTimeout(r, 50));
  }
  const stop = async () => {
    if (!exited) {
      const done = new Promise((r) => child.once("exit", r));
      child.kill("SIGTERM");
      const t = setTimeout(() => child.kill("SIGKILL"), 5000);
      await done;
      clearTimeout(t);
    }
    rmSync(run, { recursive: true, force: true });
  };
  return { url: `http://127.0.0.1:${port}/`, app: `http://127.0.0.1:${port}/app`, run, port, pid: child.pid, stop };
}

function readLog(run) {
  try { return readFileSync(join(run, "lighttpd-error.log"), "utf8"); } catch { return ""; }
}

/** The journal's blocks; throws when a block is cut or two are interleaved. */
export function journalBlocks(path) {
  const text = readFileSync(path, "utf8");
  const blocks = [];
  let open = null;
  for (const line of text.split("\n")) {
    if (/^-----  start : .*  -----$/.test(line)) {
      if (open !== null) throw new Error(`a block starts inside another: ${JSON.stringify(open.slice(0, 3))}`);
      open = [];
    } else if (/^=====  end : \d+\/\d\d\/\d\d \d\d:\d\d:\d\d  ===== $/.test(line)) {
      if (open === null) throw new Error("an end line without its start");
      blocks.push(open.join("\n"));
      open = null;
    } else if (open !== null) {
      open.push(line);
    } else if (line !== "") {
      throw new Error(`a line outside every block: ${JSON.stringify(line)}`);
    }
  }
  if (open !== null) throw new Error("the journal ends inside a block");
  return blocks;
}
