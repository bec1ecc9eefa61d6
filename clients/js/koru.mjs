// The front end of koru's record protocol: request bodies out, record
// streams in.  No dependencies; runs in a browser (<script type="module">)
// and in Node (18 or later, for fetch).
//
//   encodeRequest({modules, top, vars, token}) -> the request body (a string)
//   decodeResponse(textOrBytes)                -> the records as plain objects
//   call(url, request)                         -> posts, decodes, keeps the token

// Bytes written as they are in a text field; every other byte is %XX.
const SAFE = new Uint8Array(256);
for (const c of "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789;,/?:@&=+$-_.*'()#")
  SAFE[c.charCodeAt(0)] = 1;

const HEX = "0123456789ABCDEF";
const ALERT_NAME = "XYZBCA_ALERT_ABCZYX";
const INT_MIN = -2147483648;
const INT_MAX = 2147483647;
// The parser keeps at most 1024 temporaries per A record; nesting deeper
// than this is refused here before it could cost the server anything.
const MAX_TEMPORARIES = 1024;
const MAX_DEPTH = 64;

const encoder = new TextEncoder();
const decoder = new TextDecoder("utf-8");

/** A value or argument that the request records cannot carry. */
export class EncodeError extends Error {
  constructor(message) {
    super(message);
    this.name = "EncodeError";
  }
}

/** A response stream that does not follow the record layout. */
export class DecodeError extends Error {
  constructor(message, offset) {
    super(`${message} at byte ${offset}`);
    this.name = "DecodeError";
    this.offset = offset;
  }
}

/** The script (or the server) ended the request with an S record. */
export class KoruError extends Error {
  constructor(code, message, response) {
    super(code ? `${code}: ${message}` : message);
    this.name = "KoruError";
    this.code = code;
    this.text = message;
    this.fatal = response ? response.error.fatal : false;
    this.response = response;
  }
}

// ---------------------------------------------------------------- encoding

function utf8(text, what) {
  // A lone surrogate has no UTF-8 form: TextEncoder would replace it, so
  // the server would receive a different text than the caller gave.
  const wellFormed = typeof text.isWellFormed === "function"
    ? text.isWellFormed()
    : !/[\uD800-\uDFFF]/.test(text.replace(/[\uD800-\uDBFF][\uDC00-\uDFFF]/g, ""));
  if (!wellFormed)
    throw new EncodeError(`${what} is not well-formed Unicode (a lone surrogate)`);
  if (text.includes("\0")) throw new EncodeError(`${what} holds a NUL character`);
  return encoder.encode(text);
}

function digits(n) {
  return String(n);
}

// count: '0'+k and the k digits (0 is "10", as the server writes it).
function count(n) {
  const d = digits(n);
  return String.fromCharCode(48 + d.length) + d;
}

// length (short): '0'+k, k at most 9.
function shortLength(n, what) {
  const d = digits(n);
  if (d.length > 9) throw new EncodeError(`${what} is too long (${n} bytes)`);
  return String.fromCharCode(48 + d.length) + d;
}

// A text field, plain when every byte is safe, else percent-encoded.
function textField(text, what) {
  const bytes = utf8(text, what);
  let plain = true;
  for (const b of bytes) if (!SAFE[b]) { plain = false; break; }
  let body = "";
  if (plain) {
    body = text;
  } else {
    for (const b of bytes) body += SAFE[b] ? String.fromCharCode(b) : "%" + HEX[b >> 4] + HEX[b & 15];
  }
  const d = digits(body.length);
  if (d.length > 9) throw new EncodeError(`${what} is too long`);
  return String.fromCharCode((plain ? 48 : 65) + d.length) + d + body;
}

function isInteger32(n) {
  return Number.isInteger(n) && n >= INT_MIN && n <= INT_MAX && !Object.is(n, -0);
}

