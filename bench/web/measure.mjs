// Requests per second and latency of the order book's landing request (the
// product list read from SQLite) behind lighttpd on 127.0.0.1, with 1 and
// with 20 clients at once.  A benchmark, never a test: it prints figures
// and fails only when a reply is not a whole, error-free record stream.
//
//   KORU=build/koru node bench/web/measure.mjs [REQUESTS_ALONE] [REQUESTS_TWENTY]
//   (default 1000 and 3000; make bench-web runs it)
import { decodeResponse, encodeRequest } from "../../clients/js/koru.mjs";
import { startSite } from "../../tests/web/server.mjs";

function count(arg, fallback) {
  if (arg === undefined) return fallback;
  const n = Number(arg);
  if (!Number.isInteger(n) || n < 1 || n > 100000) throw new Error(`a request count from 1 to 100000, not ${arg}`);
  return n;
}

const plan = [
  { clients: 1, requests: count(process.argv[2], 1000) },
  { clients: 20, requests: count(process.argv[3], 3000) },
];
const WARM_UP = 50;

const body = encodeRequest({ modules: ["shop.js"], top: "products" });

async function one(url) {
  const started = performance.now();
  const reply = await fetch(url, { method: "POST", body });
  const bytes = Buffer.from(await reply.arrayBuffer());
  const took = performance.now() - started;
  if (reply.status !== 200) throw new Error(`status ${reply.status}`);
  const r = decodeResponse(bytes);
  if (r.error) throw new Error(`the script failed: ${JSON.stringify(r.error)}`);
  if (!r.counts || r.rows.products?.objects.length !== 4) throw new Error("an incomplete reply");
  return took;
}

// `clients` loops share one counter until `requests` have been sent.
async function load(url, clients, requests) {
  const times = [];
  let sent = 0;
  const started = performance.now();
  await Promise.all(Array.from({ length: clients }, async () => {
    while (sent < requests) {
      sent++;
      times.push(await one(url));
    }
  }));
  const wall = (performance.now() - started) / 1000;
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
  return { clients, requests, wall, rps: requests / wall, median: at(0.5), p90: at(0.9), p99: at(0.99) };
}

const site = await startSite({ probes: false });
try {
  for (let i = 0; i < WARM_UP; i++) await one(site.app);
  console.log(`the landing request (${body.length}-byte body, 4 rows back) behind lighttpd at ${site.app}`);
  console.log("clients  requests  seconds  req/s    median ms  p90 ms  p99 ms");
  for (const { clients, requests } of plan) {
    const r = await load(site.app, clients, requests);
    console.log([
      String(r.clients).padStart(7), String(r.requests).padStart(9), r.wall.toFixed(2).padStart(8),
      r.rps.toFixed(0).padStart(6), r.median.toFixed(2).padStart(11), r.p90.toFixed(2).padStart(7),
      r.p99.toFixed(2).padStart(7),
    ].join(" "));
  }
} finally {
  await site.stop();
}
