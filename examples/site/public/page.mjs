// The page of the order book: every exchange with the server goes through
// the record-protocol client, which keeps the request token between calls.
import { call, KoruError } from "./koru.mjs";

const APP = "app";
const MODULES = ["shop.js"];
const $ = (id) => document.getElementById(id);

function money(cents) {
  return (cents / 100).toFixed(2);
}

function cell(text, cls) {
  const td = document.createElement("td");
  td.textContent = String(text);
  if (cls) td.className = cls;
  return td;
}

function showAlerts(alerts) {
  const box = $("alerts");
  box.replaceChildren(...alerts.map((a) => Object.assign(document.createElement("p"), { textContent: a })));
}

function showError(text) {
  $("error").textContent = text;
  $("error").hidden = !text;
}

async function loadProducts() {
  const reply = await call(APP, { modules: MODULES, top: "products" });
  const body = $("products").tBodies[0];
  body.replaceChildren();
  for (const p of reply.rows.products.objects) {
    const tr = document.createElement("tr");
    tr.dataset.product = p.id;
    const qty = Object.assign(document.createElement("input"), { type: "number", min: "0", max: "99", value: "0", name: `qty-${p.id}` });
    const td = document.createElement("td");
    td.append(qty);
    tr.append(cell(p.name), cell(money(p.price), "num"), cell(p.stock, "num"), td);
    body.append(tr);
  }
}

async function loadOrders() {
  const reply = await call(APP, { modules: MODULES, top: "recentOrders" });
  const body = $("orders").tBodies[0];
  body.replaceChildren(...reply.rows.orders.objects.map((o) => {
    const tr = document.createElement("tr");
    tr.append(cell(o.id, "num"), cell(o.customer), cell(money(o.total), "num"), cell(o.placed));
    return tr;
  }));
}

async function placeOrder(event) {
  event.preventDefault();
  showError("");
  const lines = [];
  for (const tr of $("products").tBodies[0].rows) {
    const input = tr.querySelector("input");
    const qty = Number(input.value);
    // What the field holds goes to the script as it is: the script checks it.
    if (input.value !== "0" && input.value !== "") lines.push({ product: Number(tr.dataset.product), qty: Number.isInteger(qty) ? qty : input.value });
  }
  try {
    const reply = await call(APP, { modules: MODULES, top: "placeOrder", vars: { order: { customer: $("customer").value, lines } } });
    const order = reply.values.order;
    $("total").textContent = `Order ${order.id}: total ${order.totalText}`;
    $("total").hidden = false;
    showAlerts(reply.alerts);
    await loadProducts();
    await loadOrders();
  } catch (e) {
    showAlerts([]);
    showError(e instanceof KoruError ? e.text : String(e.message || e));
  }
}

$("order").addEventListener("submit", placeOrder);
loadProducts().then(loadOrders).catch((e) => showError(String(e.message || e)));