function numberText(n, what) {
  if (!Number.isFinite(n)) throw new EncodeError(`${what} is ${n}, which no number field carries`);
  return Object.is(n, -0) ? "-0" : String(n);
}

function kindOf(v) {
  if (typeof v === "string") return "string";
  if (typeof v === "number") return "number";
  if (Array.isArray(v)) return "array";
  if (v instanceof Map) return "map";
  if (v !== null && typeof v === "object" && (Object.getPrototypeOf(v) === Object.prototype || Object.getPrototypeOf(v) === null))
    return "hash";
  return null;
}

function describe(v) {
  if (v === null) return "null";
  if (typeof v === "object") return v.constructor ? `a ${v.constructor.name}` : "an object";
  return `a ${typeof v}`;
}

// One A record: its entries, temporaries first, numbered per record.
class ObjectRecord {
  constructor() {
    this.entries = [];
    this.next = 1;
    this.active = new Set();
  }

  // A value field for an element: scalars inline, containers as temporaries.
  value(v, path, depth) {
    switch (kindOf(v)) {
      case "string":
        return textField(v, path);
      case "number":
        if (isInteger32(v) && v >= 0) return String.fromCharCode(78 + digits(v).length) + digits(v);
        // The integer value field has no sign: a negative or a fractional
        // number travels as a float field, which carries it exactly.
        {
          const t = numberText(v, path);
          const d = digits(t.length);
          return String.fromCharCode(97 + d.length) + d + t;
        }
      case "array":
      case "hash":
      case "map":
        return this.container(v, null, path, depth + 1);
      default:
        throw new EncodeError(`${path} is ${describe(v)}, which the request records cannot carry`);
    }
  }

  // An entry; name null makes a temporary and returns its reference field.
  container(v, name, path, depth) {
    if (depth > MAX_DEPTH) throw new EncodeError(`${path} is nested deeper than ${MAX_DEPTH} levels`);
    if (this.active.has(v)) throw new EncodeError(`${path} contains itself`);
    this.active.add(v);
    const kind = kindOf(v);
    let letter, n, body = "";
    if (kind === "array") {
      letter = "A";
      n = v.length;
      for (let i = 0; i < v.length; i++) {
        if (!(i in v)) throw new EncodeError(`${path}[${i}] is a hole, which the request records cannot carry`);
        body += this.value(v[i], `${path}[${i}]`, depth);
      }
    } else if (kind === "hash") {
      letter = "H";
      const keys = Object.keys(v);
      n = keys.length;
      for (const k of keys) body += textField(k, `a key of ${path}`) + this.value(v[k], `${path}.${k}`, depth);
    } else {
      letter = "I";
      n = v.size;
      for (const [k, x] of v) {
        if (kindOf(k) !== "string" && kindOf(k) !== "number")
          throw new EncodeError(`a key of ${path} is ${describe(k)}; keys are strings or numbers`);
        body += this.value(k, `a key of ${path}`, depth) + this.value(x, `${path}.get(${String(k)})`, depth);
      }
    }
    this.active.delete(v);
    let ref = null;
    if (name === null) {
      if (this.next > MAX_TEMPORARIES) throw new EncodeError(`${path} needs more than ${MAX_TEMPORARIES} nested containers`);
      name = "^" + (letter === "H" ? "H" : "A") + String(this.next++).padStart(6, "0");
      letter = letter.toLowerCase();
      ref = "18" + name;
    }
    this.entries.push(letter + count(n) + (ref ? "18" + name : textField(name, `the name ${path}`)) + body);
    return ref;
  }

  record() {
    const body = this.entries.join("");
    return "A" + count(this.entries.length) + shortLength(body.length, "the A record") + body;
  }
}

function checkName(name) {
  if (typeof name !== "string" || !/^[A-Za-z_$][A-Za-z0-9_$]*$/.test(name))
    throw new EncodeError(`variable name ${JSON.stringify(name)} is not a script identifier`);
}

