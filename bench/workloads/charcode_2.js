// charCodeAt(i) over every character of a 25600-character mixed text.
function main() {
  var s = "ab日本語cd漢字e".repeat(2560);
  var sum = 0;
  for (var i = 0; i < 25600; i++) {
    sum = sum + s.charCodeAt(i);
  }
  return sum;
}
