// The instruction opcodes, declared once.  An Instruction cell's byte 3
// holds one of these; everything the engine knows about an opcode is its row
// in KORU_OPCODES below, and every table that dispatches on, compiles,
// stores, checks or frees an instruction is generated from those rows:
//   - the Op enum and the names the dump tool prints (this file, opcodes.cpp)
//   - the handler table and the debugger's evaluation table (evaluate.cpp)
//   - the stop points the compiler marks (emit.cpp)
//   - the levels at which the expression compiler reduces operators (expr.cpp)
//   - the statements that may run with their result unread (support.h)
//   - the operand counts and operand roles that the object-file walk checks
//     and relocates (objlayout.cpp) and that the destructor frees by
//     (refcount.cpp)
//
// A row: X(name, byte, handler, flags, level, rank, min operands, shape)
//   handler   the function of handlers.h that runs it (h_unavailable: this
//             build has none; the message names the statement)
//   flags     S a stop point for the debugger, D refused by the debugger's
//             expression evaluation, U may run as a statement whose result
//             nobody reads (it may then update a number in place, or add
//             to the end of a String in place), C an
//             operator taken by the call after it rather than reduced at its
//             own level (new F(...))
//   level     the expression compiler's level of an operator (-1: none);
//             rank orders the operators of one level that are reduced one
//             opcode after the other
//   min       the operands the handler reads whatever the count says: an
//             instruction with fewer is refused when an image is loaded
//   shape     what the operand words hold (OperandShape below)
//
// Operand conventions (what the compiler stores, in operand order):
//   OP_POST_INC .. OP_PRE_DEC   place
//   OP_TYPEOF, OP_NOT, OP_BIT_NOT   one expression
//   OP_INSTANCEOF               expression, class symbol (not evaluated)
//   OP_AND, OP_OR, OP_ADD .. OP_MOD, OP_POW, OP_SEQUENCE   n-ary, folded left
//   OP_BIT_AND, OP_BIT_OR, OP_BIT_XOR   n-ary chains (two or more operands)
//   comparisons, shifts         a, b
//   OP_ASSIGN .. OP_XOR_ASSIGN  place, expression
//   OP_COND                     vector: condition, then, else
//   OP_VAR, OP_LET, OP_CONST    declarations: a bare symbol, or an OP_ASSIGN
//                               cell (symbol, initial expression)
//   OP_INDEX                    object, key
//   OP_MEMBER                   object, name symbol (not evaluated)
//   OP_IF                       condition, then[, else]
//   OP_WHILE                    condition, body
//   OP_DO_WHILE                 body, condition
//   OP_FOR                      vector: AreaAddr of the header list
//                               (initialisers, condition, steps), counts word
//                               (steps + (initialisers << 16)), body
//   OP_FOR_OF, OP_FOR_IN        vector: loop symbol, collection, body,
//                               declaration kind (0 none/let, 1 const, 2 var)
//   OP_TRY                      try body, AreaAddr of the catch record
//                               (symbol, catch block, 0) or 0[, finally body]
//   OP_THROW                    expression
//   OP_BLOCK                    n-ary statements (count 255: real count in
//                               the position word)
//   OP_RETURN                   [expression]
//   OP_CALL                     callee, AreaAddr of the argument record
//                               (word 0 the count n, words 1..n the arguments)
//   OP_NEW                      class symbol, AreaAddr of the argument record
//   OP_SWITCH                   vector of 4: discriminant, AreaAddr of the
//                               case table, AreaAddr of the statement list,
//                               has-default flag.  Case table: pairs of words;
//                               pair 0 (pairs in use, statement count), pair 1
//                               (0, default index), then (label, index)
//   conversions and statements  their arguments in order
#pragma once
#include <cstdint>