function checkModule(path) {
  if (typeof path !== "string") throw new EncodeError(`module ${describe(path)} is not a path`);
  // A relative path of plain segments, ending in .js or .jo: the server
  // refuses anything else, so it is refused here before it is sent.
  if (!/^[A-Za-z0-9_.-]+(\/[A-Za-z0-9_.-]+)*$/.test(path) || path.split("/").some((s) => s === "." || s === ".."))
    throw new EncodeError(`module path ${JSON.stringify(path)} is not a relative path of plain segments`);
  if (!/\.j[so]$/i.test(path)) throw new EncodeError(`module path ${JSON.stringify(path)} does not end in .js or .jo`);
}

/**
 * The request body.
 *  modules: module paths below the server's MODULE_DIR ("app.js", "lib/x.jo")
 *  top:     the function to call, "main" or "main(1, 'a')"
 *  vars:    global variables: strings, numbers, arrays, plain objects, Maps
 *  token:   {key, token} from the previous reply (optional)
 */
export function encodeRequest({ modules = [], top, vars = {}, token } = {}) {
  if (!Array.isArray(modules)) throw new EncodeError("modules must be an array of paths");
  if (typeof top !== "string" || top.length === 0) throw new EncodeError("top must name a function");
  let out = "";
  if (modules.length) {
    let list = "";
    for (const m of modules) {
      checkModule(m);
      list += shortLength(m.length, "a module path") + m;
    }
    out += "M" + count(modules.length) + shortLength(list.length, "the module list") + list;
  }
  const topField = textField(top, "top");
  if (utf8(top, "top").length > 255) throw new EncodeError("top is longer than 255 bytes");
  out += "P" + topField;
  if (token !== undefined && token !== null) {
    if (typeof token !== "object" || typeof token.key !== "string" || typeof token.token !== "string")
      throw new EncodeError("token must be {key, token} as the last reply gave it");
    if (utf8(token.key, "the token key").length > 1023) throw new EncodeError("the token key is longer than 1023 bytes");
    out += "Q" + textField(token.key, "the token key") + textField(token.token, "the token");
  }
  if (vars === null || typeof vars !== "object") throw new EncodeError("vars must be an object");
  const ints = [], floats = [], strings = [];
  const objects = new ObjectRecord();
  for (const name of Object.keys(vars)) {
    checkName(name);
    const v = vars[name];
    const nameField = textField(name, "a variable name");
    switch (kindOf(v)) {
      case "string":
        strings.push(nameField + textField(v, name));
        break;
      case "number":
        // The I record's number field holds at most ten characters.
        if (isInteger32(v) && digits(v).length <= 10) {
          const d = digits(v);
          ints.push(nameField + String.fromCharCode(48 + d.length) + d);
        } else {
          const t = numberText(v, name);
          floats.push(nameField + shortLength(t.length, name) + t);
        }
        break;
      case "array":
      case "hash":
      case "map":
        objects.container(v, name, name, 1);
        break;
      default:
        throw new EncodeError(`${name} is ${describe(v)}, which the request records cannot carry`);
    }
  }
  const group = (letter, entries) => {
    if (!entries.length) return "";
    const body = entries.join("");
    return letter + count(entries.length) + shortLength(body.length, `the ${letter} record`) + body;
  };
  out += group("S", strings) + group("I", ints) + group("D", floats);
  if (objects.entries.length) out += objects.record();
  return out;
}

// ---------------------------------------------------------------- decoding

class Reader {
  constructor(bytes) {
    this.b = bytes;
    this.i = 0;
  }

  fail(message, at = this.i) {
    throw new DecodeError(message, at);
  }

  byte(what) {
    if (this.i >= this.b.length) this.fail(`the stream ends inside ${what}`);
    return this.b[this.i++];
  }

