// The order book in headless Chromium, served by lighttpd: the page lists
// the products, places an order, shows its total and alerts, shows the
// script's error for a bad order; the database then holds the order once.
//   KORU=build/koru node --test tests/web/browser.test.mjs
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";
import { startSite } from "./server.mjs";

const CHROMIUM = process.env.KORU_CHROMIUM || "/usr/bin/chromium";
const SHOTS = process.env.KORU_WEB_SHOTS || join(tmpdir(), "koru-web-shots");

let site, browser;
before(async () => {
  assert.ok(existsSync(CHROMIUM), `no browser at ${CHROMIUM} (make deps installs chromium)`);
  site = await startSite({ probes: false });
  browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: ["--no-sandbox"] });
});
after(async () => {
  if (browser) await browser.close();
  if (site) await site.stop();
});

function sql(query) {
  return execFileSync("sqlite3", [join(site.run, "shop.db"), query], { encoding: "utf8" }).trim();
}

test("list, order, total and alerts, a refused order, the order stored once", async () => {
  const page = await browser.newPage();
  const problems = [];
  page.on("pageerror", (e) => problems.push(String(e)));
  page.on("console", (m) => { if (m.type() === "error") problems.push(m.text()); });
  await page.goto(site.url);

  const rows = page.locator("#products tbody tr[data-product]");
  await rows.first().waitFor();
  assert.deepEqual(await rows.locator("td:first-child").allTextContents(),
    ["Green tea", "Matcha cake", "抹茶ラテ", "Rice crackers"]);
  assert.deepEqual(await rows.locator("td:nth-child(2)").allTextContents(), ["4.50", "3.80", "5.20", "2.60"]);

  await page.fill("#customer", "Ann Lee");
  await page.fill('input[name="qty-1"]', "2");
  await page.fill('input[name="qty-3"]', "3");
  await page.click("#place");
  await page.locator("#total:not([hidden])").waitFor();
  assert.equal(await page.textContent("#total"), "Order 1: total 24.60");
  assert.deepEqual(await page.locator("#alerts p").allTextContents(), [
    "Thank you, Ann Lee: order 1 comes to 24.60.",
    "Low stock: 抹茶ラテ: 3 left",
  ]);
  await page.locator("#orders tbody tr").first().waitFor();
  assert.equal(await page.textContent("#orders tbody tr td:nth-child(2)"), "Ann Lee");
  assert.equal(await page.textContent("#products tbody tr:nth-child(3) td:nth-child(3)"), "3");
  mkdirSync(SHOTS, { recursive: true });
  await page.screenshot({ path: join(SHOTS, "order-book.png"), fullPage: true });

  // Bad orders: the script's checks, shown as the page's error.
  const bad = [
    [{ "#customer": "Bo", 'input[name="qty-2"]': "150" }, "Line 1: the quantity must be a whole number from 1 to 99."],
    [{ 'input[name="qty-2"]': "1.5" }, "Line 1: the quantity must be a whole number from 1 to 99."],
    [{ 'input[name="qty-2"]': "0", 'input[name="qty-3"]': "4" }, "Only 3 of 抹茶ラテ left."],
    [{ "#customer": "  ", 'input[name="qty-3"]': "1" }, "Please give your name."],
  ];
  for (const [fields, message] of bad) {
    for (const [selector, value] of Object.entries(fields)) await page.fill(selector, value);
    await page.click("#place");
    await page.locator("#error:not([hidden])").waitFor();
    assert.equal(await page.textContent("#error"), message);
    assert.equal(await page.locator("#alerts p").count(), 0);
  }
  await page.screenshot({ path: join(SHOTS, "order-book-error.png"), fullPage: true });
  assert.deepEqual(problems, []);

  // What the database keeps: the one good order, whole; no trace of the bad ones.
  assert.equal(sql("select count(*) from orders"), "1");
  assert.equal(sql("select id, customer, total from orders"), "1|Ann Lee|2460");
  assert.equal(sql("select product_id, qty, price from order_lines where order_id = 1 order by product_id"), "1|2|450\n3|3|520");
  assert.equal(sql("select count(*) from order_lines"), "2");
  assert.equal(sql("select group_concat(stock) from (select stock from products order by id)"), "38,12,3,25");
});
