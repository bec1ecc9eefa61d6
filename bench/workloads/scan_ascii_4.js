// indexOf(x, from) scan over 200 KB of ASCII text: every position method call
// looks at the characters from its start to the match, not the whole text.
function main() {
  var s = "abcdefghijklmno,".repeat(12800);
  var i = 0, n = 0;
  while (true) {
    i = s.indexOf(",", i);
    if (i < 0) break;
    n++;
    i = i + 1;
  }
  return n;
}
