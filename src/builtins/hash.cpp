// The methods of a hash used as a key-value map: keys, toString, clear,
// delete, get, has, set, forEach.  A property holding a function of the same
// name is called instead; the interpreter looks for one before it gets here.
#include <cstring>
#include <string>

#include "builtins/containers.h"
#include "builtins/families.h"
#include "builtins/method_table.h"
#include "host/errors.h"
#include "interp/methods.h"
#include "interp/support.h"
#include "interp/variables.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"
#include "runtime/text.h"

namespace koru {

namespace {

// The symbol of a key argument: a string's text, or an identifier.  With
// `enter` a text not yet in the symbol table is entered; otherwise such a
// key cannot be present and the result is -1.
int64_t key_symbol(Value key, bool enter) {
    if (key.is_symbol()) return key.payload();
    if (key.kind() != Kind::String) raise_runtime(err::hash_key_bad);
    std::string_view t = string_view_of(key);
    t = t.substr(0, t.find('\0'));  // a name ends at a NUL, as interning takes it
    if (enter) return intern(t);
    return symbol_lookup(t.data(), t.size());
}

int64_t find_key(Value self, Value key) {
    int64_t sym = key_symbol(key, false);
    return sym < 0 ? -1 : hash_find(self, static_cast<uint32_t>(sym));
}

Value h_keys(Value self, const Value*) {
    uint32_t n = hash_count(self);
    TempGuard out(make_array(0));
    array_reserve(out.get(), n);
    for (uint32_t i = 0; i < n; ++i) array_push(out.get(), make_string(key_text(hash_pairs(self)[i].key)));
    return out.release();
}

Value h_to_string(Value self, const Value*) {
    std::string s;
    write_plain(self, s);
    return make_string(s);
}

Value h_clear(Value self, const Value*) {
    HashCell* h = cell_as<HashCell>(self);
    uint32_t n = h->count;
    h->count = 0;  // the hash is consistent before any value goes
    Pair* p = hash_pairs(self);
    for (uint32_t i = 0; i < n; ++i) {
        Value v = p[i].value;
        p[i] = Pair{};
        value_release(v);
    }
    return kUndefinedValue;
}

Value h_delete(Value self, const Value* a) {
    int64_t i = find_key(self, a[0]);
    if (i < 0) return kFalseValue;
    HashCell* h = cell_as<HashCell>(self);
    Pair* p = hash_pairs(self);
    Value v = p[i].value;
    std::memmove(p + i, p + i + 1, static_cast<size_t>(h->count - i - 1) * sizeof(Pair));
    p[--h->count] = Pair{};
    value_release(v);
    return kTrueValue;
}

Value h_get(Value self, const Value* a) {
    int64_t i = find_key(self, a[0]);
    return i < 0 ? kUndefinedValue : hash_pairs(self)[i].value;
}

Value h_has(Value self, const Value* a) { return Value::boolean(find_key(self, a[0]) >= 0); }

Value h_set(Value self, const Value* a) {
    uint32_t sym = static_cast<uint32_t>(key_symbol(a[0], true));
    int64_t i = hash_find(self, sym);
    uint32_t at = i >= 0 ? static_cast<uint32_t>(i) : hash_append(self, Value::symbol(sym));
    Pair& p = hash_pairs(self)[at];
    Value old = p.value;
    p.value = value_retain(a[1]);
    value_release(old);
    return a[1];
}

// The callback takes (value, key, hash): exactly three plain names.
void check_callback(Value fn) {
    if (fn.kind() != Kind::Function) raise_runtime(err::hash_callback_bad);
    const FunctionCell& f = *cell_as<FunctionCell>(fn);
    if (f.param_count != 3) raise_runtime(err::hash_callback_bad);
    const uint32_t* names = static_cast<const uint32_t*>(area_ptr(f.names));
    constexpr err::Plain kNotAName[3] = {err::hash_callback_value_name, err::hash_callback_key_name,
                                         err::hash_callback_hash_name};
    for (int i = 0; i < 3; ++i)
        if (!Value(names[i]).is_symbol()) raise_runtime(kNotAName[i]);
}

// The callback may change the hash: each round reads the pair afresh and
// stops when the pairs run out.
Value h_for_each(Value self, const Value* a) {
    check_callback(a[0]);
    Hold hold(self);
    Hold hold_fn(a[0]);
    for (uint32_t i = 0; i < hash_count(self); ++i) {
        Pair p = hash_pairs(self)[i];
        TempGuard key(make_string(key_text(p.key)));
        Value args[3] = {p.value, key.get(), self};
        value_drop_temp(call_function_values(a[0], 0, args, 3));
    }
    return kUndefinedValue;
}

using HashFn = Value (*)(Value self, const Value* a);

constexpr MethodRow<HashFn> kRows[] = {
    {"keys", exactly(0), h_keys},       {"toString", exactly(0), h_to_string}, {"clear", exactly(0), h_clear},
    {"delete", exactly(1), h_delete},   {"get", exactly(1), h_get},            {"has", exactly(1), h_has},
    {"set", exactly(2), h_set},         {"forEach", exactly(1), h_for_each},
};
constexpr auto kTable = method_table<8>(kRows, {err::hash_method_unknown, CountErrors{err::hash_too_few, err::hash_too_many}});
// "toString" fills its slot and runs into "clear".
static_assert(text_is(slot_text(kTable), "keys    toStringclear   delete  get     has     set     forEach "));

bool hash_family(Value self, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int m = kTable.slot(name);
    if (m == kNoMethod) return false;
    check_arg_count(kTable[m].rule, n, *kTable.errors.count);
    *result = kTable[m].handler(self, args);
    return true;
}

}  // namespace

void hash_install() { set_method_family(MethodFamily::Hash, hash_family, kTable.errors.unknown); }

MethodListing hash_method_listing() { return listing_of("Hash", kTable); }

}  // namespace koru
