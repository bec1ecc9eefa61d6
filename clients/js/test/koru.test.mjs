// The record-protocol client against responses of the real program.
//   KORU=build/koru node --test clients/js/test/
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { call, decodeResponse, DecodeError, encodeRequest, EncodeError, forgetToken, KoruError, tokenFor } from "../koru.mjs";
import { cases } from "./cases.mjs";
import { makeGoldens } from "./make-goldens.mjs";

const here = dirname(fileURLToPath(import.meta.url));
const goldens = JSON.parse(readFileSync(join(here, "goldens.json"), "utf8"));
const bytesOf = (name) => Buffer.from(goldens[name].response, "latin1");
const decoded = (name) => decodeResponse(bytesOf(name));
const caseOf = (name) => cases.find((c) => c.name === name);

test("the goldens are what the program answers today", () => {
  const koru = process.env.KORU;
  assert.ok(koru, "KORU must name the program (build/koru) to regenerate the goldens");
  assert.deepEqual(makeGoldens(koru), goldens);
});

test("request bodies are the ones the protocol notes show", () => {
  const t = { modules: ["t.js"], top: "main" };
  const table = [
    [{ x: "a b" }, "M111614t.jsP14mainS1121011xB5a%20b"],
    [{ x: -42 }, "M111614t.jsP14mainI111711x3-42"],
    [{ x: 2.5 }, "M111614t.jsP14mainD111811x132.5"],
    [{ x: [1, "two"] }, "M111614t.jsP14mainA11213A1211xO113two"],
    [{ x: { a: 1.5 } }, "M111614t.jsP14mainA11214H1111x11ab31.5"],
    [{ x: { in: [7] } }, "M111614t.jsP14mainA12235a1118^A000001O7H1111x12in18^A000001"],
  ];
  for (const [vars, body] of table) assert.equal(encodeRequest({ ...t, vars }), body, JSON.stringify(vars));
  assert.equal(encodeRequest({ ...t, token: { key: "shopAb12", token: "x y" } }), "M111614t.jsP14mainQ18shopAb12B5x%20y");
  for (const c of cases) assert.equal(encodeRequest(c.request), goldens[c.name].body, c.name);
});

test("scalars: integers, floats, plain, escaped and Japanese texts, empty and undefined", () => {
  const r = decoded("scalars");
  assert.deepEqual(r.values, {
    i: 42, neg: -7, big: -123456789, f: 0.3, plain: "a-b_c.d", spaced: "a b", ja: "注文しました",
    empty: "", undef: "", yes: "true", no: "false", nil: "null", pct: "100% ~done\n", caret: "^A500001",
  });
  assert.deepEqual(r.counts, { arrays: 0, hashes: 0, scalars: 14, rows: 0 });
  assert.equal(r.error, null);
  assert.equal(r.token, null);
});

test("nested arrays and hashes are resolved into the containers that hold them", () => {
  const r = decoded("nested");
  assert.deepEqual(r.values, {
    v: [1, [2], { k: 3 }],
    order: { id: 7, items: [{ name: "お茶", qty: 2 }, { name: "cake", qty: 1 }], tags: [], note: {} },
    deep: [[[["bottom"]]]],
  });
  assert.deepEqual(r.records.map((x) => `${x.type}:${x.name}`), ["A:v", "H:order", "A:deep"]);
  assert.deepEqual(r.counts, { arrays: 8, hashes: 5, scalars: 0, rows: 0 });
});

test("every variable form the encoder writes reaches the script and comes back unchanged", () => {
  const { vars } = caseOf("echo").request;
  const r = decoded("echo");
  assert.equal(r.error, null);
  const { keyed, ...plain } = vars;
  assert.deepEqual({ ...r.values, keyed: undefined }, { ...plain, keyed: undefined });
  assert.deepEqual(r.values.keyed, [keyed.get("a"), keyed.get(3)]);
});

test("alerts: texts, an empty one and an error object, among the s records", () => {
  const r = decoded("alerts");
  assert.deepEqual(r.alerts, [
    "在庫が少なくなっています", "", "plain",
    "Exception: CODE=2330, MESSAGE='EVAL ERROR 2330 (t.js:5:19) : オペレーション不正(０割)'",
  ]);
  assert.deepEqual(r.values, { after: 1 });
  assert.equal(r.counts.scalars, 5);
});

