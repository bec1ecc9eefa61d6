/* The floor of the database benchmark: the ODBC calls the engine makes for
 * a query or for an insert of positional rows, with nothing written.
 *
 *   floor select CONNECTION SQL          fetch every row of SQL
 *   floor insert CONNECTION SQL ROWS     run SQL (four markers) once per row,
 *                                        prepared once, then commit
 *
 * The driver manager is loaded with dlopen and its functions are bound by
 * name; the few types and constants needed are declared here.  With -v
 * before the mode the row count goes to standard error.  Exit status 1 on
 * any failure, with the driver's diagnostics on standard error. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef void *Handle;
typedef short Ret;
typedef unsigned short WChar;
typedef long Len;
typedef unsigned long ULen;

enum {
    HANDLE_ENV = 1, HANDLE_DBC = 2, HANDLE_STMT = 3,
    ATTR_ODBC_VERSION = 200, OV_ODBC3 = 3, ATTR_LOGIN_TIMEOUT = 103,
    ATTR_AUTOCOMMIT = 102, AUTOCOMMIT_OFF = 0, NTS = -3, DRIVER_NOPROMPT = 0,
    C_CHAR = 1, C_WCHAR = -8, PARAM_INPUT = 1, NO_DATA = 100,
    CLOSE = 0, UNBIND = 2, RESET_PARAMS = 3, COMMIT = 0, ROLLBACK = 1,
    T_CHAR = 1, T_NUMERIC = 2, T_DECIMAL = 3, T_INTEGER = 4, T_SMALLINT = 5,
    T_FLOAT = 6, T_REAL = 7, T_DOUBLE = 8, T_VARCHAR = 12, T_LONGVARCHAR = -1,
    T_WCHAR = -8, T_WVARCHAR = -9, T_WLONGVARCHAR = -10, T_TINYINT = -6, T_BIGINT = -5,
};

static Ret (*AllocHandle)(short, Handle, Handle *);
static Ret (*SetEnvAttr)(Handle, int, void *, int);
static Ret (*SetConnectAttrW)(Handle, int, void *, int);
static Ret (*DriverConnectW)(Handle, void *, WChar *, short, WChar *, short, short *, unsigned short);
static Ret (*PrepareW)(Handle, WChar *, int);
static Ret (*NumParams)(Handle, short *);
static Ret (*NumResultCols)(Handle, short *);
static Ret (*DescribeColW)(Handle, unsigned short, WChar *, short, short *, short *, ULen *, short *, short *);
static Ret (*BindCol)(Handle, unsigned short, short, void *, Len, Len *);
static Ret (*Execute)(Handle);
static Ret (*Fetch)(Handle);
static Ret (*RowCount)(Handle, Len *);
static Ret (*DescribeParam)(Handle, unsigned short, short *, ULen *, short *, short *);
static Ret (*BindParameter)(Handle, unsigned short, short, short, short, ULen, short, void *, Len, Len *);
static Ret (*FreeStmt)(Handle, unsigned short);
static Ret (*FreeHandle)(short, Handle);
static Ret (*EndTran)(short, Handle, short);
static Ret (*Disconnect)(Handle);
static Ret (*GetDiagRecW)(short, Handle, short, WChar *, int *, WChar *, short, short *);

static void *bind(void *lib, const char *name) {
    void *f = dlsym(lib, name);
    if (!f) {
        fprintf(stderr, "floor: %s is missing from the driver manager\n", name);
        exit(1);
    }
    return f;
}

static void load(void) {
    void *lib = dlopen("libodbc.so.2", RTLD_NOW);
    if (!lib) {
        fprintf(stderr, "floor: %s\n", dlerror());
        exit(1);
    }
#define BIND(var, name) *(void **)&var = bind(lib, name)
    BIND(AllocHandle, "SQLAllocHandle"); BIND(SetEnvAttr, "SQLSetEnvAttr");
    BIND(SetConnectAttrW, "SQLSetConnectAttrW"); BIND(DriverConnectW, "SQLDriverConnectW");
    BIND(PrepareW, "SQLPrepareW"); BIND(NumParams, "SQLNumParams");
    BIND(NumResultCols, "SQLNumResultCols"); BIND(DescribeColW, "SQLDescribeColW");
    BIND(BindCol, "SQLBindCol"); BIND(Execute, "SQLExecute"); BIND(Fetch, "SQLFetch");
    BIND(RowCount, "SQLRowCount"); BIND(DescribeParam, "SQLDescribeParam");
    BIND(BindParameter, "SQLBindParameter"); BIND(FreeStmt, "SQLFreeStmt");
    BIND(FreeHandle, "SQLFreeHandle"); BIND(EndTran, "SQLEndTran");
    BIND(Disconnect, "SQLDisconnect"); BIND(GetDiagRecW, "SQLGetDiagRecW");
#undef BIND
}

/* UTF-8 to UTF-16 (characters up to U+FFFF), 0-terminated, in a new buffer. */
static WChar *wide(const char *s) {
    size_t n = strlen(s);
    WChar *w = malloc((n + 1) * sizeof *w);
    size_t k = 0;
    if (!w) exit(1);
    for (const unsigned char *p = (const unsigned char *)s; *p;) {
        unsigned c = *p;
        if (c < 0x80) { p += 1; }
        else if (c < 0xE0 && p[1]) { c = (c & 0x1F) << 6 | (p[1] & 0x3F); p += 2; }
        else if (p[1] && p[2]) { c = (c & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F); p += 3; }
        else { c = '?'; p += 1; }
        w[k++] = (WChar)c;
    }
    w[k] = 0;
    return w;
}

