#include "interp/opcodes.h"

namespace koru {

namespace {

// Indexed by opcode - 100; 195..228 share one name.
constexpr const char* kOpNames[95] = {
    "OP_NOP", "OP_POST_INC", "OP_POST_DEC", "OP_PRE_INC", "OP_PRE_DEC", "OP_TYPEOF",
    "OP_INSTANCEOF", "OP_NOT", "OP_AND", "OP_OR", "OP_EQ", "OP_STRICT_EQ", "OP_NE",
    "OP_STRICT_NE", "OP_GE", "OP_GT", "OP_LE", "OP_LT", "OP_ADD", "OP_SUB", "OP_MUL", "OP_DIV",
    "OP_MOD", "OP_ASSIGN", "OP_ADD_ASSIGN", "OP_SUB_ASSIGN", "OP_MUL_ASSIGN", "OP_DIV_ASSIGN",
    "OP_MOD_ASSIGN", "OP_AND_ASSIGN", "OP_OR_ASSIGN", "OP_XOR_ASSIGN", "OP_BIT_AND", "OP_BIT_OR",
    "OP_BIT_XOR", "OP_BIT_NOT", "OP_SHL", "OP_SHR", "OP_USHR", "OP_COND", "OP_NOP_140", "OP_VAR",
    "OP_LET", "OP_CONST", "OP_INDEX", "OP_MEMBER", "OP_NOP_146", "OP_IF", "OP_WHILE",
    "OP_DO_WHILE", "OP_FOR", "OP_FOR_OF", "OP_FOR_IN", "OP_TRY", "OP_THROW", "OP_BLOCK",
    "OP_BREAK", "OP_CONTINUE", "OP_RETURN", "OP_SEQUENCE", "OP_CALL", "OP_POW", "OP_SELECT",
    "OP_SELECT_HASH", "OP_SELECT_TO_FRONT", "OP_SELECT_HASH_TO_FRONT", "OP_EXECUTE",
    "OP_OPEN_DB", "OP_SELECT_EXISTS", "OP_SEND_TO_FRONT", "OP_SWITCH", "OP_NUMBER", "OP_STRING",
    "OP_DECODE_URI", "OP_DECODE_URI_COMPONENT", "OP_ENCODE_URI", "OP_ENCODE_URI_COMPONENT",
    "OP_PARSE_FLOAT", "OP_PARSE_INT", "OP_EVAL", "OP_CLOSE_DB", "OP_SELECT_INTO", "OP_REGEXP",
    "OP_NEW", "OP_EXCEPTION", "OP_DATE", "OP_INTEGER", "OP_FLOAT", "OP_ERROR", "OP_ARRAY",
    "OP_HASH_CALL", "OP_ALERT_TO_FRONT", "OP_RECORD_MAP", "OP_RECORD_HASH", "OP_SQL_AGGREGATE",
};
static_assert(sizeof kOpNames / sizeof kOpNames[0] == 95);

}  // namespace

const char* op_name(unsigned op) {
    if (!is_opcode(op)) return "OP_?";
    if (op >= static_cast<unsigned>(Op::OP_UNUSED_FIRST)) return "OP_UNUSED";
    return kOpNames[op - kOpFirst];
}

}  // namespace koru