  digitsOf(k, what) {
    const start = this.i;
    if (this.i + k > this.b.length) this.fail(`the stream ends inside ${what}`);
    let n = 0;
    for (let j = 0; j < k; j++) {
      const c = this.b[this.i + j];
      if (c < 48 || c > 57) this.fail(`${what} has a non-digit`, this.i + j);
      n = n * 10 + (c - 48);
    }
    this.i += k;
    if (!Number.isSafeInteger(n)) this.fail(`${what} is too large`, start);
    return n;
  }

  count(what) {
    const at = this.i;
    const c = this.byte(what);
    if (c < 48 || c > 57) this.fail(`${what} does not start with a digit count`, at);
    return this.digitsOf(c - 48, what);
  }

  take(n, what) {
    if (this.i + n > this.b.length) this.fail(`the stream ends inside ${what} (${n} bytes announced)`);
    const s = this.b.subarray(this.i, this.i + n);
    this.i += n;
    return s;
  }

  // A text field: {text, plain} (plain: written without escapes).
  text(what) {
    const at = this.i;
    const c = this.byte(what);
    if (c >= 48 && c <= 57) {
      const n = this.digitsOf(c - 48, what);
      return { text: decoder.decode(this.take(n, what)), plain: true, at };
    }
    if (c >= 65 && c <= 74) {
      const n = this.digitsOf(c - 65, what);
      const start = this.i;
      const raw = this.take(n, what);
      const out = new Uint8Array(raw.length);
      let o = 0;
      for (let j = 0; j < raw.length; j++) {
        if (raw[j] === 37) {
          const h = hexValue(raw[j + 1]), l = hexValue(raw[j + 2]);
          if (j + 2 >= raw.length || h < 0 || l < 0) this.fail(`${what} has a bad escape`, start + j);
          out[o++] = h * 16 + l;
          j += 2;
        } else {
          out[o++] = raw[j];
        }
      }
      return { text: decoder.decode(out.subarray(0, o)), plain: false, at };
    }
    this.fail(`${what} is not a text field (${show(c)})`, at);
  }

  // A value field: a text, an integer or a float.
  value(what) {
    const at = this.i;
    if (this.i >= this.b.length) this.fail(`the stream ends before ${what}`);
    const c = this.b[this.i];
    if ((c >= 48 && c <= 57) || (c >= 65 && c <= 74)) return this.text(what);
    if (c > 78 && c <= 96) {
      this.i++;
      const t = decoder.decode(this.take(c - 78, what));
      if (!/^-?\d+$/.test(t)) this.fail(`${what} is not an integer (${t})`, at);
      const n = Number(t);
      return { number: Number.isSafeInteger(n) ? n : BigInt(t), at };
    }
    if (c > 97 && c <= 122) {
      this.i++;
      const t = decoder.decode(this.take(c - 97, what));
      const n = floatOf(t);
      if (n === undefined) this.fail(`${what} is not a number (${t})`, at);
      return { number: n, at };
    }
    this.fail(`${what} is not a value field (${show(c)})`, at);
  }
}

function hexValue(c) {
  if (c >= 48 && c <= 57) return c - 48;
  if (c >= 65 && c <= 70) return c - 55;
  if (c >= 97 && c <= 102) return c - 87;
  return -1;
}

function floatOf(t) {
  const l = t.toLowerCase();
  if (l === "inf" || l === "infinity") return Infinity;
  if (l === "-inf" || l === "-infinity") return -Infinity;
  if (l === "nan" || l === "-nan") return NaN;
  if (!/^[-+]?(\d+\.?\d*|\.\d+)(e[-+]?\d+)?$/i.test(t)) return undefined;
  return Number(t);
}

// An own property even for names such as "__proto__".
function put(object, key, value) {
  Object.defineProperty(object, key, { value, enumerable: true, writable: true, configurable: true });
}

function show(c) {
  return c >= 33 && c < 127 ? `'${String.fromCharCode(c)}'` : `byte 0x${c.toString(16).padStart(2, "0")}`;
}

const NESTED = /^\^[AH]\d{6}$/;

