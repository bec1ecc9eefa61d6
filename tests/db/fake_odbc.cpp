// A driver manager that misbehaves on purpose, for the tests of the
// database layer: it hands back lengths beyond the buffers it was given,
// unknown totals, too many columns, success with information everywhere
// and more diagnostic records than are read, and it counts the statement
// handles that are live.
//
// The connection string picks how the connection behaves ("info": every
// call succeeds with information; "nodata": executions touch no row); the
// text after "select " picks the result set.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Ret = int16_t;
using Len = long;
using WChar = char16_t;

struct Conn {
    bool info = false, nodata = false;
};

struct Bound {
    void* buf = nullptr;
    Len size = 0;
    Len* ind = nullptr;
    int16_t ctype = 0;
};

struct Stmt {
    Conn* conn = nullptr;
    std::string sql;
    unsigned fetched = 0;
    std::vector<Bound> cols;
    int failed = 0;  // a failed call: its diagnostic records can be read
};

int g_live_statements = 0;

std::string narrow(const WChar* s, long n) {
    std::string out;
    for (long i = 0; n < 0 ? s[i] != 0 : i < n; ++i) out.push_back(static_cast<char>(s[i] & 0x7F));
    return out;
}

Ret ok(const Conn* c) { return c && c->info ? 1 : 0; }

// What the statement's text asks for.
std::string shape(const Stmt* s) {
    size_t at = s->sql.find("select ");
    return at == std::string::npos ? "" : s->sql.substr(at + 7);
}

int column_count(const Stmt* s) {
    std::string k = shape(s);
    if (k == "rows") return 2;
    if (k == "cols300") return 300;
    if (k == "negcols") return -5;
    if (k == "big" || k == "nototal" || k == "narrowbig" || k == "longname" || k == "hugesize" || k == "negind")
        return 1;
    return 0;
}

}  // namespace

