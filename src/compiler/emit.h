// Building instruction cells and the small word blocks that hang off them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "interp/opcodes.h"
#include "runtime/area.h"
#include "runtime/value.h"

namespace koru {

// A new Instruction cell.  Byte 1 is the current module number with bit 7
// set, unless the opcode is a stopping point (then the compiler's
// suppress-stops bits are or-ed in).  Up to two operands go inline, more to a
// vector of count words; an OP_BLOCK of 255 or more statements keeps 255 in
// the count byte and the real count in the position word.  Every operand is
// retained.
Value make_instruction(Op op, size_t count, const Value* operands, uint32_t position);

inline Value make_instruction(Op op, uint32_t position) { return make_instruction(op, 0, nullptr, position); }
Value make_instruction(Op op, Value a, uint32_t position);
Value make_instruction(Op op, Value a, Value b, uint32_t position);

// A block of `count` words in the area, filled from `words` (each retained
// when `retain`).
AreaAddr make_word_block(size_t count, const uint32_t* words, bool retain);

// An argument record: word 0 the count, words 1..n the values (retained).
AreaAddr make_argument_record(size_t count, const Value* args);

// The operand words of an instruction and their number.
const uint32_t* instr_operands(Value instr);
uint32_t instr_operand_count(Value instr);

}  // namespace koru
