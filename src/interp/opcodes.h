// The instruction opcodes.  An Instruction cell's byte 3 holds one of these;
// the interpreter dispatches through a 129-slot table indexed by opcode - 100.
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

enum class Op : uint8_t {
    OP_NOP = 100,
    OP_POST_INC = 101,
    OP_POST_DEC = 102,
    OP_PRE_INC = 103,
    OP_PRE_DEC = 104,
    OP_TYPEOF = 105,
    OP_INSTANCEOF = 106,
    OP_NOT = 107,
    OP_AND = 108,
    OP_OR = 109,
    OP_EQ = 110,
    OP_STRICT_EQ = 111,
    OP_NE = 112,
    OP_STRICT_NE = 113,
    OP_GE = 114,
    OP_GT = 115,
    OP_LE = 116,
    OP_LT = 117,
    OP_ADD = 118,
    OP_SUB = 119,
    OP_MUL = 120,
    OP_DIV = 121,
    OP_MOD = 122,
    OP_ASSIGN = 123,
    OP_ADD_ASSIGN = 124,
    OP_SUB_ASSIGN = 125,
    OP_MUL_ASSIGN = 126,
    OP_DIV_ASSIGN = 127,
    OP_MOD_ASSIGN = 128,
    OP_AND_ASSIGN = 129,
    OP_OR_ASSIGN = 130,
    OP_XOR_ASSIGN = 131,
    OP_BIT_AND = 132,
    OP_BIT_OR = 133,
    OP_BIT_XOR = 134,
    OP_BIT_NOT = 135,
    OP_SHL = 136,
    OP_SHR = 137,
    OP_USHR = 138,
    OP_COND = 139,
    OP_NOP_140 = 140,   // a no-op cell; the expression compiler's ':' token
    OP_VAR = 141,
    OP_LET = 142,
    OP_CONST = 143,
    OP_INDEX = 144,
    OP_MEMBER = 145,
    OP_NOP_146 = 146,   // a no-op cell; the expression compiler's ',' token
    OP_IF = 147,
    OP_WHILE = 148,
    OP_DO_WHILE = 149,
    OP_FOR = 150,
    OP_FOR_OF = 151,
    OP_FOR_IN = 152,
    OP_TRY = 153,
    OP_THROW = 154,
    OP_BLOCK = 155,
    OP_BREAK = 156,
    OP_CONTINUE = 157,
    OP_RETURN = 158,
    OP_SEQUENCE = 159,
    OP_CALL = 160,
    OP_POW = 161,
    OP_SELECT = 162,
    OP_SELECT_HASH = 163,
    OP_SELECT_TO_FRONT = 164,
    OP_SELECT_HASH_TO_FRONT = 165,
    OP_EXECUTE = 166,
    OP_OPEN_DB = 167,
    OP_SELECT_EXISTS = 168,
    OP_SEND_TO_FRONT = 169,
    OP_SWITCH = 170,
    OP_NUMBER = 171,
    OP_STRING = 172,
    OP_DECODE_URI = 173,
    OP_DECODE_URI_COMPONENT = 174,
    OP_ENCODE_URI = 175,
    OP_ENCODE_URI_COMPONENT = 176,
    OP_PARSE_FLOAT = 177,
    OP_PARSE_INT = 178,
    OP_EVAL = 179,
    OP_CLOSE_DB = 180,
    OP_SELECT_INTO = 181,
    OP_REGEXP = 182,
    OP_NEW = 183,
    OP_EXCEPTION = 184,
    OP_DATE = 185,
    OP_INTEGER = 186,
    OP_FLOAT = 187,
    OP_ERROR = 188,      // Error(...): the same handler as OP_EXCEPTION
    OP_ARRAY = 189,
    OP_HASH_CALL = 190,
    OP_ALERT_TO_FRONT = 191,
    OP_RECORD_MAP = 192,
    OP_RECORD_HASH = 193,
    OP_SQL_AGGREGATE = 194,
    OP_UNUSED_FIRST = 195,  // 195..228 have no meaning: the rejecting handler
    OP_LAST = 228,
};

constexpr unsigned kOpFirst = 100;
constexpr unsigned kOpCount = 129;  // 100..228

constexpr uint8_t op_byte(Op op) { return static_cast<uint8_t>(op); }
constexpr bool is_opcode(unsigned byte) { return byte >= kOpFirst && byte <= static_cast<unsigned>(Op::OP_LAST); }

// Opcodes at which a debugger may stop: 101-104, 123-131, 139, 141-143,
// 147-154, 156-158, 160, 162-167, 169-227 (94 in all).
constexpr bool is_stopping_point(unsigned op) {
    return (op >= 101 && op <= 104) || (op >= 123 && op <= 131) || op == 139 ||
           (op >= 141 && op <= 143) || (op >= 147 && op <= 154) || (op >= 156 && op <= 158) ||
           op == 160 || (op >= 162 && op <= 167) || (op >= 169 && op <= 227);
}

constexpr unsigned count_stopping_points() {
    unsigned n = 0;
    for (unsigned op = kOpFirst; op < kOpFirst + kOpCount; ++op) n += is_stopping_point(op);
    return n;
}
static_assert(count_stopping_points() == 94);

// The name of an opcode as the tables and the dump tool print it ("OP_?" for
// a byte outside 100..228).
const char* op_name(unsigned op);

}  // namespace koru
