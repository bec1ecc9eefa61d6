// The order book behind a real lighttpd: what reaches the program, what
// comes back, the token flow and many clients at once.
//   KORU=build/koru node --test tests/web/http.test.mjs
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync, writeFileSync } from "node:fs";
import { connect } from "node:net";
import { join } from "node:path";
import { decodeResponse, encodeRequest } from "../../clients/js/koru.mjs";
import { journalBlocks, startSite } from "./server.mjs";

let site;
before(async () => { site = await startSite(); });
after(async () => { if (site) await site.stop(); });

const MODULES = ["shop.js", "probe.js"];

async function post(body, headers = {}, signal = undefined) {
  let reply;
  try {
    reply = await fetch(site.app, { method: "POST", body, headers, signal });
  } catch (e) {
    throw new Error(`POST ${site.app}: ${e.message}: ${e.cause?.code ?? ""} ${e.cause?.message ?? e.cause ?? ""}`);
  }
  const bytes = Buffer.from(await reply.arrayBuffer());
  return { status: reply.status, headers: reply.headers, bytes, decoded: decodeResponse(bytes) };
}

// A request that carries the token of the previous reply.
async function chained(top, token, vars = {}, headers = {}) {
  const r = await post(encodeRequest({ modules: MODULES, top, token, vars }), headers);
  assert.equal(r.status, 200);
  return r;
}

const tokenOf = (r) => ({ key: r.decoded.token.key, token: r.decoded.token.token });

// A raw exchange: the bytes as written, the reply as it comes, the
// connection half-closed after the request.
function raw(request) {
  return new Promise((ok, fail) => {
    const c = connect(site.port, "127.0.0.1");
    const parts = [];
    c.setTimeout(15000, () => { c.destroy(); fail(new Error("no reply within 15 s")); });
    c.on("data", (d) => parts.push(d));
    c.on("end", () => ok(Buffer.concat(parts)));
    c.on("error", fail);
    c.end(request);
  });
}

function journal() {
  return journalBlocks(join(site.run, "journal.log"));
}

// The journal counts of a test are exact only on a site of its own: a block
// of an earlier test's last request may land after that test has ended.
async function onOwnSite(fn) {
  const shared = site;
  site = await startSite();
  try {
    await fn();
  } finally {
    const own = site;
    site = shared;
    await own.stop();
  }
}

// A process writes its block after its output has closed, so the last
// blocks may land a moment after the last reply: the block count once it
// reaches `expected` (or 10 s pass), and stays there a moment longer.
async function settledBlocks(expected) {
  const deadline = Date.now() + 10000;
  let n = journal().length;
  while (n < expected && Date.now() < deadline) {
    await new Promise((r) => setTimeout(r, 100));
    n = journal().length;
  }
  await new Promise((r) => setTimeout(r, 300));
  return journal().length;
}

test("the header and the record stream through lighttpd are those of test mode", async () => {
  const body = encodeRequest({ modules: MODULES, top: "products" });
  const reply = await raw(`POST /app HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: ${body.length}\r\n\r\n${body}`);
  const split = reply.indexOf("\r\n\r\n");
  const head = reply.subarray(0, split).toString("latin1").split("\r\n");
  assert.match(head[0], /^HTTP\/1\.[01] 200 /);
  const type = head.filter((h) => /^content-type:/i.test(h));
  assert.deepEqual(type.map((h) => h.replace(/^[^:]*:\s*/, "")), ["text/plane;charset=UTF-8"]);
  const stream = reply.subarray(split + 4);
  const tested = execFileSync(join(site.run, "cgi/koru"), [body, ""], { cwd: site.run, env: { PATH: process.env.PATH } });
  // The X record differs by the client address and the second it was made.
  const a = decodeResponse(stream), b = decodeResponse(tested);
  assert.ok(a.token && !a.token.refused && b.token);
  assert.equal(stream.subarray(0, a.tokenAt).toString("latin1"), tested.subarray(0, b.tokenAt).toString("latin1"));
  assert.deepEqual(a.rows.products.columns, ["id", "name", "price", "stock"]);
  assert.equal(a.rows.products.objects[2].name, "抹茶ラテ");
});