extern "C" {

int fake_odbc_live_statements() { return g_live_statements; }

Ret SQLAllocHandle(int16_t type, void* in, void** out) {
    if (type == 1) {
        *out = new Conn;
        return 0;
    }
    if (!in) return -2;
    if (type == 2) {
        *out = new Conn(*static_cast<Conn*>(in));
        return 0;
    }
    auto* s = new Stmt;
    s->conn = static_cast<Conn*>(in);
    ++g_live_statements;
    *out = s;
    return ok(s->conn);
}

Ret SQLFreeHandle(int16_t type, void* h) {
    if (!h) return -2;
    if (type == 3) {
        --g_live_statements;
        delete static_cast<Stmt*>(h);
    } else {
        delete static_cast<Conn*>(h);
    }
    return 0;
}

Ret SQLSetEnvAttr(void*, int32_t, void*, int32_t) { return 0; }
Ret SQLSetConnectAttrW(void*, int32_t, void*, int32_t) { return 0; }

Ret SQLDriverConnectW(void* dbc, void*, WChar* in, int16_t len, WChar*, int16_t, int16_t*, uint16_t) {
    auto* c = static_cast<Conn*>(dbc);
    std::string cs = narrow(in, len == -3 ? -1 : len);
    c->info = cs.find("info") != std::string::npos;
    c->nodata = cs.find("nodata") != std::string::npos;
    return ok(c);
}

Ret SQLDisconnect(void*) { return 0; }
Ret SQLEndTran(int16_t, void* h, int16_t) { return h ? 0 : -2; }

Ret SQLPrepareW(void* h, WChar* text, int32_t) {
    auto* s = static_cast<Stmt*>(h);
    s->sql = narrow(text, -1);
    return ok(s->conn);
}

Ret SQLNumParams(void* h, int16_t* n) {
    auto* s = static_cast<Stmt*>(h);
    *n = 0;
    for (char ch : s->sql) *n = static_cast<int16_t>(*n + (ch == '?'));
    return ok(s->conn);
}

Ret SQLDescribeParam(void* h, uint16_t, int16_t* type, unsigned long* size, int16_t* digits, int16_t* nullable) {
    *type = 4;  // integer
    *size = 10;
    *digits = 0;
    *nullable = 1;
    return ok(static_cast<Stmt*>(h)->conn);
}

Ret SQLBindParameter(void* h, uint16_t, int16_t, int16_t, int16_t, unsigned long, int16_t, void*, Len, Len*) {
    return ok(static_cast<Stmt*>(h)->conn);
}

Ret execute(Stmt* s) {
    if (shape(s) == "fail" || s->sql.find("fail") == 0) {
        s->failed = 1;
        return -1;
    }
    if (s->conn->nodata && s->sql.find("select") != 0) return 100;
    return ok(s->conn);
}

Ret SQLExecDirectW(void* h, WChar* text, int32_t) {
    auto* s = static_cast<Stmt*>(h);
    s->sql = narrow(text, -1);
    return execute(s);
}

Ret SQLExecute(void* h) { return execute(static_cast<Stmt*>(h)); }

Ret SQLRowCount(void* h, Len* n) {
    *n = 3;
    return ok(static_cast<Stmt*>(h)->conn);
}

Ret SQLNumResultCols(void* h, int16_t* n) {
    auto* s = static_cast<Stmt*>(h);
    *n = static_cast<int16_t>(column_count(s));
    return ok(s->conn);
}

Ret SQLDescribeColW(void* h, uint16_t col, WChar* name, int16_t buf_units, int16_t* name_len, int16_t* type,
                    unsigned long* size, int16_t* digits, int16_t* nullable) {
    auto* s = static_cast<Stmt*>(h);
    std::string k = shape(s);
    // Built by appending: GCC 12 at -O3 takes "c" + text for an overlapping copy.
    std::string n = "c";
    n += std::to_string(col);
    if (k == "longname") {
        // The whole buffer written, no terminator, and a length far beyond it.
        for (int16_t i = 0; i < buf_units; ++i) name[i] = u'n';
        *name_len = 5000;
    } else {
        for (size_t i = 0; i <= n.size(); ++i) name[i] = i < n.size() ? static_cast<WChar>(n[i]) : 0;
        *name_len = static_cast<int16_t>(n.size());
    }
    *type = -9;  // wide varchar
    *size = 4;
    *digits = 0;
    *nullable = 1;
    if (k == "rows" && col == 1) *type = 4;
    if (k == "narrowbig") *type = 91;  // a date: fetched as narrow text
    if (k == "hugesize") *size = 1ul << 40;
    return ok(s->conn);
}

Ret SQLBindCol(void* h, uint16_t col, int16_t ctype, void* buf, Len size, Len* ind) {
    auto* s = static_cast<Stmt*>(h);
    if (s->cols.size() < col) s->cols.resize(col);
    s->cols[col - 1] = {buf, size, ind, ctype};
    return ok(s->conn);
}

Ret SQLFetch(void* h) {
    auto* s = static_cast<Stmt*>(h);
    std::string k = shape(s);
    unsigned rows = k == "rows" ? 2 : (k.empty() || k == "negcols") ? 0 : 1;
    if (s->fetched >= rows) return 100;
    ++s->fetched;
    for (Bound& b : s->cols) {
        if (!b.buf) continue;
        auto put_wide = [&](const std::string& v) {
            auto* w = static_cast<WChar*>(b.buf);
            size_t n = v.size();
            for (size_t i = 0; i < n && (i + 1) * 2 < static_cast<size_t>(b.size); ++i) w[i] = static_cast<WChar>(v[i]);
            w[n] = 0;
            *b.ind = static_cast<Len>(2 * n);
        };
        if (k == "rows") {
            if (b.ctype == 1) {
                std::string v = s->fetched == 1 ? "42" : "-7";
                std::memcpy(b.buf, v.c_str(), v.size() + 1);
                *b.ind = static_cast<Len>(v.size());
            } else {
                put_wide(s->fetched == 1 ? "abc" : "de");
            }
        } else if (k == "big" || k == "nototal" || k == "negind") {
            // The whole buffer filled, no terminator.
            auto* w = static_cast<WChar*>(b.buf);
            for (Len i = 0; i < b.size / 2; ++i) w[i] = static_cast<WChar>('a' + i % 26);
            *b.ind = k == "big" ? 1000000 : k == "nototal" ? -4 : -7;
        } else if (k == "narrowbig") {
            std::memset(b.buf, 'y', static_cast<size_t>(b.size));
            *b.ind = 500;
        } else {
            put_wide("ok");
        }
    }
    return ok(s->conn);
}

Ret SQLFreeStmt(void* h, uint16_t) { return ok(static_cast<Stmt*>(h)->conn); }

Ret SQLGetDiagRecW(int16_t type, void* h, int16_t rec, WChar* state, int32_t* native, WChar* msg, int16_t buf_units,
                   int16_t* len) {
    if (type != 3 || !h || !static_cast<Stmt*>(h)->failed) return 100;
    if (rec > 7) return 100;
    state[0] = 0;
    *native = rec;
    if (rec == 2) {
        // A message longer than the buffer: the buffer full, the length beyond it.
        for (int16_t i = 0; i < buf_units; ++i) msg[i] = u'm';
        *len = 30000;
        return 1;
    }
    std::string m = "diag ";
    m += std::to_string(rec);
    for (size_t i = 0; i <= m.size(); ++i) msg[i] = i < m.size() ? static_cast<WChar>(m[i]) : 0;
    *len = static_cast<int16_t>(m.size());
    return 0;
}

}  // extern "C"
