// The Array methods that work on a range of positions: slice, fill,
// copyWithin and splice.
#include <algorithm>
#include <cstring>
#include <vector>

#include "builtins/array_methods.h"
#include "builtins/containers.h"
#include "host/errors.h"
#include "interp/support.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"

namespace koru {

namespace {

struct Range {
    uint32_t begin;
    uint32_t end;  // never below begin
};

// [start, end) from the arguments at `first` and `first + 1`, with the
// defaults 0 and n.
Range range_args(const Value* args, uint32_t n, uint32_t first, uint32_t count) {
    Range r{0, count};
    if (n > first) r.begin = normalise_position(int_arg(args[first], err::array_position_not_int), count);
    if (n > first + 1) r.end = normalise_position(int_arg(args[first + 1], err::array_position_not_int), count);
    if (r.end < r.begin) r.end = r.begin;
    return r;
}

// Retained one-level copies of the elements in the range.
std::vector<Value> copy_range(Value self, Range r) {
    std::vector<Value> out;
    out.reserve(r.end - r.begin);
    const Value* e = array_elements(self);
    for (uint32_t i = r.begin; i < r.end; ++i) out.push_back(value_retain(copy_one_level(e[i])));
    return out;
}

// Puts v (already retained) into position i and lets go of the old element.
void replace_element(Value self, uint32_t i, Value v) {
    Value old = array_elements(self)[i];
    array_elements(self)[i] = v;
    value_release(old);
}

}  // namespace

Value array_slice(Value self, const Value* args, uint32_t n) {
    Range r = range_args(args, n, 0, array_count(self));
    TempGuard out(make_array(0));
    array_reserve(out.get(), r.end - r.begin);
    for (uint32_t i = r.begin; i < r.end; ++i) {
        // Read the element afresh: making the copy cannot move the vector,
        // but the index is the only thing kept across calls.
        array_push(out.get(), copy_one_level(array_elements(self)[i]));
    }
    return out.release();
}

Value array_fill(Value self, const Value* args, uint32_t n) {
    Range r = range_args(args, n, 1, array_count(self));
    for (uint32_t i = r.begin; i < r.end; ++i) replace_element(self, i, value_retain(args[0]));
    return self;
}

Value array_copy_within(Value self, const Value* args, uint32_t n) {
    uint32_t count = array_count(self);
    uint32_t target = normalise_position(int_arg(args[0], err::array_position_not_int), count);
    Range r = range_args(args, n, 1, count);
    std::vector<Value> copies = copy_range(self, r);
    size_t k = 0;
    for (; k < copies.size() && target + k < count; ++k) replace_element(self, static_cast<uint32_t>(target + k), copies[k]);
    for (; k < copies.size(); ++k) value_release(copies[k]);  // would land past the end
    return self;
}

namespace {

// splice(start): everything from start on moves into the result.
Value splice_tail(Value self, uint32_t start) {
    uint32_t count = array_count(self);
    Value out = make_array(count - start);
    std::memcpy(array_elements(out), array_elements(self) + start, static_cast<size_t>(count - start) * sizeof(Value));
    std::fill(array_elements(self) + start, array_elements(self) + count, kUndefinedValue);
    cell_as<ArrayCell>(self)->count = start;
    return out;
}

}  // namespace

Value array_splice(Value self, const Value* args, uint32_t n) {
    uint32_t count = array_count(self);
    uint32_t start = normalise_position(int_arg(args[0], err::array_position_not_int), count);
    if (n == 1) return splice_tail(self, start);
    int32_t asked = int_arg(args[1], err::splice_count_not_int);
    uint32_t available = count - start;
    uint32_t del = asked <= 0 ? 0 : (static_cast<uint32_t>(asked) > available ? available : static_cast<uint32_t>(asked));
    uint32_t items = n - 2;
    if (items == 0 && del == 0) raise_runtime(err::splice_nothing);
    std::vector<Value> removed(array_elements(self) + start, array_elements(self) + start + del);
    array_reserve(self, count - del + items);
    Value* e = array_elements(self);
    std::memmove(e + start + items, e + start + del, static_cast<size_t>(count - start - del) * sizeof(Value));
    for (uint32_t i = 0; i < items; ++i) e[start + i] = value_retain(args[2 + i]);
    uint32_t now = count - del + items;
    for (uint32_t i = now; i < count; ++i) e[i] = kUndefinedValue;
    cell_as<ArrayCell>(self)->count = now;
    for (Value v : removed) value_release(v);
    return kUndefinedValue;
}

}  // namespace koru