static void check(Ret r, const char *what, short type, Handle h) {
    if (r == 0 || r == 1) return;
    fprintf(stderr, "floor: %s failed (%d)\n", what, r);
    WChar state[6], msg[512];
    int native;
    short len;
    for (short i = 1; i <= 5 && h; i++) {
        if (GetDiagRecW(type, h, i, state, &native, msg, 512, &len) == NO_DATA) break;
        fputs("  ", stderr);
        for (short j = 0; j < len && j < 511; j++) fputc(msg[j] < 0x80 ? msg[j] : '?', stderr);
        fputc('\n', stderr);
    }
    exit(1);
}

static int is_text(short type) {
    return type == T_CHAR || type == T_VARCHAR || type == T_LONGVARCHAR ||
           type == T_WCHAR || type == T_WVARCHAR || type == T_WLONGVARCHAR;
}

/* Bound like the engine binds a result column: text columns as UTF-16 of
 * 4 x size + 8 bytes, numbers as 30 bytes of text, the rest as 40. */
static long select_rows(Handle dbc, const char *sql) {
    Handle st;
    check(AllocHandle(HANDLE_STMT, dbc, &st), "SQLAllocHandle", HANDLE_DBC, dbc);
    WChar *text = wide(sql);
    check(PrepareW(st, text, NTS), "SQLPrepareW", HANDLE_STMT, st);
    short params, cols;
    check(NumParams(st, &params), "SQLNumParams", HANDLE_STMT, st);
    check(NumResultCols(st, &cols), "SQLNumResultCols", HANDLE_STMT, st);
    if (cols < 1 || cols > 255) { fprintf(stderr, "floor: %d columns\n", cols); exit(1); }
    char *buffers[255];
    Len lengths[255];
    for (unsigned short c = 1; c <= (unsigned short)cols; c++) {
        WChar name[256];
        short name_len, type, digits, nullable;
        ULen size;
        check(DescribeColW(st, c, name, 256, &name_len, &type, &size, &digits, &nullable),
              "SQLDescribeColW", HANDLE_STMT, st);
        short target = C_CHAR;
        Len width = 40;
        if (is_text(type)) { target = C_WCHAR; width = (Len)(4 * size + 8); }
        else if (type == T_NUMERIC || type == T_DECIMAL || type == T_INTEGER || type == T_SMALLINT ||
                 type == T_TINYINT || type == T_BIGINT || type == T_FLOAT || type == T_REAL || type == T_DOUBLE)
            width = 30;
        buffers[c - 1] = malloc((size_t)width + 4);
        if (!buffers[c - 1]) exit(1);
        check(BindCol(st, c, target, buffers[c - 1], width + 4, &lengths[c - 1]), "SQLBindCol", HANDLE_STMT, st);
    }
    check(Execute(st), "SQLExecute", HANDLE_STMT, st);
    long rows = 0;
    Ret r;
    while ((r = Fetch(st)) == 0 || r == 1) rows++;
    if (r != NO_DATA) check(r, "SQLFetch", HANDLE_STMT, st);
    check(FreeStmt(st, CLOSE), "SQLFreeStmt", HANDLE_STMT, st);
    check(FreeStmt(st, UNBIND), "SQLFreeStmt", HANDLE_STMT, st);
    check(FreeStmt(st, RESET_PARAMS), "SQLFreeStmt", HANDLE_STMT, st);
    check(FreeHandle(HANDLE_STMT, st), "SQLFreeHandle", HANDLE_STMT, st);
    for (short c = 0; c < cols; c++) free(buffers[c]);
    free(text);
    return rows;
}

