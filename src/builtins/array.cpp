// The Array family: the method table shared by arrays and keyed arrays, its
// dispatch, and the methods that read or grow the ends of an array.
#include <cstring>
#include <string>

#include "builtins/array_methods.h"
#include "builtins/containers.h"
#include "builtins/families.h"
#include "builtins/method_table.h"
#include "interp/methods.h"
#include "interp/support.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/text.h"

namespace koru {

namespace {

// An array method and its keyed-array form (null where keyed arrays lack
// the method).
struct ArrayHandlers {
    ArrayMethod array;
    ArrayMethod keyed;
};

constexpr MethodRow<ArrayHandlers> kRows[] = {
    {"concat", at_least(1), {array_concat, keyed_concat}},
    {"keys", exactly(0), {array_keys, keyed_keys}},
    {"reverse", exactly(0), {array_reverse, nullptr}},
    {"indexOf", between(1, 2), {array_index_of, keyed_index_of}},
    {"lastIndexOf", between(1, 2), {array_last_index_of, keyed_last_index_of}},
    {"join", between(0, 1), {array_join, keyed_join}},
    {"pop", exactly(0), {array_pop, keyed_pop}},
    {"push", at_least(1), {array_push_method, keyed_push}},
    {"slice", between(0, 2), {array_slice, nullptr}},
    {"toString", exactly(0), {array_to_string, array_to_string}},
    {"shift", exactly(0), {array_shift, keyed_shift}},
    {"unshift", at_least(1), {array_unshift, keyed_unshift}},
    {"copyWithin", between(1, 3), {array_copy_within, nullptr}},
    {"fill", between(1, 3), {array_fill, nullptr}},
    {"includes", between(1, 2), {array_includes, nullptr}},
    {"sort", between(0, 1), {array_sort, nullptr}},
    {"splice", at_least(1), {array_splice, nullptr}},
};
// The errors of array receivers; keyed arrays have their own (kKeyed).
constexpr auto kTable = method_table<12>(kRows, {err::array_method_unknown, CountErrors{err::array_too_few, err::array_too_many}});
static_assert(text_is(slot_text(kTable),
                      "concat      keys        reverse     indexOf     lastIndexOf join        pop         push        "
                      "slice       toString    shift       unshift     copyWithin  fill        includes    sort        "
                      "splice      "));

// A keyed array: a name of the table that has no keyed-array form raises
// `missing` rather than the method-name error.
struct KeyedErrors {
    FamilyErrors family;
    err::Plain missing;
};
constexpr KeyedErrors kKeyed = {{err::keyed_method_unknown, CountErrors{err::keyed_too_few, err::keyed_too_many}},
                                err::keyed_method_missing};

bool array_family(Value self, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int m = kTable.slot(name);
    if (m == kNoMethod) return false;
    check_arg_count(kTable[m].rule, n, *kTable.errors.count);
    *result = kTable[m].handler.array(self, args, n);
    return true;
}

bool keyed_family(Value self, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int m = kTable.slot(name);
    if (m == kNoMethod) return false;
    ArrayMethod h = kTable[m].handler.keyed;
    if (!h) raise_runtime(kKeyed.missing);
    check_arg_count(kTable[m].rule, n, *kKeyed.family.count);
    *result = h(self, args, n);
    return true;
}

Value element_at(const void* ctx, uint32_t i) { return array_elements(*static_cast<const Value*>(ctx))[i]; }

// The starting point of a forward search: 0, or the normalised `from`.
uint32_t search_start(const Value* args, uint32_t n, uint32_t count) {
    return n > 1 ? normalise_position(int_arg(args[1], err::array_position_not_int), count) : 0;
}

int64_t find_forward(Value self, Value wanted, uint32_t from) {
    const Value* e = array_elements(self);
    for (uint32_t i = from, count = array_count(self); i < count; ++i)
        if (search_matches(e[i], wanted)) return i;
    return -1;
}

}  // namespace

void concat_into(Value out, Value source) {
    if (source.kind() == Kind::Array) {
        uint32_t n = array_count(source);
        array_reserve(out, array_count(out) + n);
        for (uint32_t i = 0; i < n; ++i) array_push(out, array_elements(source)[i]);
    } else if (source.kind() == Kind::KeyedArray) {
        uint32_t n = keyed_count(source);
        array_reserve(out, array_count(out) + n);
        for (uint32_t i = 0; i < n; ++i) array_push(out, keyed_pairs(source)[i].value);
    } else {
        raise_runtime(err::array_concat_argument);
    }
}

Value array_concat(Value self, const Value* args, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (args[i].kind() != Kind::Array && args[i].kind() != Kind::KeyedArray)
            raise_runtime(err::array_concat_argument);
    TempGuard out(make_array(0));
    concat_into(out.get(), self);
    for (uint32_t i = 0; i < n; ++i) concat_into(out.get(), args[i]);
    return out.release();
}

// [0, 1, ..., count - 1]
Value positions_array(uint32_t count) {
    TempGuard out(make_array(0));
    array_reserve(out.get(), count);
    for (uint32_t i = 0; i < count; ++i) array_push(out.get(), make_int(static_cast<int32_t>(i)));
    return out.release();
}

Value array_keys(Value self, const Value*, uint32_t) { return positions_array(array_count(self)); }

Value array_reverse(Value self, const Value*, uint32_t) {
    Value* e = array_elements(self);
    uint32_t n = array_count(self);
    for (uint32_t i = 0; i < n / 2; ++i) std::swap(e[i], e[n - 1 - i]);
    return self;
}

Value array_index_of(Value self, const Value* args, uint32_t n) {
    if (!searchable(args[0])) raise_runtime(err::index_of_argument);
    uint32_t from = search_start(args, n, array_count(self));
    return make_int(static_cast<int32_t>(find_forward(self, args[0], from)));
}

Value array_last_index_of(Value self, const Value* args, uint32_t n) {
    if (!searchable(args[0])) raise_runtime(err::last_index_of_argument);
    uint32_t count = array_count(self);
    uint32_t from = n > 1 ? normalise_position(int_arg(args[1], err::array_position_not_int), count) : count;
    if (from >= count) from = count;  // scan from the last element
    else ++from;                      // `from` itself is still looked at
    const Value* e = array_elements(self);
    for (uint32_t i = from; i > 0; --i)
        if (search_matches(e[i - 1], args[0])) return make_int(static_cast<int32_t>(i - 1));
    return make_int(-1);
}

Value array_includes(Value self, const Value* args, uint32_t n) {
    uint32_t from = search_start(args, n, array_count(self));
    return Value::boolean(searchable(args[0]) && find_forward(self, args[0], from) >= 0);
}

Value array_join(Value self, const Value* args, uint32_t n) {
    return join_values(array_count(self), element_at, &self, n ? &args[0] : nullptr);
}

// Arrays and keyed arrays alike: the plain form, elements in quoted form.
Value array_to_string(Value self, const Value*, uint32_t) {
    std::string s;
    write_plain(self, s);
    return make_string(s);
}

// The removed element leaves the array's ownership without being destroyed:
// the caller gets it as a temporary unless someone else still holds it.
Value array_pop(Value self, const Value*, uint32_t) {
    ArrayCell* a = cell_as<ArrayCell>(self);
    if (a->count == 0) return kUndefinedValue;
    Value v = array_elements(self)[--a->count];
    array_elements(self)[a->count] = kUndefinedValue;
    value_unref(v);
    return v;
}

Value array_push_method(Value self, const Value* args, uint32_t n) {
    array_reserve(self, array_count(self) + n);
    for (uint32_t i = 0; i < n; ++i) array_push(self, args[i]);
    return make_int(static_cast<int32_t>(array_count(self)));
}

Value array_shift(Value self, const Value*, uint32_t) {
    ArrayCell* a = cell_as<ArrayCell>(self);
    if (a->count == 0) return kUndefinedValue;
    Value* e = array_elements(self);
    Value v = e[0];
    std::memmove(e, e + 1, static_cast<size_t>(a->count - 1) * sizeof(Value));
    e[--a->count] = kUndefinedValue;
    value_unref(v);
    return v;
}

Value array_unshift(Value self, const Value* args, uint32_t n) {
    uint32_t count = array_count(self);
    array_reserve(self, count + n);
    Value* e = array_elements(self);
    std::memmove(e + n, e, static_cast<size_t>(count) * sizeof(Value));
    for (uint32_t i = 0; i < n; ++i) e[i] = value_retain(args[i]);
    cell_as<ArrayCell>(self)->count = count + n;
    return make_int(static_cast<int32_t>(count + n));
}

void array_install() {
    set_method_family(MethodFamily::Array, array_family, kTable.errors.unknown);
    set_method_family(MethodFamily::KeyedArray, keyed_family, kKeyed.family.unknown);
}

MethodListing array_method_listing() { return listing_of("Array", kTable); }

}  // namespace koru
