// A business day: 20,000 order rows as objects, the open ones filtered out,
// totals per customer kept in an object used as a map, and a report line
// per customer joined from its name and total.
function main() {
  var names = ["ann", "bob", "cho", "dev", "eve", "fay", "gus", "hal", "ivy", "jun"];
  var rows = [];
  for (var i = 0; i < 20000; i++) {
    rows.push({ id: i, customer: names[i % 10] + (i % 97), qty: 1 + i % 5, price: 2.5 + i % 7, open: i % 3 == 0 });
  }
  var done = [];
  for (var i = 0; i < rows.length; i++) {
    if (!rows[i].open) done.push(rows[i]);
  }
  var totals = {};
  var seen = [];
  for (var i = 0; i < done.length; i++) {
    var r = done[i];
    var t = totals[r.customer];
    if (t === undefined) {
      seen.push(r.customer);
      t = 0;
    }
    totals[r.customer] = t + r.qty * r.price;
  }
  var lines = [];
  for (var i = 0; i < seen.length; i++) {
    lines.push(seen[i] + ": " + Math.round(totals[seen[i]] * 100) / 100.0);
  }
  return lines.join("\n").length;
}
