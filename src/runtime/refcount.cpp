#include "runtime/refcount.h"

#include <cmath>
#include <vector>

#include "interp/opcodes.h"
#include "runtime/area.h"
#include "runtime/cell.h"
#include "runtime/hooks.h"
#include "runtime/side_tables.h"

namespace koru {

unsigned value_retain_count(Value v) {
    if (!has_object(v)) return 0;
    uint8_t* h = header_ptr(v);
    unsigned before = *h & 0xF0;
    if (*h < kSaturatedCount) *h = static_cast<uint8_t>(*h + 16);
    return before;
}

unsigned value_unref(Value v) {
    if (!has_object(v)) return 0;
    uint8_t* h = header_ptr(v);
    unsigned old = *h;
    unsigned count = old >> 4;
    if (count >= 1 && count <= 14) *h = static_cast<uint8_t>(old - 16);
    return ((old & 0xF0) + 16) & 0xFF;
}

uint8_t* header_of_other(Value v) { return has_object(v) ? header_ptr(v) : nullptr; }

void retain_other(Value v) {
    if (!has_object(v)) return;
    uint8_t* h = header_ptr(v);
    if (*h < kSaturatedCount) *h = static_cast<uint8_t>(*h + 16);
}

void release_other(Value v) {
    if (!has_object(v)) return;
    uint8_t* h = header_ptr(v);
    if (*h >= kSaturatedCount) return;
    if (*h >= 16) {
        *h = static_cast<uint8_t>(*h - 16);
        if (*h >= 16) return;
    }
    value_destroy(v);
}

void drop_temp_other(Value v) {
    if (has_object(v) && (*header_ptr(v) & 0xF0) == 0) value_destroy(v);
}

void destroy_cell(Value v) {
    Kind type = static_cast<Kind>(cell_of(v)->header & 0xF);
    if (type == Kind::Int || type == Kind::Double) cell_free(v);
    else value_destroy(v);
}

namespace {

// Containers hold values that their destruction releases: arrays, keyed
// arrays, hashes, instructions and functions.  Everything else is a leaf.
bool holds_values(uint8_t header) {
    switch (static_cast<Kind>(header & 0xF)) {
    case Kind::Array:
    case Kind::KeyedArray:
    case Kind::Hash:
    case Kind::Instruction:
    case Kind::Function: return true;
    default: return false;
    }
}

void destroy_leaf(Value v, uint8_t header) {
    switch (static_cast<Kind>(header & 0xF)) {
    case Kind::RegExp:
        if (g_hooks.regex_free) g_hooks.regex_free(v);
        else area_free(v.area_addr());
        break;
    case Kind::SqlObject:
    case Kind::Exception:
    // A connection's object: an open one is held by the table of open
    // connections, so it only goes once it is closed.
    case Kind::DbConnection:
        area_free(v.area_addr());
        break;
    case Kind::String:
        text_index_forget(v);
        if (g_hooks.template_freed && cell_as<StringCell>(v)->is_template()) g_hooks.template_freed(v);
        area_free(cell_as<StringCell>(v)->text);
        cell_free(v);
        break;
    case Kind::Int:
    case Kind::Date:
    case Kind::Double:
        cell_free(v);
        break;
    default:
        break;
    }
}

// ---- instructions with raw operand words ----------------------------------------
// Some operands are not Values but compile-area blocks (an argument record,
// a for header, a catch record, switch tables) or plain numbers; the opcode
// table gives each operand its role.  Such an instruction holds, in operand
// order, every Value operand and every Value in its blocks, and frees the
// blocks with its cell.

const uint32_t* operand_words(const InstrCell* ic) {
    return ic->uses_vector() ? area_as<uint32_t>(AreaAddr{ic->op0}) : &ic->op0;
}

bool is_block_role(WordRole r) {
    return r == WordRole::Args || r == WordRole::ForHeader || r == WordRole::Catch || r == WordRole::Cases ||
           r == WordRole::CaseList;
}

// The Values operand k holds: their number, and where the first one is
// (they follow each other, `stride` words apart).
struct PartValues {
    const uint32_t* first;
    uint32_t count;
    uint32_t stride;
};

PartValues part_values(const InstrCell* ic, const uint32_t* ops, uint32_t k) {
    const uint32_t word = ops[k];
    switch (operand_role(ic->opcode, k)) {
    case WordRole::Value: return {&ops[k], 1, 1};
    case WordRole::Number:
    case WordRole::Symbol: return {nullptr, 0, 1};
    case WordRole::Args: {
        const uint32_t* w = area_as<uint32_t>(AreaAddr{word});
        return {w + 1, w[0], 1};
    }
    case WordRole::ForHeader:
        // The counts word beside it: steps in the low half, initialisers above.
        return {area_as<uint32_t>(AreaAddr{word}), (ops[1] >> 16) + 1 + (ops[1] & 0xFFFF), 1};
    case WordRole::Catch:
        // (symbol, block, 0), or no catch at all.
        if (word == 0) return {nullptr, 0, 1};
        return {area_as<uint32_t>(AreaAddr{word}), 2, 1};
    case WordRole::Cases: {
        // Pair 0 (pairs in use, statements), pair 1 (0, default), then (label, index).
        const uint32_t* w = area_as<uint32_t>(AreaAddr{word});
        return {w + 4, w[0] > 2 ? w[0] - 2 : 0, 2};
    }
    case WordRole::CaseList:
        return {area_as<uint32_t>(AreaAddr{word}), area_as<uint32_t>(AreaAddr{ops[1]})[1], 1};
    }
    return {nullptr, 0, 1};
}

bool held_by_parts(const InstrCell* ic, uint32_t i, Value* out) {
    const uint32_t* ops = operand_words(ic);
    for (uint32_t k = 0, n = ic->operand_count(); k < n; ++k) {
        PartValues p = part_values(ic, ops, k);
        if (i < p.count) {
            *out = Value(p.first[i * p.stride]);
            return true;
        }
        i -= p.count;
    }
    return false;
}

// The i-th value a container releases, in the order it releases them;
// false past the last.
bool held_value(Value v, uint8_t header, uint32_t i, Value* out) {
    switch (static_cast<Kind>(header & 0xF)) {
    case Kind::Array: {
        const ArrayCell* a = cell_as<ArrayCell>(v);
        if (i >= a->count) return false;
        *out = area_as<Value>(a->elements)[i];
        return true;
    }
    case Kind::KeyedArray: {
        const KeyedArrayCell* a = cell_as<KeyedArrayCell>(v);
        if (i >= a->count) return false;
        *out = area_as<Pair>(a->pairs)[i].value;
        return true;
    }
    case Kind::Hash: {
        const HashCell* hc = cell_as<HashCell>(v);
        if (i >= hc->count) return false;
        *out = area_as<Pair>(hc->pairs)[i].value;
        return true;
    }
    case Kind::Instruction: {
        const InstrCell* ic = cell_as<InstrCell>(v);
        if (has_raw_operands(ic->opcode)) return held_by_parts(ic, i, out);
        if (!ic->uses_vector()) {
            if (i >= ic->nops) return false;
            *out = Value(i == 0 ? ic->op0 : ic->op1);
            return true;
        }
        if (i >= ic->operand_count()) return false;
        *out = area_as<Value>(AreaAddr{ic->op0})[i];
        return true;
    }
    case Kind::Function: {
        // The body first, then the parameter names.
        const FunctionCell* f = cell_as<FunctionCell>(v);
        if (i == 0) {
            *out = Value(f->body);
            return true;
        }
        if (i > f->param_count) return false;
        *out = area_as<Value>(f->names)[i - 1];
        return true;
    }
    default:
        return false;
    }
}

// What a container gives back once its values are released.
void free_container(Value v, uint8_t header) {
    switch (static_cast<Kind>(header & 0xF)) {
    case Kind::Array: area_free(cell_as<ArrayCell>(v)->elements); break;
    case Kind::KeyedArray: area_free(cell_as<KeyedArrayCell>(v)->pairs); break;
    case Kind::Hash:
        hash_index_forget(v);
        area_free(cell_as<HashCell>(v)->pairs);
        break;
    case Kind::Instruction: {
        const InstrCell* ic = cell_as<InstrCell>(v);
        if (has_raw_operands(ic->opcode)) {
            const uint32_t* ops = operand_words(ic);
            for (uint32_t k = 0, n = ic->operand_count(); k < n; ++k)
                if (is_block_role(operand_role(ic->opcode, k)) && ops[k] != 0) area_free(AreaAddr{ops[k]});
        }
        if (ic->uses_vector()) area_free(AreaAddr{ic->op0});
        break;
    }
    case Kind::Function: {
        const FunctionCell* f = cell_as<FunctionCell>(v);
        if (f->param_count) area_free(f->names);
        break;
    }
    default: break;
    }
    cell_free(v);
}

// The value_release step for a value held by a container being destroyed:
// true when its count reached zero and it is to be destroyed as well.
bool release_kills(Value v) {
    if (!has_object(v)) return false;
    uint8_t* h = header_ptr(v);
    if (*h >= kSaturatedCount) return false;
    if (*h >= 16) {
        *h = static_cast<uint8_t>(*h - 16);
        if (*h >= 16) return false;
    }
    return true;
}

// A container being destroyed and the next of its values to release.
struct Dying {
    Value value;
    uint32_t next;
};

}  // namespace

// Destruction walks containers held by containers with a work list of its
// own rather than the machine stack, so that no depth of nesting can run it
// out of stack.  The order is the one of a depth-first walk: a container's
// values are released in order, each one destroyed whole (its own values,
// its vector, its cell) before the next, and the container's vector and cell
// are freed last.  Reuse takes the highest freed slot first, so this order
// decides where later objects land.
void value_destroy(Value v) {
    uint8_t header = *header_ptr(v);
    if (!holds_values(header)) {
        destroy_leaf(v, header);
        return;
    }
    // Most containers hold few nested ones: the first levels stay on the stack.
    constexpr size_t kInline = 32;
    Dying inline_list[kInline];
    std::vector<Dying> spilled;
    Dying* list = inline_list;
    size_t depth = 0, capacity = kInline;
    auto push = [&](Value c) {
        if (depth == capacity) {
            if (spilled.empty()) spilled.assign(inline_list, inline_list + kInline);
            spilled.resize(capacity * 2);
            list = spilled.data();
            capacity = spilled.size();
        }
        if (g_hooks.instruction_freed && (*header_ptr(c) & 0xF) == static_cast<uint8_t>(Kind::Instruction))
            g_hooks.instruction_freed(cell_of(c));
        list[depth++] = Dying{c, 0};
    };
    push(v);
    while (depth > 0) {
        Dying& top = list[depth - 1];
        uint8_t h = cell_of(top.value)->header;
        Value held;
        if (!held_value(top.value, h, top.next, &held)) {
            free_container(top.value, h);
            --depth;
            continue;
        }
        ++top.next;
        if (!release_kills(held)) continue;
        uint8_t hh = *header_ptr(held);
        if (holds_values(hh)) push(held);
        else destroy_leaf(held, hh);
    }
}

bool value_truthy_of_object(Value v) {
    switch (v.kind()) {
    case Kind::Immediate: return v.bits == kTrue;
    case Kind::None4:
    case Kind::IntKey: return false;
    case Kind::Int: return cell_as<IntCell>(v)->value != 0;
    case Kind::Double: {
        double d = cell_as<DoubleCell>(v)->value;
        return d != 0.0 || std::isnan(d);
    }
    case Kind::String: return cell_as<StringCell>(v)->length != 0;
    case Kind::Array: return cell_as<ArrayCell>(v)->count != 0;
    case Kind::KeyedArray: return cell_as<KeyedArrayCell>(v)->count != 0;
    case Kind::Hash: return cell_as<HashCell>(v)->count != 0;
    default: return true;
    }
}

}  // namespace koru
