// Sorting 100,000 numbers with a comparator.
function ascending(p, q) {
  return p - q;
}
function main() {
  var a = [];
  var x = 12345;
  for (var i = 0; i < 100000; i++) {
    x = (x * 1103 + 12849) % 65536;
    a.push(x);
  }
  a.sort(ascending);
  return a[0];
}
