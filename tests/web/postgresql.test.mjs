// The order book with its orders in PostgreSQL (KORU_SITE_PG): an order
// placed through lighttpd lands in the server's tables, none in shop.db.
// Runs inside tests/db/pg_cluster.sh, which sets KORU_PG_CONN and KORU_PG_PSQL.
//   KORU=build/koru bash tests/db/pg_cluster.sh node --test tests/web/postgresql.test.mjs
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { decodeResponse, encodeRequest } from "../../clients/js/koru.mjs";
import { koruPath, repo, startSite } from "./server.mjs";

const conn = process.env.KORU_PG_CONN;
const psql = (q) => execFileSync(process.env.KORU_PG_PSQL, ["-X", "-q", "-A", "-t", "-c", q], { encoding: "utf8" }).trim();

test("the cluster's connection is given", () => {
  assert.ok(conn && process.env.KORU_PG_PSQL, "run inside tests/db/pg_cluster.sh");
});

test("an order goes to PostgreSQL, with a number id, and twice the setup finds the tables present", async () => {
  process.env.KORU_SITE_PG = conn;
  const site = await startSite({ probes: false });
  try {
    const config = readFileSync(join(site.run, "cgi/KORU.config"), "utf8");
    assert.match(config, /^VAR=shopPg:"DRIVER=PostgreSQL Unicode;.*"$/m);
    const post = async (body) => decodeResponse(new Uint8Array(await (await fetch(site.app, { method: "POST", body })).arrayBuffer()));
    const first = await post(encodeRequest({ modules: ["shop.js"], top: "products" }));
    assert.equal(first.error, null, JSON.stringify(first.error));
    assert.deepEqual(first.rows.products.objects.map((p) => p.stock), [40, 12, 6, 25]);
    const order = { customer: "Pia", lines: [{ product: 3, qty: 2 }, { product: 1, qty: 1 }] };
    const token = { key: first.token.key, token: first.token.token };
    const r = await post(encodeRequest({ modules: ["shop.js"], top: "placeOrder", token, vars: { order } }));
    assert.equal(r.error, null, JSON.stringify(r.error));
    assert.equal(r.values.order.id, 1);
    assert.equal(r.values.order.total, 2 * 520 + 450);
    assert.deepEqual(r.alerts, ["Thank you, Pia: order 1 comes to 14.90.", "Low stock: 抹茶ラテ: 4 left"]);
    assert.equal(psql("select id || '|' || customer || '|' || total from orders"), "1|Pia|1490");
    assert.equal(psql("select string_agg(product_id || ':' || qty, ',' order by product_id) from order_lines"), "1:1,3:2");
    assert.equal(psql("select string_agg(stock::text, ',' order by id) from products"), "39,12,4,25");
    // The SQLite file is never made.
    assert.equal(existsSync(join(site.run, "shop.db")), false);
    // A second copy on the same database finds its tables.
    const again = mkdtempSync(join(tmpdir(), "koru-site-"));
    try {
      execFileSync("bash", [join(repo, "examples/site/prepare.sh"), again, koruPath(), "8"], { stdio: "ignore" });
      assert.equal(readFileSync(join(again, "setup.out"), "utf8").trim(), '(L) "present"');
    } finally {
      rmSync(again, { recursive: true, force: true });
    }
  } finally {
    delete process.env.KORU_SITE_PG;
    await site.stop();
  }
});

test("orders taking the same products in opposite orders all complete", async () => {
  process.env.KORU_SITE_PG = conn;
  const site = await startSite({ probes: false });
  try {
    psql("update products set stock = 100000");
    const post = async (body, headers) =>
      decodeResponse(new Uint8Array(await (await fetch(site.app, { method: "POST", body, headers, signal: AbortSignal.timeout(60000) })).arrayBuffer()));
    const clients = 12, each = 4;
    const errors = [];
    await Promise.all(Array.from({ length: clients }, async (_, c) => {
      const headers = { "X-Forwarded-For": `10.2.${c}.1` };
      const first = await post(encodeRequest({ modules: ["shop.js"], top: "products" }), headers);
      let token = { key: first.token.key, token: first.token.token };
      for (let i = 0; i < each; i++) {
        const lines = (c + i) % 2 ? [{ product: 1, qty: 1 }, { product: 2, qty: 1 }, { product: 3, qty: 1 }]
                                  : [{ product: 3, qty: 1 }, { product: 2, qty: 1 }, { product: 1, qty: 1 }];
        const r = await post(encodeRequest({ modules: ["shop.js"], top: "placeOrder", token, vars: { order: { customer: `c${c}`, lines } } }), headers);
        if (r.error) errors.push(r.error.message.split("\n").slice(0, 2).join(" "));
        else token = { key: r.token.key, token: r.token.token };
      }
    }));
    assert.deepEqual(errors, []);
    assert.equal(psql("select count(*) from orders where customer like 'c%'"), String(clients * each));
    assert.equal(psql("select string_agg(stock::text, ',' order by id) from products"),
                 [1, 2, 3].map(() => 100000 - clients * each).join(",") + ",100000");
  } finally {
    delete process.env.KORU_SITE_PG;
    await site.stop();
  }
});

test("a connection string that would break out of its setting is refused", () => {
  for (const bad of ['DRIVER=x;Pwd=a"b', "DRIVER=x;Pwd=a\\", "DRIVER=x\nTOKEN_KEY=y"]) {
    const run = mkdtempSync(join(tmpdir(), "koru-site-"));
    try {
      const r = spawnSync("bash", [join(repo, "examples/site/prepare.sh"), run, koruPath(), "8"],
                          { env: { ...process.env, KORU_SITE_PG: bad }, encoding: "utf8" });
      assert.equal(r.status, 2, JSON.stringify(bad));
      assert.match(r.stderr, /KORU_SITE_PG holds a quote, a backslash or a line end/);
      assert.equal(existsSync(join(run, "cgi/KORU.config")), false, JSON.stringify(bad));
    } finally {
      rmSync(run, { recursive: true, force: true });
    }
  }
});
