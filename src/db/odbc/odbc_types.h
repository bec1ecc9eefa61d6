// The ODBC interface as this program uses it: the handle and integer types
// of the wide-character entry points of a 64-bit driver manager, the
// numeric constants the database layer passes, and the table of bound
// functions.  The driver manager is loaded at run time (odbc.h); nothing
// here links against it.
#pragma once
#include <cstdint>
#include <type_traits>

namespace koru::odbc {

using Handle = void*;
using SqlReturn = int16_t;
using SqlSmallInt = int16_t;
using SqlUSmallInt = uint16_t;
using SqlInteger = int32_t;
using SqlLen = long;            // 64 bits on the platforms koru runs on
using SqlULen = unsigned long;
using SqlWChar = char16_t;      // a 16-bit UTF-16 unit
static_assert(sizeof(SqlLen) == 8 && sizeof(SqlWChar) == 2);

// Return codes.
constexpr SqlReturn kSuccess = 0;
constexpr SqlReturn kSuccessWithInfo = 1;
constexpr SqlReturn kNoData = 100;
constexpr bool succeeded(SqlReturn rc) { return rc == kSuccess || rc == kSuccessWithInfo; }

// Handle types.
constexpr SqlSmallInt kHandleEnv = 1;
constexpr SqlSmallInt kHandleDbc = 2;
constexpr SqlSmallInt kHandleStmt = 3;

// Attributes and their values.
constexpr SqlInteger kAttrOdbcVersion = 200;
constexpr long kOvOdbc3 = 3;
constexpr SqlInteger kAttrLoginTimeout = 103;
constexpr SqlInteger kAttrAutocommit = 102;
constexpr long kAutocommitOff = 0;
constexpr SqlUSmallInt kDriverNoPrompt = 0;

// Transactions.
constexpr SqlSmallInt kCommit = 0;
constexpr SqlSmallInt kRollback = 1;

// SQLFreeStmt options.
constexpr SqlUSmallInt kClose = 0;
constexpr SqlUSmallInt kUnbind = 2;
constexpr SqlUSmallInt kResetParams = 3;

// Lengths and indicators.
constexpr SqlInteger kNts = -3;
constexpr SqlLen kNullData = -1;
constexpr SqlLen kNoTotal = -4;

// C types and the parameter direction.
constexpr SqlSmallInt kCChar = 1;
constexpr SqlSmallInt kCWChar = -8;
constexpr SqlSmallInt kParamInput = 1;

// SQL types.
constexpr SqlSmallInt kChar = 1, kNumeric = 2, kDecimal = 3, kInteger = 4, kSmallInt = 5, kFloat = 6, kReal = 7,
                      kDouble = 8, kVarChar = 12, kLongVarChar = -1, kBigInt = -5, kTinyInt = -6, kWChar = -8,
                      kWVarChar = -9, kWLongVarChar = -10;

inline bool is_text_type(SqlSmallInt t) {
    return t == kChar || t == kVarChar || t == kLongVarChar || t == kWChar || t == kWVarChar || t == kWLongVarChar;
}

// The twenty entry points, in the order they are bound.
#define KORU_ODBC_FUNCTIONS(X)                                                                                  \
    X(SQLDisconnect, SqlReturn (*)(Handle))                                                                     \
    X(SQLAllocHandle, SqlReturn (*)(SqlSmallInt, Handle, Handle*))                                              \
    X(SQLBindCol, SqlReturn (*)(Handle, SqlUSmallInt, SqlSmallInt, void*, SqlLen, SqlLen*))                     \
    X(SQLDescribeColW, SqlReturn (*)(Handle, SqlUSmallInt, SqlWChar*, SqlSmallInt, SqlSmallInt*, SqlSmallInt*,  \
                                     SqlULen*, SqlSmallInt*, SqlSmallInt*))                                      \
    X(SQLEndTran, SqlReturn (*)(SqlSmallInt, Handle, SqlSmallInt))                                              \
    X(SQLExecDirectW, SqlReturn (*)(Handle, SqlWChar*, SqlInteger))                                             \
    X(SQLExecute, SqlReturn (*)(Handle))                                                                        \
    X(SQLRowCount, SqlReturn (*)(Handle, SqlLen*))                                                              \
    X(SQLFetch, SqlReturn (*)(Handle))                                                                          \
    X(SQLFreeHandle, SqlReturn (*)(SqlSmallInt, Handle))                                                        \
    X(SQLFreeStmt, SqlReturn (*)(Handle, SqlUSmallInt))                                                         \
    X(SQLNumResultCols, SqlReturn (*)(Handle, SqlSmallInt*))                                                    \
    X(SQLPrepareW, SqlReturn (*)(Handle, SqlWChar*, SqlInteger))                                                \
    X(SQLSetConnectAttrW, SqlReturn (*)(Handle, SqlInteger, void*, SqlInteger))                                 \
    X(SQLSetEnvAttr, SqlReturn (*)(Handle, SqlInteger, void*, SqlInteger))                                      \
    X(SQLDriverConnectW, SqlReturn (*)(Handle, void*, SqlWChar*, SqlSmallInt, SqlWChar*, SqlSmallInt,           \
                                       SqlSmallInt*, SqlUSmallInt))                                             \
    X(SQLBindParameter, SqlReturn (*)(Handle, SqlUSmallInt, SqlSmallInt, SqlSmallInt, SqlSmallInt, SqlULen,     \
                                      SqlSmallInt, void*, SqlLen, SqlLen*))                                     \
    X(SQLGetDiagRecW, SqlReturn (*)(SqlSmallInt, Handle, SqlSmallInt, SqlWChar*, SqlInteger*, SqlWChar*,        \
                                    SqlSmallInt, SqlSmallInt*))                                                 \
    X(SQLDescribeParam, SqlReturn (*)(Handle, SqlUSmallInt, SqlSmallInt*, SqlULen*, SqlSmallInt*, SqlSmallInt*)) \
    X(SQLNumParams, SqlReturn (*)(Handle, SqlSmallInt*))

struct Functions {
#define KORU_ODBC_SLOT(name, type) std::type_identity_t<type> name = nullptr;
    KORU_ODBC_FUNCTIONS(KORU_ODBC_SLOT)
#undef KORU_ODBC_SLOT
};

}  // namespace koru::odbc
