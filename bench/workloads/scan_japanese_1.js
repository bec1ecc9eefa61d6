// indexOf(x, from) scan over 50 KB of Japanese text: every position method call
// looks at the characters from its start to the match, not the whole text.
function main() {
  var s = "日本語の文章。".repeat(2400);
  var i = 0, n = 0;
  while (true) {
    i = s.indexOf("。", i);
    if (i < 0) break;
    n++;
    i = i + 1;
  }
  return n;
}
