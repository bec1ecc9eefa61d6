// An object used as a map: 20000 keys set, then each read back twice.
function main() {
  var m = {};
  for (var i = 0; i < 20000; i++) {
    m["k" + i] = i;
  }
  var sum = 0;
  for (var r = 0; r < 2; r++) {
    for (var j = 0; j < 20000; j++) {
      sum = sum + m["k" + j];
    }
  }
  return sum;
}
