// The exchanges behind the golden responses: each runs `script` as t.js
// under the configuration `config`, in test mode, with the request that
// encodeRequest makes of `request` (or the raw `body`).
export const cases = [
  {
    name: "scalars",
    script: `function main() {
  sendToFront("i", 42); sendToFront("neg", -7); sendToFront("big", -123456789);
  sendToFront("f", 0.1 + 0.2); sendToFront("plain", "a-b_c.d"); sendToFront("spaced", "a b");
  sendToFront("ja", "注文しました"); sendToFront("empty", ""); sendToFront("undef", undefined);
  sendToFront("yes", true); sendToFront("no", false); sendToFront("nil", null);
  sendToFront("pct", "100% ~done\\n"); sendToFront("caret", "^A500001");
}`,
    request: { modules: ["t.js"], top: "main" },
  },
  {
    name: "nested",
    script: `function main() {
  var v = [1, [2], {"k": 3}];
  sendToFront(v);
  var order = {"id": 7, "items": [{"name": "お茶", "qty": 2}, {"name": "cake", "qty": 1}], "tags": [], "note": {}};
  sendToFront(order);
  var deep = [[[["bottom"]]]];
  sendToFront(deep);
}`,
    request: { modules: ["t.js"], top: "main" },
  },
  {
    name: "echo",
    script: `function main() {
  sendToFront("s", s); sendToFront("ja", ja); sendToFront("blank", blank);
  sendToFront("n", n); sendToFront("m", m); sendToFront("x", x); sendToFront("tiny", tiny);
  sendToFront("list", list); sendToFront("order", order);
  sendToFront("keyed", [keyed["a"], keyed[3]]);
}`,
    request: {
      modules: ["t.js"], top: "main",
      vars: {
        s: "plain-text", ja: "日本語 テキスト", blank: "", n: 12, m: -42, x: 2.5, tiny: 1e-7,
        list: [1, -3, 2.25, "two words", [], ["inner", [0]]],
        order: { customer: "Ann Lee", lines: [{ sku: "tea", qty: 3 }, { sku: "ケーキ", qty: 1 }], "key with space": "v" },
        keyed: new Map([["a", "first"], [3, "third"]]),
      },
    },
  },
  {
    name: "alerts",
    script: `function main() {
  alertToFront("在庫が少なくなっています");
  alertToFront(undefined);
  alertToFront("plain");
  try { var z = 1 / 0; } catch (e) { alertToFront(e); }
  sendToFront("after", 1);
}`,
    request: { modules: ["t.js"], top: "main" },
  },
  {
    name: "rows",
    script: `function main() {
  var db = openDb("sqlite", "libodbc.so.2", "DRIVER=SQLite3;Database=:memory:");
  execute(db, "create table p(id integer, name text, price real, note text)");
  execute(db, "insert into p values(1, 'tea', 2.5, null)");
  execute(db, "insert into p values(:1, :2, :3, :4)", [[2, "緑茶 (大)", 12.5, ""], [-3, "a b%", 0.125, "x"]]);
  selectHashToFront(db, "products", "select id, name, price, note from p order by id");
  selectToFront(db, "plain", "select id, name from p order by id");
  selectHashToFront(db, "none", "select id, name from p where id > 100");
  closeDb(db);
}`,
    request: { modules: ["t.js"], top: "main" },
  },
  {
    name: "thrown-string",
    script: `function main() { sendToFront("before", "x"); throw "数量が正しくありません"; }`,
    request: { modules: ["t.js"], top: "main" },
  },
  {
    name: "thrown-object",
    script: `function main() { throw {"code": 1}; }`,
    request: { modules: ["t.js"], top: "main" },
  },
  {
    name: "runtime-error",
    script: `function main() { var a = 1 / 0; }`,
    request: { modules: ["t.js"], top: "main" },
  },
  {
    name: "refused-token",
    config: "MODULE_DIR=.\nTOKEN_KEY=shop\n",
    script: `function main() { sendToFront("never", 1); }`,
    request: { modules: ["t.js"], top: "main" },
    bodyOnly: true,
  },
  {
    name: "fatal",
    config: null,
    script: `function main() {}`,
    request: { modules: ["t.js"], top: "main" },
  },
];