/**
 * The records of a response (the body after the header; a leading
 * "Content-type" header and its blank line are skipped).  Returns
 *  values:  {name: value} of the s, A and H records (nested ones resolved)
 *  rows:    {name: {columns, rows, objects}} of the Z and Y records
 *  alerts:  the alert texts in order
 *  records: every record in stream order, {type, name, value | rows}
 *  counts:  {arrays, hashes, scalars, rows} of the C record, or null
 *  error:   {code, message, fatal} of the S record, or null
 *  token:   {key, token, refused} of the X record, or null
 *  tokenAt: the byte offset of the X record (the stream's length without one)
 * Empty texts, undefined and database NULLs arrive alike, as "".
 */
export function decodeResponse(input) {
  let bytes = typeof input === "string" ? encoder.encode(input)
            : input instanceof Uint8Array ? input : new Uint8Array(input);
  const r = new Reader(bytes);
  const head = "Content-type:";
  if (bytes.length >= head.length && decoder.decode(bytes.subarray(0, head.length)).toLowerCase() === head.toLowerCase()) {
    let end = -1;
    for (let j = 0; j + 1 < bytes.length; j++) if (bytes[j] === 10 && bytes[j + 1] === 10) { end = j + 2; break; }
    if (end < 0) r.fail("the header has no blank line after it", 0);
    r.i = end;
  }
  const out = { values: {}, rows: {}, alerts: [], records: [], counts: null, error: null, token: null, tokenAt: bytes.length };
  const nested = new Map();
  const seen = { A: 0, H: 0, s: 0, Z: 0 };

  const resolve = (field) => {
    if (field.number !== undefined) return field.number;
    if (field.plain && NESTED.test(field.text)) {
      const v = nested.get(field.text);
      if (v === undefined) r.fail(`${field.text} names no earlier nested record`, field.at);
      nested.delete(field.text);
      return v;
    }
    return field.text;
  };
  const store = (name, value) => {
    if (name.plain && NESTED.test(name.text)) {
      if (nested.has(name.text)) r.fail(`${name.text} is sent twice`, name.at);
      nested.set(name.text, value);
    } else {
      put(out.values, name.text, value);
    }
  };

  let ended = null; // "C" or "S": only X may follow
  while (r.i < bytes.length) {
    const at = r.i;
    const letter = String.fromCharCode(r.byte("a record"));
    if (ended && letter !== "X") r.fail(`record '${letter}' follows the closing ${ended} record`, at);
    switch (letter) {
      case "s": {
        const name = r.text("the name of an s record");
        const value = r.value(`the value of ${name.text}`);
        seen.s++;
        if (name.plain && name.text === ALERT_NAME) {
          out.alerts.push(value.text ?? String(value.number));
          out.records.push({ type: "alert", text: value.text ?? String(value.number) });
        } else {
          const v = resolve(value);
          store(name, v);
          out.records.push({ type: "s", name: name.text, value: v });
        }
        break;
      }
      case "A": {
        const n = r.count("the element count of an A record");
        const name = r.text("the name of an A record");
        const a = [];
        for (let j = 0; j < n; j++) a.push(resolve(r.value(`element ${j} of ${name.text}`)));
        seen.A++;
        store(name, a);
        if (!NESTED.test(name.text)) out.records.push({ type: "A", name: name.text, value: a });
        break;
      }
      case "H": {
        const n = r.count("the property count of an H record");
        const name = r.text("the name of an H record");
        const h = {};
        for (let j = 0; j < n; j++) {
          const key = r.text(`property name ${j} of ${name.text}`);
          put(h, key.text, resolve(r.value(`property ${key.text} of ${name.text}`)));
        }
        seen.H++;
        store(name, h);
        if (!NESTED.test(name.text)) out.records.push({ type: "H", name: name.text, value: h });
        break;
      }
      case "Z":
      case "Y": {
        const cols = r.count(`the column count of a ${letter} record`);
        const n = r.count(`the row count of a ${letter} record`);
        const name = r.text(`the name of a ${letter} record`);
        // Rows without columns take no bytes: a count of them is no bound.
        if (cols === 0 && n > 0) r.fail(`a ${letter} record of ${n} rows has no columns`, at);
        let columns = null;
        if (letter === "Y") {
          columns = [];
          for (let j = 0; j < cols; j++) columns.push(r.text(`column name ${j} of ${name.text}`).text);
        }
        const rows = [];
        for (let j = 0; j < n; j++) {
          const row = [];
          for (let k = 0; k < cols; k++) {
            const f = r.value(`row ${j} column ${k} of ${name.text}`);
            row.push(f.number !== undefined ? f.number : f.text);
          }
          rows.push(row);
        }
        seen.Z++;
        const set = { columns, rows };
        if (columns) set.objects = rows.map((row) => Object.fromEntries(columns.map((c, k) => [c, row[k]])));
        put(out.rows, name.text, set);
        out.records.push({ type: letter, name: name.text, ...set });
        break;
      }
      case "C": {
        const c = {
          arrays: r.count("the A count of the C record"),
          hashes: r.count("the H count of the C record"),
          scalars: r.count("the s count of the C record"),
          rows: r.count("the Z and Y count of the C record"),
        };
        if (c.arrays !== seen.A || c.hashes !== seen.H || c.scalars !== seen.s || c.rows !== seen.Z)
          r.fail(`the C record counts ${c.arrays}/${c.hashes}/${c.scalars}/${c.rows} records but the stream holds ` +
                 `${seen.A}/${seen.H}/${seen.s}/${seen.Z}`, at);
        out.counts = c;
        ended = "C";
        break;
      }
      case "S": {
        const code = r.text("the code of the S record");
        const message = r.text("the message of the S record");
        out.error = { code: code.text, message: message.text, fatal: code.plain && code.text === "8555" };
        ended = "S";
        break;
      }
      case "X": {
        if (!ended) r.fail("the X record comes before the closing C or S record", at);
        if (out.token) r.fail("a second X record", at);
        out.tokenAt = at;
        const key = r.text("the key of the X record");
        const token = r.text("the token of the X record");
        out.token = { key: key.text, token: token.text, refused: key.text === "NG" && token.text === "NG" };
        break;
      }
      default:
        r.fail(`unknown record ${show(letter.charCodeAt(0))}`, at);
    }
  }
  if (!ended) r.fail("the stream ends without its closing C or S record");
  return out;
}