/* Row i is (i, i * 0.5, "item i", a date), each value bound as text. */
static long insert_rows(Handle dbc, const char *sql, long count) {
    Handle st;
    check(AllocHandle(HANDLE_STMT, dbc, &st), "SQLAllocHandle", HANDLE_DBC, dbc);
    WChar *text = wide(sql);
    check(PrepareW(st, text, NTS), "SQLPrepareW", HANDLE_STMT, st);
    short params;
    check(NumParams(st, &params), "SQLNumParams", HANDLE_STMT, st);
    if (params != 4) { fprintf(stderr, "floor: %d parameters, expected 4\n", params); exit(1); }
    short types[4], digits[4], nullable;
    ULen sizes[4];
    for (unsigned short p = 1; p <= 4; p++)
        check(DescribeParam(st, p, &types[p - 1], &sizes[p - 1], &digits[p - 1], &nullable),
              "SQLDescribeParam", HANDLE_STMT, st);
    char values[4][64];
    Len ind[4];
    long total = 0;
    for (long i = 0; i < count; i++) {
        snprintf(values[0], sizeof values[0], "%ld", i);
        snprintf(values[1], sizeof values[1], "%.1f", i * 0.5);
        snprintf(values[2], sizeof values[2], "item %ld", i);
        snprintf(values[3], sizeof values[3], "2024-%02ld-%02ld", i % 12 + 1, i % 28 + 1);
        for (unsigned short p = 1; p <= 4; p++) {
            ind[p - 1] = NTS;
            check(BindParameter(st, p, PARAM_INPUT, C_CHAR, types[p - 1], sizes[p - 1], digits[p - 1],
                                values[p - 1], (Len)strlen(values[p - 1]) + 4, &ind[p - 1]),
                  "SQLBindParameter", HANDLE_STMT, st);
        }
        Ret r = Execute(st);
        if (r != NO_DATA) check(r, "SQLExecute", HANDLE_STMT, st);
        Len n = 0;
        check(RowCount(st, &n), "SQLRowCount", HANDLE_STMT, st);
        total += n;
    }
    check(FreeStmt(st, RESET_PARAMS), "SQLFreeStmt", HANDLE_STMT, st);
    check(FreeHandle(HANDLE_STMT, st), "SQLFreeHandle", HANDLE_STMT, st);
    free(text);
    return total;
}

int main(int argc, char **argv) {
    int verbose = argc > 1 && strcmp(argv[1], "-v") == 0;
    argv += verbose;
    argc -= verbose;
    int selecting = argc == 4 && strcmp(argv[1], "select") == 0;
    int inserting = argc == 5 && strcmp(argv[1], "insert") == 0;
    if (!selecting && !inserting) {
        fprintf(stderr, "usage: floor [-v] select CONNECTION SQL | floor [-v] insert CONNECTION SQL ROWS\n");
        return 2;
    }
    load();
    Handle env, dbc;
    check(AllocHandle(HANDLE_ENV, NULL, &env), "SQLAllocHandle(env)", 0, NULL);
    check(SetEnvAttr(env, ATTR_ODBC_VERSION, (void *)(long)OV_ODBC3, 0), "SQLSetEnvAttr", 0, NULL);
    check(AllocHandle(HANDLE_DBC, env, &dbc), "SQLAllocHandle(dbc)", 0, NULL);
    check(SetConnectAttrW(dbc, ATTR_LOGIN_TIMEOUT, (void *)10L, 0), "SQLSetConnectAttrW(timeout)", 0, NULL);
    check(SetConnectAttrW(dbc, ATTR_AUTOCOMMIT, (void *)(long)AUTOCOMMIT_OFF, 0), "SQLSetConnectAttrW(autocommit)", 0, NULL);
    WChar *conn = wide(argv[2]);
    check(DriverConnectW(dbc, NULL, conn, NTS, NULL, 0, NULL, DRIVER_NOPROMPT), "SQLDriverConnectW", HANDLE_DBC, dbc);
    long n;
    if (selecting) {
        n = select_rows(dbc, argv[3]);
        EndTran(HANDLE_DBC, dbc, ROLLBACK);
    } else {
        char *end;
        long count = strtol(argv[4], &end, 10);
        if (*end || count < 0) { fprintf(stderr, "floor: bad row count %s\n", argv[4]); return 2; }
        n = insert_rows(dbc, argv[3], count);
        check(EndTran(HANDLE_DBC, dbc, COMMIT), "SQLEndTran", HANDLE_DBC, dbc);
    }
    Disconnect(dbc);
    FreeHandle(HANDLE_DBC, dbc);
    FreeHandle(HANDLE_ENV, env);
    free(conn);
    if (verbose) fprintf(stderr, "rows=%ld\n", n);
    return 0;
}
