#include "runtime/refcount.h"

#include <cmath>

#include "runtime/cell.h"

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

namespace {
RegexFreeFn g_regex_free = nullptr;
InstructionFreedFn g_instruction_freed = nullptr;
}  // namespace

void set_regex_free_fn(RegexFreeFn fn) { g_regex_free = fn; }
void set_instruction_freed_fn(InstructionFreedFn fn) { g_instruction_freed = fn; }

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

void value_destroy(Value v) {
    uint8_t* h = header_ptr(v);
    switch (static_cast<Kind>(*h & 0xF)) {
    case Kind::RegExp:
        if (g_regex_free) g_regex_free(v);
        else area_free(v.area_addr());
        break;
    case Kind::SqlObject:
    case Kind::Exception:
        area_free(v.area_addr());
        break;
    case Kind::DbConnection:
        // Connections are closed by the database layer at the end of the request.
        break;
    case Kind::String:
        area_free(cell_as<StringCell>(v)->text);
        cell_free(v);
        break;
    case Kind::Array: {
        ArrayCell* a = cell_as<ArrayCell>(v);
        if (a->count) {
            const Value* e = area_as<Value>(a->elements);
            for (uint32_t i = 0; i < a->count; ++i) value_release(e[i]);
        }
        area_free(a->elements);
        cell_free(v);
        break;
    }
    case Kind::KeyedArray: {
        KeyedArrayCell* a = cell_as<KeyedArrayCell>(v);
        if (a->count) {
            const Pair* p = area_as<Pair>(a->pairs);
            for (uint32_t i = 0; i < a->count; ++i) value_release(p[i].value);
        }
        area_free(a->pairs);
        cell_free(v);
        break;
    }
    case Kind::Hash: {
        HashCell* hc = cell_as<HashCell>(v);
        if (hc->count) {
            const Pair* p = area_as<Pair>(hc->pairs);
            for (uint32_t i = 0; i < hc->count; ++i) value_release(p[i].value);
        }
        area_free(hc->pairs);
        cell_free(v);
        break;
    }
    case Kind::Instruction: {
        InstrCell* ic = cell_as<InstrCell>(v);
        if (g_instruction_freed) g_instruction_freed(ic);
        if (!ic->uses_vector()) {
            if (ic->nops >= 1) value_release(Value(ic->op0));
            if (ic->nops >= 2) value_release(Value(ic->op1));
        } else {
            AreaAddr vec{ic->op0};
            const Value* ops = area_as<Value>(vec);
            uint32_t n = ic->operand_count();
            for (uint32_t i = 0; i < n; ++i) value_release(ops[i]);
            area_free(vec);
        }
        cell_free(v);
        break;
    }
    case Kind::Function: {
        FunctionCell* f = cell_as<FunctionCell>(v);
        value_release(Value(f->body));
        if (f->param_count) {
            const Value* names = area_as<Value>(f->names);
            for (unsigned i = 0; i < f->param_count; ++i) value_release(names[i]);
            area_free(f->names);
        }
        cell_free(v);
        break;
    }
    case Kind::Int:
    case Kind::Date:
    case Kind::Double:
        cell_free(v);
        break;
    default:
        break;
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
