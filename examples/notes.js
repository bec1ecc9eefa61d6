// A request that keeps its data in SQLite: what it writes stays only once
// closeDb commits it.
function notes() {
    var db = openDb("sqlite", "libodbc.so.2", "DRIVER=SQLite3;Database=:memory:");
    execute(db, "create table notes(id integer primary key, body text)");
    var body = "buy tea";
    execute(db, "insert into notes(body) values(:body)");
    execute(db, "insert into notes(body) values(:1)", [["call ann"], ["it's done; really"]]);
    console.log(select(db, "select id, body from notes order by id"));
    var n = 0;
    selectInto(db, "select id from notes where body like :{'call' + '%'}", n);
    console.log(n);
    closeDb(db, "commit");
}
