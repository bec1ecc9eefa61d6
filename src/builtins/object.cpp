// Object.keys(x): the positions of an array, the keys of a keyed array
// (integer keys as Ints), the key names of a hash.
#include "builtins/array_methods.h"
#include "builtins/containers.h"
#include "builtins/families.h"
#include "builtins/method_table.h"
#include "host/errors.h"
#include "interp/methods.h"
#include "interp/support.h"
#include "runtime/objects.h"

namespace koru {

namespace {

Value pair_keys(const Pair* pairs, uint32_t n, bool names_only) {
    TempGuard out(make_array(0));
    array_reserve(out.get(), n);
    for (uint32_t i = 0; i < n; ++i)
        array_push(out.get(), names_only ? make_string(key_text(pairs[i].key)) : key_value(pairs[i].key));
    return out.release();
}

Value object_keys(Value x) {
    switch (x.kind()) {
    case Kind::Array: return positions_array(array_count(x));
    case Kind::KeyedArray: return pair_keys(keyed_pairs(x), keyed_count(x), false);
    case Kind::Hash: return pair_keys(hash_pairs(x), hash_count(x), true);
    default: raise_runtime(err::object_keys_argument);
    }
}

using ObjectFn = Value (*)(Value x);

// One method, in the first slot of 14 of a text of 36 bytes.
constexpr MethodRow<ObjectFn> kRows[] = {
    {"keys", exactly(1), object_keys},
};
constexpr auto kTable = method_table<14>(kRows, {err::object_method_unknown, CountErrors{err::object_keys_too_few, err::object_keys_too_many}});
static_assert(text_is(slot_text<36>(kTable), "keys                                "));

bool object_family(Value, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int m = kTable.slot(name);
    if (m == kNoMethod) return false;
    check_arg_count(kTable[m].rule, n, *kTable.errors.count);
    *result = kTable[m].handler(args[0]);
    return true;
}

}  // namespace

void object_install() { set_method_family(MethodFamily::Object, object_family, kTable.errors.unknown); }

MethodListing object_method_listing() { return listing_of("Object", kTable); }

}  // namespace koru