test("the client address reaches client_ip from REMOTE_ADDR and X-Forwarded-For", async () => {
  const cases = [
    [{}, "127.0.0.1"],
    [{ "X-Forwarded-For": "10.1.2.3" }, "10.1.2.3"],
    [{ "X-Forwarded-For": "192.0.2.9, 127.0.0.1" }, "192.0.2.9"],
  ];
  for (const [headers, expected] of cases) {
    const first = await chained("products", undefined, {}, headers);
    const r = await chained("whoami", tokenOf(first), {}, headers);
    assert.equal(r.decoded.error, null, JSON.stringify(r.decoded.error));
    assert.equal(r.decoded.values.client, expected, JSON.stringify(headers));
  }
});

test("an empty body, a 1 MB body and a body shorter than its Content-Length", () => onOwnSite(async () => {
  const before = journal().length;
  // Empty: no function to call, so not one of the token-free ones either.
  const empty = await post("");
  assert.equal(empty.status, 200);
  assert.equal(empty.decoded.error.code, "1775");
  assert.equal(empty.decoded.token.refused, true);

  // A megabyte of text in one variable arrives whole.
  const first = await chained("products");
  const note = "x".repeat(1 << 20);
  const big = await chained("echo", tokenOf(first), { note });
  assert.ok(big.bytes.length < 1000);
  assert.equal(big.decoded.error, null, JSON.stringify(big.decoded.error));
  assert.equal(big.decoded.values.size, 1 << 20);

  // A megabyte of noise is refused as a malformed request.
  const noise = await post("Z".repeat(1 << 20));
  assert.ok(noise.decoded.error && noise.decoded.error.code !== "", JSON.stringify(noise.decoded.error));
  assert.equal(noise.decoded.token.refused, true);

  // A body cut short: the server never hands the program a partial body
  // as a whole one, and answers no record stream for it.
  const body = encodeRequest({ modules: MODULES, top: "products" });
  const cut = await raw(`POST /app HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: ${body.length + 40}\r\n\r\n${body}`);
  const text = cut.toString("latin1");
  if (process.env.KORU_WEB_VERBOSE) console.log(JSON.stringify(text));
  assert.ok(!/\r\n\r\nY/.test(text), `a record stream came back for a cut body: ${text.slice(0, 200)}`);
  if (text.length) assert.match(text, /^HTTP\/1\.[01] [45]\d\d /);

  // The server is still serving, every block of the journal is whole, and
  // the five requests that reached the program wrote one block each: the
  // cut one never ran it.
  const again = await chained("products");
  assert.equal(again.decoded.error, null);
  assert.equal(await settledBlocks(before + 5), before + 5);
}));

test("the token flow: each reply's token opens the next request; altered, foreign, missing and stale ones are refused", async () => {
  const first = await chained("products");
  assert.equal(first.decoded.token.refused, false);
  let token = tokenOf(first);
  for (let i = 0; i < 3; i++) {
    const r = await chained("recentOrders", token);
    assert.equal(r.decoded.error, null, JSON.stringify(r.decoded.error));
    assert.ok(r.decoded.token.key.startsWith("shop") && !r.decoded.token.refused);
    token = tokenOf(r);
  }
  const refusals = [
    ["no token", undefined, {}],
    ["altered last character", { key: token.key, token: token.token.slice(0, -1) + (token.token.endsWith("0") ? "1" : "0") }, {}],
    ["altered seal", { key: token.key, token: (token.token[0] === "a" ? "b" : "a") + token.token.slice(1) }, {}],
    ["altered key", { key: token.key.slice(0, -1) + (token.key.endsWith("0") ? "1" : "0"), token: token.token }, {}],
    ["another client address", token, { "X-Forwarded-For": "10.9.9.9" }],
  ];
  for (const [what, t, headers] of refusals) {
    const r = await chained("recentOrders", t, {}, headers);
    assert.equal(r.decoded.error?.code, "1775", what);
    assert.equal(r.decoded.token.refused, true, what);
    assert.equal(r.decoded.rows.orders, undefined, what);
  }
  // The refusals did not spend the good token: the address and the time
  // are all it binds.
  const still = await chained("recentOrders", token);
  assert.equal(still.decoded.error, null);

  // Replayed after its age has passed: refused as too old.
  const config = join(site.run, "cgi/KORU.config");
  const saved = readFileSync(config, "utf8");
  try {
    writeFileSync(config, saved.replace(/^TIME_INTERVAL=.*$/m, "TIME_INTERVAL=1"));
    const fresh = tokenOf(await chained("products"));
    await new Promise((r) => setTimeout(r, 2600));
    const stale = await chained("recentOrders", fresh);
    assert.equal(stale.decoded.error?.code, "1775");
    assert.match(stale.decoded.error.message, / : タイムアウト$/);
    assert.equal(stale.decoded.token.refused, true);
  } finally {
    writeFileSync(config, saved);
  }
});

