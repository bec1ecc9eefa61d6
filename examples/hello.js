// The bundled example: a request that names this module and calls main.
function greeting(name) {
  return `hello, ${name}`;
}

function main() {
  var order = { id: 7, items: ["tea", "cake"], total: 12.5 };
  sendToFront("message", greeting(user));
  sendToFront("order", order);
  if (typeof store == "string") keepVisit(store);
}

// Each visit is kept in SQLite, in the file the configuration names
// (VAR=store:"..."); the table is made on the first run.  Nothing is kept
// until closeDb commits it.
function keepVisit(file) {
  var db = openDb("sqlite", "libodbc.so.2", "DRIVER=SQLite3;Database=" + file);
  execute(db, "create table if not exists visits(name text, at text)");
  execute(db, "insert into visits values(:user, :{new Date().toISOString()})");
  selectHashToFront(db, "visits", "select name, count(*) as visits from visits group by name order by name");
  closeDb(db, "commit");
}
