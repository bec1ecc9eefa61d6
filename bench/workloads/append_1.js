// s = s + "ab", 50000 times.
function main() {
  var s = "";
  for (var i = 0; i < 50000; i++) {
    s = s + "ab";
  }
  return s.length;
}
