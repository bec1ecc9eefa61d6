// s = s + "ab", 100000 times.
function main() {
  var s = "";
  for (var i = 0; i < 100000; i++) {
    s = s + "ab";
  }
  return s.length;
}
