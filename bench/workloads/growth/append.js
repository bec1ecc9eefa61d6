// s = s + "ab", 50000 × scale times.
// `scale` (1, 2 or 4) is a VAR of the configuration bench/growth writes.
function main() {
  var s = "";
  for (var i = 0; i < 50000 * scale; i++) {
    s = s + "ab";
  }
  return s.length;
}