namespace koru {

// clang-format off
#define KORU_OPCODES(X) \
    X(OP_NOP,                  100, h_nop,                  0,     -1, 0, 0, Values)  \
    X(OP_POST_INC,             101, h_post_inc,             S|U,    2, 0, 1, Values)  \
    X(OP_POST_DEC,             102, h_post_dec,             S|U,    2, 1, 1, Values)  \
    X(OP_PRE_INC,              103, h_pre_inc,              S|U,    3, 0, 1, Values)  \
    X(OP_PRE_DEC,              104, h_pre_dec,              S|U,    3, 1, 1, Values)  \
    X(OP_TYPEOF,               105, h_typeof,               D,      3, 4, 1, Values)  \
    X(OP_INSTANCEOF,           106, h_instanceof,           D,      8, 0, 2, Values)  \
    X(OP_NOT,                  107, h_not,                  0,      3, 2, 1, Values)  \
    X(OP_AND,                  108, h_and,                  0,     13, 0, 0, Values)  \
    X(OP_OR,                   109, h_or,                   0,     14, 0, 0, Values)  \
    X(OP_EQ,                   110, h_eq,                   0,      9, 0, 2, Values)  \
    X(OP_STRICT_EQ,            111, h_strict_eq,            0,      9, 0, 2, Values)  \
    X(OP_NE,                   112, h_ne,                   0,      9, 0, 2, Values)  \
    X(OP_STRICT_NE,            113, h_strict_ne,            0,      9, 0, 2, Values)  \
    X(OP_GE,                   114, h_ge,                   0,      8, 0, 2, Values)  \
    X(OP_GT,                   115, h_gt,                   0,      8, 0, 2, Values)  \
    X(OP_LE,                   116, h_le,                   0,      8, 0, 2, Values)  \
    X(OP_LT,                   117, h_lt,                   0,      8, 0, 2, Values)  \
    X(OP_ADD,                  118, h_add,                  0,      6, 0, 0, Values)  \
    X(OP_SUB,                  119, h_sub,                  0,      6, 1, 0, Values)  \
    X(OP_MUL,                  120, h_mul,                  0,      5, 0, 0, Values)  \
    X(OP_DIV,                  121, h_div,                  0,      5, 1, 0, Values)  \
    X(OP_MOD,                  122, h_mod,                  0,      5, 2, 0, Values)  \
    X(OP_ASSIGN,               123, h_assign,               S|U,   17, 0, 2, Values)  \
    X(OP_ADD_ASSIGN,           124, h_add_assign,           S|U,   17, 0, 2, Values)  \
    X(OP_SUB_ASSIGN,           125, h_sub_assign,           S,     17, 0, 2, Values)  \
    X(OP_MUL_ASSIGN,           126, h_mul_assign,           S,     17, 0, 2, Values)  \
    X(OP_DIV_ASSIGN,           127, h_div_assign,           S,     17, 0, 2, Values)  \
    X(OP_MOD_ASSIGN,           128, h_mod_assign,           S,     17, 0, 2, Values)  \
    X(OP_AND_ASSIGN,           129, h_and_assign,           S,     17, 0, 2, Values)  \
    X(OP_OR_ASSIGN,            130, h_or_assign,            S,     17, 0, 2, Values)  \
    X(OP_XOR_ASSIGN,           131, h_xor_assign,           S,     17, 0, 2, Values)  \
    X(OP_BIT_AND,              132, h_bit_and,              0,     10, 0, 2, Values)  \
    X(OP_BIT_OR,               133, h_bit_or,               0,     12, 0, 2, Values)  \
    X(OP_BIT_XOR,              134, h_bit_xor,              0,     11, 0, 2, Values)  \
    X(OP_BIT_NOT,              135, h_bit_not,              0,      3, 3, 1, Values)  \
    X(OP_SHL,                  136, h_shl,                  0,      7, 0, 2, Values)  \
    X(OP_SHR,                  137, h_shr,                  0,      7, 0, 2, Values)  \
    X(OP_USHR,                 138, h_ushr,                 0,      7, 0, 2, Values)  \
    X(OP_COND,                 139, h_cond,                 S,     16, 0, 3, Values)  \
    X(OP_NOP_140,              140, h_nop,                  0,     16, 0, 0, Values)  /* the ':' of ?: */ \
    X(OP_VAR,                  141, h_var,                  S|D,   -1, 0, 0, Values)  \
    X(OP_LET,                  142, h_let,                  S|D,   -1, 0, 0, Values)  \
    X(OP_CONST,                143, h_const,                S|D,   -1, 0, 0, Values)  \
    X(OP_INDEX,                144, h_index,                0,      0, 0, 2, Values)  \
    X(OP_MEMBER,               145, h_member,               0,      0, 0, 2, Values)  \
    X(OP_NOP_146,              146, h_nop,                  0,     -1, 0, 0, Values)  /* the ',' of lists */ \
    X(OP_IF,                   147, h_if,                   S,     -1, 0, 2, Values)  \
    X(OP_WHILE,                148, h_while,                S|D,   -1, 0, 2, Values)  \
    X(OP_DO_WHILE,             149, h_do_while,             S|D,   -1, 0, 2, Values)  \
    X(OP_FOR,                  150, h_for,                  S|D,   -1, 0, 3, For)     \
    X(OP_FOR_OF,               151, h_for_of,               S|D,   -1, 0, 4, ForEach) \
    X(OP_FOR_IN,               152, h_for_in,               S|D,   -1, 0, 4, ForEach) \
    X(OP_TRY,                  153, h_try,                  S|D,   -1, 0, 2, Try)     \
    X(OP_THROW,                154, h_throw,                S|D,   -1, 0, 1, Values)  \
    X(OP_BLOCK,                155, h_block,                D,     -1, 0, 0, Values)  \
    X(OP_BREAK,                156, h_break,                S|D,   -1, 0, 0, Values)  \
    X(OP_CONTINUE,             157, h_continue,             S|D,   -1, 0, 0, Values)  \
    X(OP_RETURN,               158, h_return,               S|D,   -1, 0, 0, Values)  \
    X(OP_SEQUENCE,             159, h_sequence,             0,     -1, 0, 0, Values)  \
    X(OP_CALL,                 160, h_call,                 S|D,    0, 0, 2, Call)    \
    X(OP_POW,                  161, h_pow,                  0,      4, 0, 0, Values)  \
    X(OP_SELECT,               162, h_select,               S|D,   -1, 0, 2, Values)  \
    X(OP_SELECT_HASH,          163, h_select_hash,          S|D,   -1, 0, 2, Values)  \
    X(OP_SELECT_TO_FRONT,      164, h_select_to_front,      S|D,   -1, 0, 0, Values)  \
    X(OP_SELECT_HASH_TO_FRONT, 165, h_select_hash_to_front, S|D,   -1, 0, 0, Values)  \
    X(OP_EXECUTE,              166, h_execute,              S|D,   -1, 0, 2, Values)  \
    X(OP_OPEN_DB,              167, h_open_db,              S|D,   -1, 0, 3, Values)  \
    X(OP_SELECT_EXISTS,        168, h_select_exists,        D,     -1, 0, 2, Values)  \
    X(OP_SEND_TO_FRONT,        169, h_send_to_front,        S|D,   -1, 0, 0, Values)  \
    X(OP_SWITCH,               170, h_switch,               S|D,   -1, 0, 4, Switch)  \
    X(OP_NUMBER,               171, h_number,               S,     -1, 0, 0, Values)  \
    X(OP_STRING,               172, h_string,               S,     -1, 0, 0, Values)  \
    X(OP_DECODE_URI,           173, h_decode_uri,           S,     -1, 0, 0, Values)  \
    X(OP_DECODE_URI_COMPONENT, 174, h_decode_uri_component, S,     -1, 0, 0, Values)  \
    X(OP_ENCODE_URI,           175, h_encode_uri,           S,     -1, 0, 0, Values)  \
    X(OP_ENCODE_URI_COMPONENT, 176, h_encode_uri_component, S,     -1, 0, 0, Values)  \
    X(OP_PARSE_FLOAT,          177, h_parse_float,          S,     -1, 0, 0, Values)  \
    X(OP_PARSE_INT,            178, h_parse_int,            S,     -1, 0, 0, Values)  \
    X(OP_EVAL,                 179, h_eval,                 S,     -1, 0, 0, Values)  \
    X(OP_CLOSE_DB,             180, h_close_db,             S|D,   -1, 0, 1, Values)  \
    X(OP_SELECT_INTO,          181, h_select_into,          S|D,   -1, 0, 2, Values)  \
    X(OP_REGEXP,               182, h_regexp,               S|D,   -1, 0, 0, Values)  \
    X(OP_NEW,                  183, h_new,                  S|D|C,  0, 0, 2, Call)    \
    X(OP_EXCEPTION,            184, h_exception,            S|D,   -1, 0, 0, Values)  \
    X(OP_DATE,                 185, h_date,                 S,     -1, 0, 0, Values)  \
    X(OP_INTEGER,              186, h_integer,              S,     -1, 0, 0, Values)  \
    X(OP_FLOAT,                187, h_float,                S,     -1, 0, 0, Values)  \
    X(OP_ERROR,                188, h_exception,            S|D,   -1, 0, 0, Values)  /* Error(...) */ \
    X(OP_ARRAY,                189, h_array,                S,     -1, 0, 0, Values)  \
    X(OP_HASH_CALL,            190, h_hash_call,            S,     -1, 0, 0, Values)  \
    X(OP_ALERT_TO_FRONT,       191, h_alert_to_front,       S,     -1, 0, 0, Values)  \
    X(OP_RECORD_MAP,           192, h_record_map,           S|D,   -1, 0, 3, Values)  \
    X(OP_RECORD_HASH,          193, h_record_hash,          S|D,   -1, 0, 2, Values)  \
    X(OP_SQL_AGGREGATE,        194, h_sql_aggregate,        S|D,   -1, 0, 3, Values)
// clang-format on

// The bytes after the last row have no meaning: they run the rejecting
// handler, the debugger's evaluation refuses them, and all but the last
// are stop points.
constexpr unsigned kOpFirst = 100;
constexpr unsigned kOpUnusedFirst = 195;
constexpr unsigned kOpLastByte = 228;
constexpr unsigned kOpCount = kOpLastByte - kOpFirst + 1;  // 100..228

enum class Op : uint8_t {
#define KORU_OP_ENUM(name, byte, ...) name = byte,
    KORU_OPCODES(KORU_OP_ENUM)
#undef KORU_OP_ENUM
    OP_UNUSED_FIRST = kOpUnusedFirst,
    OP_LAST = kOpLastByte,
};

constexpr uint8_t op_byte(Op op) { return static_cast<uint8_t>(op); }
constexpr bool is_opcode(unsigned byte) { return byte >= kOpFirst && byte <= kOpLastByte; }

// What the words of an instruction hold, operand by operand.
enum class WordRole : uint8_t {
    Value,      // a Value: by its kind a symbol, a cell reference or an immediate
    Number,     // a plain number: never relocated
    Symbol,     // a raw symbol number, 0 = none
    Args,       // AreaAddr of an argument record: word 0 the count n, then n Values
    ForHeader,  // AreaAddr of a `for` header list: initialisers, condition, steps
    Catch,      // AreaAddr of a catch record (symbol, block, 0), or 0 = no catch
    Cases,      // AreaAddr of a switch case table: pairs (header, default, labels)
    CaseList,   // AreaAddr of a switch statement list (its length is in the case table)
};

// The operand shapes of the rows: every operand a Value, or one of the
// fixed layouts with raw words among them.
enum class OperandShape : uint8_t { Values, Call, For, ForEach, Try, Switch };

struct ShapeLayout {
    uint8_t max_count;  // the most operands the shape has (0: any number, all Values)
    WordRole roles[4];
};

constexpr ShapeLayout shape_layout(OperandShape s) {
    switch (s) {
    case OperandShape::Call: return {2, {WordRole::Value, WordRole::Args}};
    case OperandShape::For: return {3, {WordRole::ForHeader, WordRole::Number, WordRole::Value}};
    case OperandShape::ForEach: return {4, {WordRole::Value, WordRole::Value, WordRole::Value, WordRole::Number}};
    case OperandShape::Try: return {3, {WordRole::Value, WordRole::Catch, WordRole::Value}};
    case OperandShape::Switch: return {4, {WordRole::Value, WordRole::Cases, WordRole::CaseList, WordRole::Number}};
    case OperandShape::Values: break;
    }
    return {0, {}};
}

// One row of the table, as the generated tables read it.
struct OpInfo {
    const char* name;
    uint8_t flags;
    int8_t level;
    uint8_t rank;
    uint8_t min_operands;
    OperandShape shape;
};

namespace op_flag {
constexpr uint8_t S = 1, D = 2, U = 4, C = 8;
}  // namespace op_flag

namespace op_table {
using namespace op_flag;
inline constexpr OpInfo kRows[] = {
#define KORU_OP_INFO(name, byte, handler, flags, level, rank, min, shape) \
    {#name, static_cast<uint8_t>(flags), level, rank, min, OperandShape::shape},
    KORU_OPCODES(KORU_OP_INFO)
#undef KORU_OP_INFO
};
inline constexpr uint8_t kBytes[] = {
#define KORU_OP_BYTE(name, byte, ...) byte,
    KORU_OPCODES(KORU_OP_BYTE)
#undef KORU_OP_BYTE
};
constexpr unsigned kRowCount = sizeof kRows / sizeof kRows[0];

// The rows are the opcodes 100.. in order, without gaps, up to the unused bytes.
constexpr bool rows_are_dense() {
    for (unsigned i = 0; i < kRowCount; ++i)
        if (kBytes[i] != kOpFirst + i) return false;
    return kOpFirst + kRowCount == kOpUnusedFirst;
}
static_assert(rows_are_dense());
}  // namespace op_table

// Whether an opcode byte has a row (not every byte is an opcode, and the
// unused bytes have none), and the row itself.  Index tests only: the
// sanitizer builds cannot evaluate a pointer test at compile time.
constexpr bool has_row(unsigned op) { return op >= kOpFirst && op < kOpUnusedFirst; }
constexpr const OpInfo& op_row(unsigned op) { return op_table::kRows[op - kOpFirst]; }

// The row of an opcode byte, or null for a byte that has none.
constexpr const OpInfo* op_info(unsigned op) { return has_row(op) ? &op_row(op) : nullptr; }

constexpr bool op_has_flag(unsigned op, uint8_t flag) {
    if (has_row(op)) return op_row(op).flags & flag;
    if (op >= kOpUnusedFirst && op <= kOpLastByte) return flag == op_flag::D || (flag == op_flag::S && op < kOpLastByte);
    return false;
}

// Opcodes at which a debugger may stop.
constexpr bool is_stopping_point(unsigned op) { return op_has_flag(op, op_flag::S); }
// Opcodes that change program state or control flow: the debugger's
// expression evaluation refuses them.
constexpr bool debug_refuses(unsigned op) { return op_has_flag(op, op_flag::D); }
// Statements that may run with their result unread: asked of every
// statement, so a table by opcode byte answers.
struct UnreadTable {
    bool by_byte[256] = {};
};
constexpr UnreadTable unread_table() {
    UnreadTable t;
    for (unsigned op = 0; op < 256; ++op) t.by_byte[op] = op_has_flag(op, op_flag::U);
    return t;
}
inline constexpr UnreadTable kUnread = unread_table();
constexpr bool may_run_unread(uint8_t op) { return kUnread.by_byte[op]; }

constexpr unsigned count_stopping_points() {
    unsigned n = 0;
    for (unsigned op = kOpFirst; op <= kOpLastByte; ++op) n += is_stopping_point(op);
    return n;
}
static_assert(count_stopping_points() == 94);

// The operands a handler reads whatever the count says.
constexpr unsigned min_operands(unsigned op) { return has_row(op) ? op_row(op).min_operands : 0; }

// The role of operand `index` of an opcode: Value unless the shape says otherwise.
constexpr WordRole operand_role(unsigned op, unsigned index) {
    if (!has_row(op)) return WordRole::Value;
    ShapeLayout l = shape_layout(op_row(op).shape);
    return index < l.max_count ? l.roles[index] : WordRole::Value;
}

// True when some operand of the opcode is not a Value.
constexpr bool has_raw_operands(unsigned op) { return has_row(op) && op_row(op).shape != OperandShape::Values; }

// The name of an opcode as the tables and the dump tool print it ("OP_?" for
// a byte outside 100..228, "OP_UNUSED" for the bytes without a row).
constexpr const char* op_name(unsigned op) {
    if (!is_opcode(op)) return "OP_?";
    return has_row(op) ? op_row(op).name : "OP_UNUSED";
}

}  // namespace koru
