// 50,000 dates made from fields, read back field by field and formatted as
// ISO text; every tenth step parses a date text.
function main() {
  var texts = ["2023-12-25T10:30:15", "2001-01-01T00:00:00", "2038-01-19T03:14:07", "1999-12-31T23:59:59"];
  var sum = 0;
  var chars = 0;
  for (var i = 0; i < 50000; i++) {
    var d = new Date(2000 + i % 50, i % 12, 1 + i % 28, i % 24, i % 60, i % 60);
    sum = sum + d.getFullYear() + d.getMonth() + d.getDate() + d.getDay() + d.getHours() + d.getMinutes() + d.getSeconds();
    var text = d.toISOString();
    chars = chars + text.length;
    if (i % 10 == 0) {
      sum = sum + Date.parse(texts[i % 4]) % 7;
    }
  }
  return sum + chars;
}
