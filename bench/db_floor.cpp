// The floor of bench/db: the ODBC calls a query of koru's makes (prepare,
// describe and bind every column, execute, fetch every row), and nothing
// else: no values are converted and nothing is written.
//   db_floor DRIVER_MANAGER CONNECTION_STRING SQL
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <vector>

#include "db/odbc/odbc_types.h"

using namespace koru::odbc;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: db_floor DRIVER_MANAGER CONNECTION_STRING SQL\n");
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW);
    if (!lib) return 1;
    Functions f;
#define KORU_BIND(name, type) f.name = reinterpret_cast<type>(dlsym(lib, #name));
    KORU_ODBC_FUNCTIONS(KORU_BIND)
#undef KORU_BIND
    auto wide = [](const char* s) {
        std::u16string w;
        for (; *s; ++s) w.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
        return w;
    };
    Handle env = nullptr, dbc = nullptr, st = nullptr;
    f.SQLAllocHandle(kHandleEnv, nullptr, &env);
    f.SQLSetEnvAttr(env, kAttrOdbcVersion, reinterpret_cast<void*>(kOvOdbc3), 0);
    f.SQLAllocHandle(kHandleDbc, env, &dbc);
    std::u16string cs = wide(argv[2]), sql = wide(argv[3]);
    if (!succeeded(f.SQLDriverConnectW(dbc, nullptr, cs.data(), static_cast<SqlSmallInt>(kNts), nullptr, 0, nullptr,
                                       kDriverNoPrompt)))
        return 1;
    f.SQLAllocHandle(kHandleStmt, dbc, &st);
    f.SQLPrepareW(st, sql.data(), kNts);
    SqlSmallInt ncols = 0;
    f.SQLNumResultCols(st, &ncols);
    std::vector<std::vector<char>> bufs(static_cast<size_t>(ncols));
    std::vector<SqlLen> ind(static_cast<size_t>(ncols));
    for (SqlSmallInt i = 0; i < ncols; ++i) {
        SqlWChar name[256];
        SqlSmallInt len = 0, type = 0, digits = 0, nullable = 0;
        SqlULen size = 0;
        f.SQLDescribeColW(st, static_cast<SqlUSmallInt>(i + 1), name, 256, &len, &type, &size, &digits, &nullable);
        bool text = is_text_type(type);
        bufs[i].resize(text ? 4 * size + 12 : 44);
        f.SQLBindCol(st, static_cast<SqlUSmallInt>(i + 1), text ? kCWChar : kCChar, bufs[i].data(),
                     static_cast<SqlLen>(bufs[i].size()), &ind[i]);
    }
    f.SQLExecute(st);
    long rows = 0;
    while (succeeded(f.SQLFetch(st))) ++rows;
    f.SQLFreeHandle(kHandleStmt, st);
    f.SQLDisconnect(dbc);
    f.SQLFreeHandle(kHandleDbc, dbc);
    f.SQLFreeHandle(kHandleEnv, env);
    return rows > 0 ? 0 : 1;
}
