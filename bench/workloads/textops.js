// Text operations over about 1 MB: split on a string, indexOf, substring
// and toUpperCase.
function main() {
  var t = "The quick brown fox 42 jumps over the lazy dog 7; and runs away.\n";
  while (t.length < 1000000) t = t + t;
  var lines = t.split("\n");
  var hits = 0;
  var total = 0;
  for (var i = 0; i < lines.length; i++) {
    var line = lines[i];
    var at = line.indexOf("fox");
    if (at >= 0) {
      hits = hits + 1;
      total = total + line.substring(at, at + 12).length;
    }
  }
  var upper = t.toUpperCase();
  return hits + total + upper.indexOf("LAZY");
}