// ---------------------------------------------------------------- calling

const tokens = new Map();

/** Forgets the token kept for url (the next call starts without one). */
export function forgetToken(url) {
  tokens.delete(String(url));
}

/** The token kept for url, or undefined. */
export function tokenFor(url) {
  return tokens.get(String(url));
}

/**
 * Posts the request to url and decodes the reply.  The token of the last
 * reply from url goes with the request unless request.token is given; the
 * reply's X record replaces it.  An S record throws a KoruError.
 */
export async function call(url, request, { fetch: fetchFn = globalThis.fetch, headers = {} } = {}) {
  const key = String(url);
  const token = request.token !== undefined ? request.token : tokens.get(key);
  const body = encodeRequest({ ...request, token });
  const reply = await fetchFn(url, {
    method: "POST",
    headers: { "Content-Type": "application/octet-stream", ...headers },
    body,
  });
  if (!reply.ok) throw new Error(`${url}: HTTP ${reply.status} ${reply.statusText}`);
  const decoded = decodeResponse(new Uint8Array(await reply.arrayBuffer()));
  if (decoded.token) {
    if (decoded.token.refused) tokens.delete(key);
    else tokens.set(key, { key: decoded.token.key, token: decoded.token.token });
  }
  if (decoded.error) throw new KoruError(decoded.error.code, decoded.error.message, decoded);
  return decoded;
}