test("50 clients, 500 requests: every reply complete, 500 whole journal blocks", () => onOwnSite(async () => {
  const before = journal().length;
  const clients = 50, each = 10;
  const seen = [];
  await Promise.all(Array.from({ length: clients }, async (_, c) => {
    const headers = { "X-Forwarded-For": `10.0.${c}.1` };
    let r = await chained("products", undefined, {}, headers);
    seen.push(r);
    for (let i = 1; i < each; i++) {
      r = await chained(i % 2 ? "recentOrders" : "whoami", tokenOf(r), {}, headers);
      seen.push(r);
    }
  }));
  assert.equal(seen.length, clients * each);
  for (const r of seen) {
    assert.equal(r.decoded.error, null, JSON.stringify(r.decoded.error));
    assert.ok(r.decoded.counts, "closed by its C record");
    assert.equal(r.decoded.token.refused, false);
  }
  assert.equal(await settledBlocks(before + clients * each), before + clients * each);
}));

test("orders placed at once all complete, each kept once with a number id; refused ones keep nothing", () => onOwnSite(async () => {
  const sql = (q) => execFileSync("sqlite3", [join(site.run, "shop.db"), q], { encoding: "utf8" }).trim();
  sql("update products set stock = 1000");
  const clients = 8, each = 4;
  const placed = [];
  await Promise.all(Array.from({ length: clients }, async (_, c) => {
    const headers = { "X-Forwarded-For": `10.1.${c}.1` };
    let token = tokenOf(await chained("products", undefined, {}, headers));
    for (let i = 0; i < each; i++) {
      const customer = `c${c}-${i}`;
      const order = { customer, lines: [{ product: 1 + (i % 4), qty: 2 }, { product: 1 + ((i + 1) % 4), qty: 1 }] };
      const r = await post(encodeRequest({ modules: MODULES, top: "placeOrder", token, vars: { order } }), headers,
                           AbortSignal.timeout(30000));
      assert.equal(r.decoded.error, null, `${customer}: ${JSON.stringify(r.decoded.error)}`);
      assert.equal(typeof r.decoded.values.order.id, "number", customer);
      placed.push([customer, r.decoded.values.order.id]);
      token = tokenOf(r);
    }
  }));
  const rows = sql("select customer || '=' || id from orders order by id").split("\n");
  assert.deepEqual(rows, placed.sort((a, b) => a[1] - b[1]).map(([c, id]) => `${c}=${id}`));
  // Each order took 2 of one product and 1 of the next: 4 orders a client,
  // so every product lost 3 per client.
  assert.equal(sql("select group_concat(stock) from products order by id"), Array(4).fill(1000 - 3 * clients).join(","));

  let token = tokenOf(await chained("products"));
  const refused = [
    [[{ product: 1, qty: 1 }, { product: 99, qty: 1 }], "Line 2: unknown product."],
    // Nine lines of 99 pass their check, the tenth finds what they left;
    // the whole order is rolled back, its earlier lines' stock included.
    [[{ product: 2, qty: 1 }, ...Array(10).fill({ product: 3, qty: 99 })], `Only ${1000 - 3 * clients - 9 * 99} of 抹茶ラテ left.`],
  ];
  for (const [lines, message] of refused) {
    const r = await chained("placeOrder", token, { order: { customer: "refused", lines } });
    assert.equal(r.decoded.error?.message, message);
    token = tokenOf(r);
  }
  assert.equal(sql("select count(*) from orders where customer = 'refused'"), "0");
  assert.equal(sql("select group_concat(stock) from products order by id"), Array(4).fill(1000 - 3 * clients).join(","));
}));
