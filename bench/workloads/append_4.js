// s = s + "ab", 200000 times.
function main() {
  var s = "";
  for (var i = 0; i < 200000; i++) {
    s = s + "ab";
  }
  return s.length;
}
