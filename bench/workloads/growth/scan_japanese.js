// indexOf(x, from) scan over 50 KB × scale of Japanese text: every position method call
// looks at the characters from its start to the match, not the whole text.
// `scale` (1, 2 or 4) is a VAR of the configuration bench/growth writes.
function main() {
  var s = "日本語の文章。".repeat(2400 * scale);
  var i = 0, n = 0;
  while (true) {
    i = s.indexOf("。", i);
    if (i < 0) break;
    n++;
    i = i + 1;
  }
  return n;
}
