// Reductions of one result in a single pass: sql_aggregate sums and counts
// per key and per sub-group, record_map runs code for every row, and
// record_hash makes a lookup table of two columns.
function sales_db() {
    var db = openDb("sqlite", "libodbc.so.2", "DRIVER=SQLite3;Database=:memory:");
    execute(db, "create table sales(id integer primary key, region text, month integer, amount integer)");
    execute(db, "insert into sales(region, month, amount) values(:1, :2, :3)",
            [["east", 1, 10], ["east", 1, 5], ["east", 2, 7], ["west", 1, 3], ["west", 2, 4], ["west", 2, 6]]);
    execute(db, "create table regions(code text, name text)");
    execute(db, "insert into regions values('e', 'east'), ('w', 'west'), (NULL, 'nowhere')");
    return db;
}

// Per region: the sum of each month (months in the order given), then the
// region's total.
function totals() {
    var db = sales_db();
    var sql = "select region, month, amount from sales order by region, id";
    console.log(sql_aggregate(db, sql, {key: 1, group: 2, sum: 3, total: 3}, [1, 2]));
    // Without key columns there is one entry; count takes any value.
    console.log(sql_aggregate(db, sql, {count: 0, sum: 3, max: 3, average: 3}));
    closeDb(db);
}

// %1, %2, ... are the row's columns, %0 the whole row.
function big_sales() {
    var db = sales_db();
    var least = 6, lines = [];
    record_map(db, "select region, month, amount from sales where amount >= :least order by id",
               "lines.push(%1 + ' in month ' + %2 + ': ' + %3);");
    console.log(lines);
    closeDb(db);
}

// The first column names the second; a NULL first column is skipped.
function region_names() {
    var db = sales_db();
    var names = record_hash(db, "select code, name from regions");
    console.log(names);
    console.log(names.w);
    closeDb(db);
}
