#include "compiler/emit.h"

#include <cstring>

#include "compiler/state.h"
#include "runtime/cell.h"
#include "runtime/refcount.h"

namespace koru {

namespace {

// Area address 0 is a valid block, but operand words use 0 for "none" (no
// catch part, no names), so a block is never placed there.
AreaBlock block_of(size_t bytes) {
    AreaBlock b = area_alloc(bytes);
    if (b.addr.bits == 0) b = area_alloc(bytes);
    return b;
}

AreaAddr vector_of(size_t count, const Value* operands) {
    AreaBlock b = block_of(count * 4);
    auto* words = static_cast<uint32_t*>(b.ptr);
    for (size_t i = 0; i < count; ++i) words[i] = value_retain(operands[i]).bits;
    return b.addr;
}

}  // namespace

Value make_instruction(Op op, size_t count, const Value* operands, uint32_t position) {
    NewCell nc = cell_alloc(Kind::Instruction);
    auto* c = reinterpret_cast<InstrCell*>(nc.cell);
    unsigned code = op_byte(op);
    c->opcode = static_cast<uint8_t>(code);
    c->module = static_cast<uint8_t>((g_compiler.module & 0x7F) |
                                     (is_stopping_point(code) ? g_compiler.suppress_stops : InstrCell::kNoStop));
    c->op0 = 0;
    c->op1 = 0;
    if (op == Op::OP_BLOCK && count >= InstrCell::kLargeCount) {
        c->nops = InstrCell::kLargeCount;
        c->position = static_cast<uint32_t>(count);
        c->op0 = vector_of(count, operands).bits;
        return nc.value;
    }
    c->nops = static_cast<uint8_t>(count);
    c->position = position & 0x7FFFFFFF;
    if (count > 2) {
        c->op0 = vector_of(count, operands).bits;
    } else {
        if (count > 0) c->op0 = value_retain(operands[0]).bits;
        if (count > 1) c->op1 = value_retain(operands[1]).bits;
    }
    return nc.value;
}

Value make_instruction(Op op, Value a, uint32_t position) { return make_instruction(op, 1, &a, position); }

Value make_instruction(Op op, Value a, Value b, uint32_t position) {
    Value ops[2] = {a, b};
    return make_instruction(op, 2, ops, position);
}

AreaAddr make_word_block(size_t count, const uint32_t* words, bool retain) {
    AreaBlock b = block_of(count == 0 ? 4 : count * 4);
    auto* out = static_cast<uint32_t*>(b.ptr);
    for (size_t i = 0; i < count; ++i) out[i] = retain ? value_retain(Value(words[i])).bits : words[i];
    return b.addr;
}

AreaAddr make_argument_record(size_t count, const Value* args) {
    AreaBlock b = block_of((count + 1) * 4);
    auto* out = static_cast<uint32_t*>(b.ptr);
    out[0] = static_cast<uint32_t>(count);
    for (size_t i = 0; i < count; ++i) out[i + 1] = value_retain(args[i]).bits;
    return b.addr;
}

const uint32_t* instr_operands(Value instr) {
    const auto* c = cell_as<InstrCell>(instr);
    if (c->nops > 2) return area_as<uint32_t>(AreaAddr{c->op0});
    return &c->op0;
}

uint32_t instr_operand_count(Value instr) { return cell_as<InstrCell>(instr)->operand_count(); }

}  // namespace koru
