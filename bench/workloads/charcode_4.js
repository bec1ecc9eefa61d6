// charCodeAt(i) over every character of a 51200-character mixed text.
function main() {
  var s = "ab日本語cd漢字e".repeat(5120);
  var sum = 0;
  for (var i = 0; i < 51200; i++) {
    sum = sum + s.charCodeAt(i);
  }
  return sum;
}
