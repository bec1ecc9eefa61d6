#include "interp/variables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/errors.h"
#include "interp/handlers.h"
#include "interp/opcodes.h"
#include "interp/support.h"
#include "runtime/objects.h"
#include "runtime/symbols.h"
#include "strings/text_index.h"

namespace koru {

namespace {


constexpr uint32_t kSymbolMask = 0x0FFFFFFF;

void set_place(PlaceKind k, Value container, uint32_t index) {
    g_interp.place.kind = k;
    g_interp.place.container = container;
    g_interp.place.index = index;
    g_interp.place_const = false;  // a look-up of a variable sets it afterwards
}

}  // namespace

// ---- variables --------------------------------------------------------------------

Value lookup_variable(uint32_t symbol) {
    InterpState& s = g_interp;
    uint32_t sym = symbol & kSymbolMask;
    s.place_name = sym;
    if (s.scope_depth > 0 && s.locals.size() > 1) {
        uint32_t low = s.frame_base > 1 ? s.frame_base : 1;
        if (uint32_t i = topmost_slot(sym, low)) {
            const VarSlot& slot = s.locals[i];
            set_place(PlaceKind::Local, kUndefinedValue, i);
            s.place_const = slot.is_const();
            return slot.value;
        }
    }
    int64_t g = global_find(sym);
    uint32_t index = g >= 0 ? static_cast<uint32_t>(g) : global_append(sym);
    set_place(PlaceKind::Global, kUndefinedValue, index);
    const VarSlot& slot = g_globals.slots[index];
    s.place_const = slot.is_const();
    return slot.value;
}

namespace {

Value* place_cell(const Place& p) {
    switch (p.kind) {
    case PlaceKind::Local:
        if (p.index < g_interp.locals.size()) return &g_interp.locals[p.index].value;
        break;
    case PlaceKind::Global:
        if (p.index < g_globals.slots.size()) return &g_globals.slots[p.index].value;
        break;
    case PlaceKind::Element:
        if (p.container.kind() == Kind::Array && p.index < array_count(p.container))
            return &array_elements(p.container)[p.index];
        break;
    case PlaceKind::Pair:
        if (p.container.kind() == Kind::KeyedArray && p.index < keyed_count(p.container))
            return &keyed_pairs(p.container)[p.index].value;
        if (p.container.kind() == Kind::Hash && p.index < hash_count(p.container))
            return &hash_pairs(p.container)[p.index].value;
        break;
    default:
        break;
    }
    return nullptr;
}

int32_t int_of(Value v) {
    if (v.kind() == Kind::Int) return int_value(v);
    if (v.kind() == Kind::Double) {
        double d = double_value(v);
        return d > -2147483649.0 && d < 2147483648.0 ? static_cast<int32_t>(d) : 0;  // NaN fails both
    }
    return 0;
}

}  // namespace

void store_to_place(const Place& p, Value v) { value_release(exchange_place(p, v)); }

Value exchange_place(const Place& p, Value v) {
    if (p.kind == PlaceKind::LastIndex) {
        if (g_hooks.last_index_set && p.container.kind() == Kind::RegExp)
            g_hooks.last_index_set(p.container, static_cast<uint32_t>(int_of(v)));
        return kUndefinedValue;
    }
    Value* cell = place_cell(p);
    if (!cell) raise_runtime(err::value_ptr_kind);
    Value old = *cell;
    *cell = value_retain(v);
    return old;
}

Value place_value(const Place& p) {
    if (p.kind == PlaceKind::LastIndex) {
        if (!g_hooks.last_index_get || p.container.kind() != Kind::RegExp) return kUndefinedValue;
        return make_int(static_cast<int32_t>(g_hooks.last_index_get(p.container)));
    }
    Value* cell = place_cell(p);
    return cell ? *cell : kUndefinedValue;
}

// ---- declarations -------------------------------------------------------------------

namespace {

struct Declaration {
    uint32_t symbol = 0;
    Value init = kUndefinedValue;  // undefined when bare
    bool has_init = false;         // also for an assignment that names no variable
};

// A bare symbol, or an assignment cell (symbol, initial expression).  False
// for anything else; `d` then still tells whether it was an assignment.
bool read_declaration(Value operand, Declaration& d) {
    d = Declaration{};
    if (operand.kind() == Kind::Immediate) {
        d.symbol = operand.payload();
        return true;
    }
    if (operand.kind() != Kind::Instruction) return false;
    const InstrCell& c = *cell_as<InstrCell>(operand);
    if (c.opcode != op_byte(Op::OP_ASSIGN)) return false;
    d.has_init = true;
    if (c.nops != 2 || Value(c.op0).kind() != Kind::Immediate) return false;
    d.symbol = Value(c.op0).payload();
    d.init = Value(c.op1);
    return true;
}

void declare_var(uint32_t sym, Value v) {
    InterpState& s = g_interp;
    if (s.frame_base == 0) {
        global_bind(sym, v);
        return;
    }
    if (uint32_t i = lowest_slot(sym & kSymbolMask, s.frame_base)) {
        VarSlot& slot = s.locals[i];
        Value old = slot.value;
        slot.value = value_retain(v);
        value_release(old);
        return;
    }
    push_local(sym, v);
}

void declare_block(uint32_t sym, Value v, bool is_const) {
    InterpState& s = g_interp;
    uint32_t name = sym | (is_const ? VarSlot::kConst : 0);
    uint32_t low = s.block_base > 1 ? s.block_base : 1;
    if (uint32_t i = lowest_slot(sym & kSymbolMask, low)) {
        VarSlot& slot = s.locals[i];
        Value old = slot.value;
        slot.value = value_retain(v);
        slot.name = name;  // the same symbol: the chains stay as they are
        value_release(old);
        return;
    }
    push_local(name, v);
}

Value declare_let_const(const InstrCell& c, bool is_const) {
    if (g_interp.scope_depth == 0) raise_runtime(err::block_declaration_outside);
    const uint32_t* ops = operands(c);
    for (uint32_t i = 0, n = c.operand_count(); i < n; ++i) {
        Declaration d;
        if (!read_declaration(Value(ops[i]), d) || d.symbol <= kNull) {
            if (d.has_init) raise_runtime(err::block_name_bad_init);
            raise_runtime(err::block_name_bad);
        }
        TempGuard v(d.has_init ? evaluate(d.init) : kUndefinedValue);
        declare_block(d.symbol, v.get(), is_const);
    }
    return kUndefinedValue;
}

}  // namespace

Value h_var(const InstrCell& c) {
    const uint32_t* ops = operands(c);
    for (uint32_t i = 0, n = c.operand_count(); i < n; ++i) {
        Declaration d;
        if (!read_declaration(Value(ops[i]), d)) raise_runtime(err::var_name_bad);
        TempGuard v(d.has_init ? evaluate(d.init) : kUndefinedValue);
        declare_var(d.symbol, v.get());
    }
    return kUndefinedValue;
}

Value h_let(const InstrCell& c) { return declare_let_const(c, false); }
Value h_const(const InstrCell& c) { return declare_let_const(c, true); }

// ---- hashes -------------------------------------------------------------------------

uint32_t hash_append(Value hash, Value key) {
    HashCell* h = cell_as<HashCell>(hash);
    if (h->count + 1u >= h->capacity) {
        uint32_t cap = h->capacity + 11u;
        if (cap > 0xFFFF) raise_runtime(err::out_of_memory);
        // Growing by a fixed step copies a large hash over and over.
        if (!g_plain_paths) cap = std::min(std::max(cap, h->capacity + h->capacity / 2u), 0xFFFFu);
        AreaBlock b = area_alloc(static_cast<size_t>(cap) * sizeof(Pair));
        std::memset(b.ptr, 0, static_cast<size_t>(cap) * sizeof(Pair));
        std::memcpy(b.ptr, area_ptr(h->pairs), static_cast<size_t>(h->count) * sizeof(Pair));
        area_free(h->pairs);
        h->pairs = b.addr;
        h->capacity = static_cast<uint16_t>(cap);
    }
    uint32_t i = h->count++;
    hash_pairs(hash)[i] = Pair{key, kUndefinedValue};
    if (i + 1 >= kIndexedHashCount) hash_index_appended(hash, key, i);
    return i;
}

Value hash_property(Value hash, uint32_t symbol, bool create) {
    int64_t i = hash_find(hash, symbol);
    if (i >= 0) {
        set_place(PlaceKind::Pair, hash, static_cast<uint32_t>(i));
        return hash_pairs(hash)[i].value;
    }
    if (!create) {
        clear_place();
        return kUndefinedValue;
    }
    uint32_t at = hash_append(hash, Value::symbol(symbol));
    set_place(PlaceKind::Pair, hash, at);
    return kUndefinedValue;
}

// ---- keyed arrays -------------------------------------------------------------------

namespace {

uint32_t keyed_append(Value keyed, Value key) {
    KeyedArrayCell* k = cell_as<KeyedArrayCell>(keyed);
    if (k->count >= k->capacity) keyed_set_capacity(keyed, k->capacity + 11u);
    uint32_t i = k->count++;
    keyed_pairs(keyed)[i] = Pair{key, kUndefinedValue};
    return i;
}

// A pair's key matches an integer index when it is an integer key (any
// nonzero kind nibble) with the same low 24 bits.
int64_t keyed_find_int(Value keyed, uint32_t n) {
    const Pair* p = keyed_pairs(keyed);
    for (uint32_t i = 0, c = keyed_count(keyed); i < c; ++i)
        if (p[i].key.kind() != Kind::Immediate && p[i].key.low24() == (n & 0xFFFFFF)) return i;
    return -1;
}

int64_t keyed_find_name(Value keyed, uint32_t sym) {
    const Pair* p = keyed_pairs(keyed);
    for (uint32_t i = 0, c = keyed_count(keyed); i < c; ++i)
        if (p[i].key.kind() == Kind::Immediate && (p[i].key.bits & kSymbolMask) == sym) return i;
    return -1;
}

Value keyed_entry(Value keyed, int64_t found, Value key) {
    if (found >= 0) {
        set_place(PlaceKind::Pair, keyed, static_cast<uint32_t>(found));
        return keyed_pairs(keyed)[found].value;
    }
    if (!g_interp.place_mode) {
        clear_place();
        return kUndefinedValue;
    }
    set_place(PlaceKind::Pair, keyed, keyed_append(keyed, key));
    return kUndefinedValue;
}

// A String key's symbol: interned in place mode, else only looked up (a
// name that is not interned cannot be a key).  -1 when absent.
int64_t name_symbol(const char* text, size_t len) {
    if (g_interp.place_mode) return intern(std::string_view(text, len));
    return symbol_lookup(text, len);
}

int64_t key_symbol(Value key) {
    if (key.kind() == Kind::Immediate) return key.payload();
    return name_symbol(string_text(key), string_length(key));
}

Value hash_by_symbol(Value hash, int64_t sym) {
    if (sym < 0) {
        clear_place();
        return kUndefinedValue;
    }
    return hash_property(hash, static_cast<uint32_t>(sym), g_interp.place_mode);
}

Value index_by_name(Value obj, Value key) {
    int64_t sym = key_symbol(key);
    if (obj.kind() == Kind::Hash) return hash_by_symbol(obj, sym);
    if (obj.kind() == Kind::KeyedArray) {
        if (sym < 0) {
            clear_place();
            return kUndefinedValue;
        }
        uint32_t s = static_cast<uint32_t>(sym);
        return keyed_entry(obj, keyed_find_name(obj, s), Value::symbol(s));
    }
    raise_runtime(err::name_index_bad);
}

// Turns an array into a keyed array with the pairs (i, element i) and a new
// pair (n, undefined), which becomes the place.
Value array_to_keyed(Value arr, uint32_t n, const Place& where, TempGuard& obj_guard) {
    uint32_t count = array_count(arr);
    Value keyed = make_keyed_array(count + 1);
    KeyedArrayCell* k = cell_as<KeyedArrayCell>(keyed);
    Pair* p = keyed_pairs(keyed);
    const Value* e = array_elements(arr);
    for (uint32_t i = 0; i < count; ++i) p[i] = Pair{Value::int_key(i), value_retain(e[i])};
    p[count] = Pair{Value::int_key(n), kUndefinedValue};
    (void)k;
    if (where.kind != PlaceKind::None) {
        obj_guard.release();  // the store below releases the array
        store_to_place(where, keyed);
    }
    set_place(PlaceKind::Pair, keyed, count);
    return kUndefinedValue;
}

Value index_array(Value arr, uint32_t n, const Place& where, TempGuard& obj_guard) {
    ArrayCell* a = cell_as<ArrayCell>(arr);
    if (n < a->count) {
        set_place(PlaceKind::Element, arr, n);
        return array_elements(arr)[n];
    }
    if (!g_interp.place_mode) {
        clear_place();
        return kUndefinedValue;
    }
    if (n == a->count && a->count + 1 < a->capacity) {
        array_elements(arr)[a->count++] = kUndefinedValue;
        set_place(PlaceKind::Element, arr, n);
        return kUndefinedValue;
    }
    return array_to_keyed(arr, n, where, obj_guard);
}

Value char_at(Value str, uint32_t n) {
    const char* t = string_text(str);
    uint32_t len = string_length(str), pos = 0;
    // A NUL counts as a character here, where the String methods stop at
    // it: the kept positions serve only a text without one.
    TextPositions p(str);
    if (!g_plain_paths && p.whole()) pos = static_cast<uint32_t>(p.offset(n));
    else
        for (uint32_t i = 0; i < n && pos < len; ++i) pos += utf8_lead_length(static_cast<uint8_t>(t[pos]));
    clear_place();
    if (pos >= len) return kUndefinedValue;
    uint32_t w = utf8_lead_length(static_cast<uint8_t>(t[pos]));
    if (w > len - pos) w = len - pos;
    return make_string(t + pos, w);
}

// An integer index on a hash names the property whose name is its decimal
// text: m[0] reads what m["0"] reads.
Value hash_by_int(Value hash, uint32_t n) {
    char name[16];
    int len = std::snprintf(name, sizeof name, "%u", n);
    return hash_by_symbol(hash, name_symbol(name, static_cast<size_t>(len)));
}

Value index_by_int(Value obj, int32_t n, const Place& where, TempGuard& obj_guard) {
    if (n < 0) raise_runtime(err::index_negative);
    uint32_t u = static_cast<uint32_t>(n);
    switch (obj.kind()) {
    case Kind::Array:
        return index_array(obj, u, where, obj_guard);
    case Kind::KeyedArray:
        return keyed_entry(obj, keyed_find_int(obj, u), Value::int_key(u));
    case Kind::String:
        return char_at(obj, u);
    case Kind::Hash:
        return hash_by_int(obj, u);
    default:
        raise_runtime(err::number_index_bad);
    }
}

}  // namespace

namespace {

// The result of an access into a container that was itself a temporary
// must outlive it; the place inside it dies with it.
Value outlive_temporary_container(Value result, TempGuard& obj) {
    // A temporary container goes with the guard, and so does a held one
    // whose owner let it go while the key was evaluated.
    const uint8_t* h = object_header(obj.get());
    if (!h || (*h & 0xF0) != (obj.held() ? 16 : 0)) return result;
    value_retain(result);
    obj.reset(kUndefinedValue);
    value_unref(result);
    clear_place();
    return result;
}

inline Value outlive_container(Value result, TempGuard& obj) {
    // The frequent case: a container its owner keeps.
    Value o = obj.get();
    if (!obj.held() && is_plain_cell_value(o) && (cell_of(o)->header & 0xF0) != 0) return result;
    return outlive_temporary_container(result, obj);
}

Value index_value(TempGuard& obj, TempGuard& key, const Place& where) {
    Value k = key.get();
    Value o = obj.get();
    if (k.kind() == Kind::String || k.is_symbol()) return index_by_name(o, k);
    if (k.kind() == Kind::Int) return index_by_int(o, int_value(k), where, obj);
    raise_runtime(err::index_kind_bad);
}

}  // namespace

Value h_index(const InstrCell& c) {
    TempGuard obj(evaluate(Value(c.op0)));
    Place where = g_interp.place;
    TempGuard key;
    obj.hold_across(Value(c.op1));
    {
        // The key is an ordinary read even on the left of an assignment.
        PlaceModeGuard read(false);
        key.reset(evaluate(Value(c.op1)));
    }
    Value result = index_value(obj, key, where);
    return outlive_container(result, obj);
}

// ---- members ------------------------------------------------------------------------

namespace {

Value exception_member(Value e, uint32_t name) {
    ErrorView v = error_view(e);
    clear_place();
    if (name == SYM_name) return make_string(v.code, v.code_len);
    if (name == SYM_message) return make_string(v.message, v.message_len);
    raise_runtime(err::member_bad);
}

Value length_of(Value o) {
    clear_place();
    switch (o.kind()) {
    case Kind::String: return make_int(static_cast<int32_t>(string_length(o)));
    case Kind::Array: return make_int(static_cast<int32_t>(array_count(o)));
    case Kind::KeyedArray: return make_int(static_cast<int32_t>(keyed_count(o)));
    case Kind::Hash: return make_int(static_cast<int32_t>(hash_count(o)));
    case Kind::Immediate: return make_int(static_cast<int32_t>(symbol_length(o.payload())));
    default: return kUndefinedValue;
    }
}

}  // namespace

namespace {

Value member_value(Value o, uint32_t name) {
    if (o.kind() == Kind::Exception) return exception_member(o, name);
    if (name == SYM_length) return length_of(o);
    if (o.kind() == Kind::RegExp) {
        if (!g_hooks.regexp_property) raise_runtime(err::regexp_property_bad);
        return g_hooks.regexp_property(o, name);
    }
    if (o.kind() == Kind::Hash) return hash_property(o, name, g_interp.place_mode);
    raise_runtime(err::member_bad);
}

}  // namespace

Value h_member(const InstrCell& c) {
    if (Value(c.op0).is_symbol()) {
        // A variable's value is counted by the variable: it outlives the
        // member read, and no guard is needed.
        Value obj = lookup_variable(Value(c.op0).payload());
        uint32_t name = Value(c.op1).payload();
        if (obj.kind() == Kind::Hash && name != SYM_length) return hash_property(obj, name, g_interp.place_mode);
        return member_value(obj, name);
    }
    TempGuard obj(evaluate(Value(c.op0)));
    Value result = member_value(obj.get(), Value(c.op1).payload());
    return outlive_container(result, obj);
}

void set_last_index_place(Value regexp) { set_place(PlaceKind::LastIndex, regexp, 0); }


uint32_t utf8_char_count(const char* text, uint32_t len) {
    uint32_t n = 0;
    for (uint32_t pos = 0; pos < len; pos += utf8_lead_length(static_cast<uint8_t>(text[pos]))) ++n;
    return n;
}

}  // namespace koru
