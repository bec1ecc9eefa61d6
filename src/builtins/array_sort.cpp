// Array sort: by the elements' texts, or by a script compare function.
//
// A compare function may raise an error or throw, and may even change the
// array it is sorting.  The sort therefore works on a retained snapshot of
// the elements and puts the result back only once it is complete: whatever
// happens inside the comparator, the array never loses or duplicates an
// element.
#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "builtins/array_methods.h"
#include "builtins/containers.h"
#include "host/errors.h"
#include "interp/methods.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/text.h"

namespace koru {

namespace {

// The elements, each retained while the sort runs.  The sort itself works
// on copies of the words, so an unwind in the middle of a merge leaves the
// snapshot (and the array) as they were.
class Snapshot {
public:
    explicit Snapshot(Value array) : items_(array_elements(array), array_elements(array) + array_count(array)) {
        for (Value v : items_) value_retain(v);
    }
    ~Snapshot() {
        for (Value v : items_) value_release(v);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    const std::vector<Value>& items() const { return items_; }

    // The array takes the sorted elements, a permutation of the snapshot;
    // what it held until now is let go.
    static void commit(Value array, const std::vector<Value>& sorted) {
        array_reserve(array, static_cast<uint32_t>(sorted.size()));
        std::vector<Value> old(array_elements(array), array_elements(array) + array_count(array));
        Value* e = array_elements(array);
        for (size_t i = 0; i < sorted.size(); ++i) e[i] = value_retain(sorted[i]);
        cell_as<ArrayCell>(array)->count = static_cast<uint32_t>(sorted.size());
        for (Value v : old) value_release(v);
    }

private:
    std::vector<Value> items_;
};

Value sort_by_text(Value self) {
    uint32_t n = array_count(self);
    if (n < 2) return self;
    std::vector<std::string> texts(n);
    const Value* e = array_elements(self);
    for (uint32_t i = 0; i < n; ++i) write_display(e[i], texts[i], false);
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return texts[a] < texts[b]; });
    std::vector<Value> sorted(n);
    for (uint32_t i = 0; i < n; ++i) sorted[i] = e[order[i]];
    std::memcpy(array_elements(self), sorted.data(), n * sizeof(Value));
    return self;
}

// compare(a, b) in a fresh frame: an Int by its value, a Double by its sign
// (NaN counts as negative), anything else as equal.  A function that ends
// without a value raises 2540.
int compare_by(Value fn, Value a, Value b) {
    Value args[2] = {a, b};
    int32_t number;
    bool is_number;
    Value r = call_function_number(fn, args, 2, number, is_number);
    if (is_number) return number < 0 ? -1 : number > 0;
    int result = 0;
    switch (r.kind()) {
    case Kind::Int: {
        int32_t i = int_value(r);
        result = i < 0 ? -1 : i > 0;
        break;
    }
    case Kind::Double: {
        double d = double_value(r);
        result = d > 0 ? 1 : (d == 0 ? 0 : -1);
        break;
    }
    default:
        if (r.is_undefined()) raise_runtime(err::sort_compare_result);
        break;
    }
    value_drop_temp(r);
    return result;
}

// A stable merge sort, bottom-up, between the items and a scratch vector.
void merge_sort(std::vector<Value>& items, Value fn) {
    size_t n = items.size();
    std::vector<Value> scratch(n);
    std::vector<Value>* from = &items;
    std::vector<Value>* to = &scratch;
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) (*to)[k++] = compare_by(fn, (*from)[i], (*from)[j]) > 0 ? (*from)[j++] : (*from)[i++];
            while (i < mid) (*to)[k++] = (*from)[i++];
            while (j < hi) (*to)[k++] = (*from)[j++];
        }
        std::swap(from, to);
    }
    if (from != &items) items.swap(*from);
}

Value sort_by_function(Value self, Value fn) {
    if (fn.kind() != Kind::Function) raise_runtime(err::sort_compare_not_function);
    if (cell_as<FunctionCell>(fn)->param_count != 2) raise_runtime(err::sort_compare_params);
    Hold hold(self);
    Hold hold_fn(fn);
    Snapshot snap(self);
    std::vector<Value> work = snap.items();
    merge_sort(work, fn);
    Snapshot::commit(self, work);
    return self;
}

}  // namespace

Value array_sort(Value self, const Value* args, uint32_t n) {
    return n == 0 ? sort_by_text(self) : sort_by_function(self, args[0]);
}

}  // namespace koru
