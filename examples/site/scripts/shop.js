// The order book: a product list, orders with their lines, and the checks
// an order must pass before it is kept.  The database comes from the
// configuration: the SQLite file VAR=shopDb:"..." by default, a PostgreSQL
// server when VAR=shopPg:"DRIVER=PostgreSQL Unicode;..." names one.
// Prices are whole cents.

function onPostgres() {
    return typeof shopPg == "string" && shopPg != "";
}

function connect() {
    // The PostgreSQL driver takes only "?" markers as parameters: a "?" kind.
    if (onPostgres()) return openDb("sqlserver", "libodbc.so.2", shopPg);
    return openDb("sqlite", "libodbc.so.2", "DRIVER=SQLite3;Database=" + shopDb);
}

// Creates the tables and the products once; run from the console:
//   koru -e setup shop.js
function setup() {
    var db = connect();
    var pg = onPostgres();
    var present = pg ? "select 1 from information_schema.tables where table_schema = current_schema() and table_name = 'products'"
                     : "select 1 from sqlite_master where type = 'table' and name = 'products'";
    if (!selectExists(db, present)) {
        execute(db, "create table products(id integer primary key, name text not null, price integer not null, stock integer not null)");
        execute(db, "create table orders(id " + (pg ? "serial" : "integer") + " primary key, customer text not null, total integer not null, placed text not null)");
        execute(db, "create table order_lines(order_id integer not null, product_id integer not null, qty integer not null, price integer not null)");
        execute(db, "insert into products(id, name, price, stock) values(:1, :2, :3, :4)",
                [[1, "Green tea", 450, 40], [2, "Matcha cake", 380, 12], [3, "抹茶ラテ", 520, 6], [4, "Rice crackers", 260, 25]]);
        console.log("created");
    } else {
        console.log("present");
    }
    closeDb(db, "commit");
}

// The landing request: the products, and the first token of the session.
function products() {
    var db = connect();
    selectHashToFront(db, "products", "select id, name, price, stock from products order by id");
    closeDb(db);
}

function cents(n) {
    var c = n % 100;
    return Math.floor(n / 100) + "." + (c < 10 ? "0" : "") + c;
}

// Places `order` ({customer, lines: [{product, qty}]}); every check that
// fails throws the text the page shows, and nothing is kept.
function placeOrder() {
    if (typeof order != "object") throw "The order is missing.";
    var customer = order["customer"];
    if (typeof customer != "string" || customer.trim() == "") throw "Please give your name.";
    customer = customer.trim();
    if (customer.length > 60) throw "The name is longer than 60 bytes.";
    var lines = order["lines"];
    if (typeof lines != "object" || lines.length == 0) throw "Choose at least one product.";
    if (lines.length > 20) throw "An order holds at most 20 lines.";
    for (var i = 0; i < lines.length; i++) {
        var product = lines[i]["product"];
        var qty = lines[i]["qty"];
        if (!Number.isInteger(product)) throw "Line " + (i + 1) + ": unknown product.";
        if (!Number.isInteger(qty) || qty < 1 || qty > 99) throw "Line " + (i + 1) + ": the quantity must be a whole number from 1 to 99.";
    }
    // The stock rows are updated in product order: two orders that took the
    // same products in another order would each wait for a row the other
    // holds.
    var byProduct = [];
    for (var i = 0; i < lines.length; i++) {
        var at = byProduct.length;
        while (at > 0 && lines[byProduct[at - 1]]["product"] > lines[i]["product"]) at--;
        byProduct.splice(at, 0, i);
    }
    var db = connect();
    var names = [], prices = [], left = [];
    for (var i = 0; i < lines.length; i++) { names.push(""); prices.push(0); left.push(0); }
    for (var n = 0; n < byProduct.length; n++) {
        var i = byProduct[n];
        var product = lines[i]["product"];
        var qty = lines[i]["qty"];
        var name = "", price = 0, stock = 0;
        // The order's first statement writes, so that its transaction takes
        // the write lock before it holds a read lock: two orders that each
        // read first would each wait for the other's read lock to go.
        if (execute(db, "update products set stock = stock - :qty where id = :product and stock >= :qty") == 0) {
            if (selectInto(db, "select name, stock from products where id = :product", name, stock) == 0)
                throw "Line " + (i + 1) + ": unknown product.";
            throw "Only " + stock + " of " + name + " left.";
        }
        selectInto(db, "select name, price, stock from products where id = :product", name, price, stock);
        names[i] = name;
        prices[i] = price;
        left[i] = stock;
    }
    var total = 0;
    var kept = [];
    var low = [];
    for (var i = 0; i < lines.length; i++) {
        var qty = lines[i]["qty"];
        total = total + prices[i] * qty;
        if (left[i] < 5) low.push(names[i] + ": " + left[i] + " left");
        kept.push({"product": lines[i]["product"], "name": names[i], "qty": qty, "price": prices[i], "amount": prices[i] * qty});
    }
    var placed = new Date().toISOString();
    execute(db, "insert into orders(customer, total, placed) values(:customer, :total, :placed)");
    var id = 0;
    // Read from the id column, so that the id is a number on every database
    // (the bare last_insert_rowid() has no column type and comes as a text).
    selectInto(db, onPostgres() ? "select lastval()" : "select id from orders where id = last_insert_rowid()", id);
    for (var j = 0; j < kept.length; j++) {
        var k = kept[j];
        execute(db, "insert into order_lines(order_id, product_id, qty, price) values(:id, :{k['product']}, :{k['qty']}, :{k['price']})");
    }
    closeDb(db, "commit");
    var placedOrder = {"id": id, "customer": customer, "total": total, "totalText": cents(total), "lines": kept};
    sendToFront("order", placedOrder);
    alertToFront("Thank you, " + customer + ": order " + id + " comes to " + cents(total) + ".");
    for (var m = 0; m < low.length; m++) alertToFront("Low stock: " + low[m]);
}

// The last orders, newest first.
function recentOrders() {
    var db = connect();
    selectHashToFront(db, "orders", "select id, customer, total, placed from orders order by id desc limit 10");
    closeDb(db);
}
