#include "builtins/containers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/errors.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"

namespace koru {

namespace {

constexpr uint32_t kLargeArray = 1024;
constexpr uint32_t kMaxElements = 0x3FFFFFF0;  // 4-byte elements, under 4 GiB

Value copy_pairs_of(Value v, Kind kind, const Pair* pairs, uint32_t count) {
    Value out = kind == Kind::Hash ? make_hash(count, cell_as<HashCell>(v)->class_symbol) : make_keyed_array(count);
    Pair* dst = kind == Kind::Hash ? hash_pairs(out) : keyed_pairs(out);
    for (uint32_t i = 0; i < count; ++i) dst[i] = Pair{pairs[i].key, value_retain(pairs[i].value)};
    return out;
}

double number_of_value(Value v) {
    return v.kind() == Kind::Int ? int_value(v) : double_value(v);
}

}  // namespace

// A grown array records the capacity need + 10, which is what the rest of
// the system sees (an index append past it makes a keyed array).  A large
// array's block gets room beyond that, unrecorded, so that a long run of
// pushes grows the record in place instead of copying the whole vector
// each time.
void array_reserve(Value array, uint32_t need) {
    ArrayCell* a = cell_as<ArrayCell>(array);
    if (need <= a->capacity) return;
    if (need > kMaxElements) raise_runtime(err::out_of_memory);
    uint32_t cap = need + 10;
    size_t bytes = static_cast<size_t>(cap) * 4;
    Value* elements = area_as<Value>(a->elements);
    if (bytes <= area_block_size(a->elements)) {
        std::fill(elements + a->count, elements + cap, kUndefinedValue);
        a->capacity = cap;
        return;
    }
    if (need >= kLargeArray) bytes += static_cast<size_t>(std::min(need / 2, kMaxElements - need)) * 4;
    AreaBlock b = area_alloc(bytes);
    std::memset(b.ptr, 0, bytes);
    std::memcpy(b.ptr, elements, static_cast<size_t>(a->count) * 4);
    area_free(a->elements);
    a->elements = b.addr;
    a->capacity = cap;
}

Value copy_one_level(Value v) {
    switch (v.kind()) {
    case Kind::Array: {
        uint32_t n = array_count(v);
        Value out = make_array(n);
        const Value* src = array_elements(v);
        Value* dst = array_elements(out);
        for (uint32_t i = 0; i < n; ++i) dst[i] = value_retain(src[i]);
        return out;
    }
    case Kind::KeyedArray: return copy_pairs_of(v, Kind::KeyedArray, keyed_pairs(v), keyed_count(v));
    case Kind::Hash: return copy_pairs_of(v, Kind::Hash, hash_pairs(v), hash_count(v));
    default: return v;
    }
}

int32_t int_arg(Value v, err::Plain not_int) {
    if (v.kind() != Kind::Int) raise_runtime(not_int);
    return int_value(v);
}

uint32_t normalise_position(int32_t p, uint32_t n) {
    if (p < 0) {
        int64_t q = static_cast<int64_t>(n) + p;
        return q < 0 ? 0 : static_cast<uint32_t>(q);
    }
    return static_cast<uint32_t>(p) >= n ? n : static_cast<uint32_t>(p);
}

bool search_matches(Value element, Value wanted) {
    Kind ek = element.kind(), wk = wanted.kind();
    if (wk == Kind::String) {
        return ek == Kind::String && string_view_of(element) == string_view_of(wanted);
    }
    bool e_num = ek == Kind::Int || ek == Kind::Double;
    if (!e_num || (wk != Kind::Int && wk != Kind::Double)) return false;
    if (ek == Kind::Int && wk == Kind::Int) return int_value(element) == int_value(wanted);
    return number_of_value(element) == number_of_value(wanted);  // false for NaN
}

Value key_value(Value key) {
    if (is_int_key(key)) return make_int(static_cast<int32_t>(key.low24()));
    return make_string(symbol_name(key.low24()));
}

std::string key_text(Value key) {
    if (is_int_key(key)) return std::to_string(key.low24());
    return symbol_name(key.low24());
}

}  // namespace koru
