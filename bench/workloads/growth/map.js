// An object used as a map: 5000 × scale keys set, then each read back twice.
// `scale` (1, 2 or 4) is a VAR of the configuration bench/growth writes.
function main() {
  var m = {};
  for (var i = 0; i < 5000 * scale; i++) {
    m["k" + i] = i;
  }
  var sum = 0;
  for (var r = 0; r < 2; r++) {
    for (var j = 0; j < 5000 * scale; j++) {
      sum = sum + m["k" + j];
    }
  }
  return sum;
}