test("Z and Y records: rows, column names, NULL and empty columns, no rows", () => {
  const r = decoded("rows");
  assert.deepEqual(r.rows.products.columns, ["id", "name", "price", "note"]);
  assert.deepEqual(r.rows.products.rows, [[-3, "a b%", 0.125, "x"], [1, "tea", 2.5, ""], [2, "緑茶 (大)", 12.5, ""]]);
  assert.deepEqual(r.rows.products.objects[2], { id: 2, name: "緑茶 (大)", price: 12.5, note: "" });
  assert.deepEqual(r.rows.plain, { columns: null, rows: [[-3, "a b%"], [1, "tea"], [2, "緑茶 (大)"]] });
  assert.deepEqual(r.rows.none, { columns: ["id", "name"], rows: [], objects: [] });
  assert.deepEqual(r.counts, { arrays: 0, hashes: 0, scalars: 0, rows: 3 });
});

test("S records: a thrown text, a thrown object, a runtime error, a refused token, a fatal start", () => {
  const table = [
    ["thrown-string", { code: "", message: "数量が正しくありません", fatal: false }],
    ["thrown-object", { code: "", message: "", fatal: false }],
  ];
  for (const [name, error] of table) assert.deepEqual(decoded(name).error, error, name);
  assert.deepEqual(decoded("thrown-string").values, { before: "x" });
  const e = decoded("runtime-error").error;
  assert.equal(e.code, "2330");
  assert.match(e.message, /^EVAL ERROR 2330 \(t\.js:1:29\) : /);
  const refused = decoded("refused-token");
  assert.equal(refused.error.code, "1775");
  assert.deepEqual(refused.token, { key: "NG", token: "NG", refused: true });
  assert.equal(refused.tokenAt, bytesOf("refused-token").length - 9);
  const fatal = decoded("fatal");
  assert.equal(fatal.error.code, "8555");
  assert.ok(bytesOf("fatal").toString("latin1").startsWith("S148555"));
  assert.equal(fatal.error.fatal, true);
  assert.match(fatal.error.message, /\/KORU\.config\)/);
  for (const name of ["thrown-string", "runtime-error", "fatal"]) assert.equal(decoded(name).counts, null);
});

test("the CGI header is skipped; names such as __proto__ stay plain properties", () => {
  const r = decodeResponse("Content-type: text/plane;charset=UTF-8\n\ns11xO1C10101110");
  assert.deepEqual(r.values, { x: 1 });
  const p = decodeResponse("s19__proto__O1H1111h19__proto__O2C10111110");
  assert.equal(Object.getPrototypeOf(p.values), Object.prototype);
  assert.equal(p.values.__proto__, 1);
  assert.equal(Object.getOwnPropertyDescriptor(p.values.h, "__proto__").value, 2);
});

test("every cut of a real response is an error that names its byte", () => {
  for (const name of Object.keys(goldens)) {
    const whole = bytesOf(name);
    const complete = decodeResponse(whole);
    for (let n = 0; n < whole.length; n++) {
      if (n === complete.tokenAt && n > 0) continue; // the stream before its X record is whole
      assert.throws(() => decodeResponse(whole.subarray(0, n)), (e) => {
        assert.ok(e instanceof DecodeError, `${name}[0, ${n}): ${e}`);
        assert.ok(e.offset <= n && e.message.endsWith(`at byte ${e.offset}`), `${name}[0, ${n}): ${e.message}`);
        return true;
      });
    }
  }
});

test("malformed streams: the error says what and at which byte", () => {
  const table = [
    ["?", 0, /unknown record/],
    ["s13out%5C10101110", 6, /not a value field/],
    ["s13outB5a%2GbC10101110", 9, /bad escape/],
    ["s13outQ4x2C10101110", 6, /not an integer/],
    ["s13outdxyzC10101110", 6, /not a number/],
    ["A1113out18^A500009C11101010", 8, /names no earlier nested record/],
    ["A1118^A500001O1A1213out18^A50000118^A500001C12101010", 33, /names no earlier nested record/],
    ["s11xO1C10101010", 6, /counts 0\/0\/0\/0 records but the stream holds 0\/0\/1\/0/],
    ["C10101010s11xO1", 9, /follows the closing C record/],
    ["X12NG12NG", 0, /before the closing/],
    ["C10101010X12NG12NGX12NG12NG", 18, /a second X record/],
    ["C1a101010", 2, /non-digit/],
    ["s11xO1", 6, /without its closing C or S record/],
    ["Y121011t12id", 12, /ends inside column name 1/],
    ["Content-type: text/plane\n", 0, /no blank line/],
    ["Z10999999999911t", 0, /has no columns/],
  ];
  for (const [text, offset, message] of table) {
    assert.throws(() => decodeResponse(text), (e) => {
      assert.ok(e instanceof DecodeError, `${text}: ${e}`);
      assert.equal(e.offset, offset, `${text}: ${e.message}`);
      assert.match(e.message, message, text);
      return true;
    });
  }
});

