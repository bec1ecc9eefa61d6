// charCodeAt(i) over every character of a mixed text of 12800 × scale characters.
// `scale` (1, 2 or 4) is a VAR of the configuration bench/growth writes.
function main() {
  var s = "ab日本語cd漢字e".repeat(1280 * scale);
  var sum = 0;
  for (var i = 0; i < 12800 * scale; i++) {
    sum = sum + s.charCodeAt(i);
  }
  return sum;
}
