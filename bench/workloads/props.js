// 1,000,000 property updates on one object.
function main() {
  var o = { a: 0, b: 0, c: 0 };
  for (var i = 0; i < 1000000; i++) {
    o.a = o.a + 1;
    o.b = o.a - o.c;
  }
  return o.b;
}