test("values the records cannot carry are refused before anything is sent", () => {
  const self = [];
  self.push(self);
  let deep = "bottom";
  for (let i = 0; i < 70; i++) deep = [deep];
  const many = Array.from({ length: 1025 }, () => []);
  const table = [
    [{ vars: { x: NaN } }, /NaN/],
    [{ vars: { x: Infinity } }, /Infinity/],
    [{ vars: { x: true } }, /boolean/],
    [{ vars: { x: null } }, /null/],
    [{ vars: { x: undefined } }, /undefined/],
    [{ vars: { x: () => 1 } }, /function/],
    [{ vars: { x: new Date(0) } }, /Date/],
    [{ vars: { x: [1, null] } }, /x\[1\] is null/],
    [{ vars: { x: { a: { b: false } } } }, /x\.a\.b is a boolean/],
    [{ vars: { x: [1, , 3] } }, /hole/],
    [{ vars: { x: self } }, /contains itself/],
    [{ vars: { x: deep } }, /nested deeper/],
    [{ vars: { x: many } }, /more than 1024/],
    [{ vars: { x: new Map([[{}, 1]]) } }, /keys are strings or numbers/],
    [{ vars: { x: "a\uD800b" } }, /lone surrogate/],
    [{ vars: { x: "a\0b" } }, /NUL/],
    [{ vars: { "a-b": "x" } }, /not a script identifier/],
    [{ vars: { "": "x" } }, /not a script identifier/],
    [{ modules: ["../secret.js"] }, /plain segments/],
    [{ modules: ["/etc/x.js"] }, /plain segments/],
    [{ modules: ["a//b.js"] }, /plain segments/],
    [{ modules: ["a.txt"] }, /\.js or \.jo/],
    [{ modules: "t.js" }, /array/],
    [{ top: "" }, /name a function/],
    [{ top: "f" + "x".repeat(255) }, /255 bytes/],
    [{ token: "abc" }, /\{key, token\}/],
  ];
  for (const [i, [request, message]] of table.entries()) {
    assert.throws(() => encodeRequest({ modules: ["t.js"], top: "main", ...request }), (e) => {
      assert.ok(e instanceof EncodeError, String(e));
      assert.match(e.message, message);
      return true;
    }, `refusal ${i}`);
  }
  // The last nested container the records can name is accepted.
  assert.ok(encodeRequest({ modules: ["t.js"], top: "main", vars: { x: many.slice(1) } }).length > 1024 * 10);
  // Numbers the integer fields cannot hold travel as floats.
  assert.equal(encodeRequest({ top: "m", vars: { x: -2147483648 } }), "P11mD1121711x211-2147483648");
});

function reply(text, status = 200) {
  return new Response(Buffer.from(text), { status });
}

test("call posts the body, keeps the reply's token for the next call and throws KoruError for an S record", async () => {
  const url = "http://shop.invalid/app";
  forgetToken(url);
  const sent = [];
  const replies = [
    "s11xO1C10101110X17shopKey18tok00042",
    "s16beforeO2S10B8no%20wayX17shopKey18tok00043",
    "S141775C80EVAL%20ERROR%201775%20(:0:0)%20:%20%E8%AA%8D%E8%A8%BC%E3%82%A8%E3%83%A9%E3%83%BCX12NG12NG",
  ];
  const fake = async (u, init) => {
    sent.push({ u, init });
    return reply(replies[sent.length - 1]);
  };
  const first = await call(url, { modules: ["shop.js"], top: "products" }, { fetch: fake });
  assert.deepEqual(first.values, { x: 1 });
  assert.equal(sent[0].init.method, "POST");
  assert.equal(sent[0].init.body, "M111917shop.jsP18products");
  assert.deepEqual(tokenFor(url), { key: "shopKey", token: "tok00042" });

  await assert.rejects(call(url, { modules: ["shop.js"], top: "placeOrder" }, { fetch: fake }), (e) => {
    assert.ok(e instanceof KoruError);
    assert.equal(e.code, "");
    assert.equal(e.text, "no way");
    assert.deepEqual(e.response.values, { before: 2 });
    return true;
  });
  assert.match(sent[1].init.body, /Q17shopKey18tok00042$/);
  // An error after the check still hands out the next token.
  assert.deepEqual(tokenFor(url), { key: "shopKey", token: "tok00043" });

  await assert.rejects(call(url, { modules: ["shop.js"], top: "recentOrders" }, { fetch: fake }), (e) => {
    assert.equal(e.code, "1775");
    assert.match(e.text, /認証エラー/);
    return true;
  });
  assert.equal(tokenFor(url), undefined, "a refused token is dropped");

  await assert.rejects(call(url, { top: "x" }, { fetch: async () => reply("gone", 502) }), /HTTP 502/);
  await assert.rejects(call(url, { top: "x" }, { fetch: async () => reply("s11x") }), DecodeError);
});
