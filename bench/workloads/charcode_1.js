// charCodeAt(i) over every character of a 12800-character mixed text.
function main() {
  var s = "ab日本語cd漢字e".repeat(1280);
  var sum = 0;
  for (var i = 0; i < 12800; i++) {
    sum = sum + s.charCodeAt(i);
  }
  return sum;
}
