// Patterns over about 1 MB: a replace with g, a split on a pattern and a
// test per line.
function main() {
  var t = "id=42; name=alpha beta; date=2024-05-06; mail=someone@example.org\n";
  while (t.length < 1000000) t = t + t;
  var masked = t.replace(/\d+/g, "#");
  var fields = t.split(/;\s*/);
  var lines = t.split("\n");
  var dated = 0;
  var re = /date=\d{4}-\d{2}-\d{2}/;
  for (var i = 0; i < lines.length; i++) {
    var line = lines[i];
    if (line.length > 0) {
      if (re.test(line)) dated = dated + 1;
    }
  }
  return masked.length + fields.length + dated;
}
