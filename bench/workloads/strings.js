// 200,000 string pushes and a join.
function main() {
  var parts = [];
  for (var i = 0; i < 200000; i++) {
    parts.push("item" + i);
  }
  var text = parts.join(",");
  return text.length;
}
