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

constexpr std::string_view kObjectNames = "keys                                ";
constexpr unsigned kNameWidth = 14;
static_assert(kObjectNames.size() == 36);
constexpr ArgRule kKeysRule = exactly(1);

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

bool object_family(Value, uint32_t name, const Value* args, uint32_t n, Value* result) {
    if (method_slot(kObjectNames, kNameWidth, name) != 0) return false;
    check_arg_count(kKeysRule, n, {2105, 2110});
    *result = object_keys(args[0]);
    return true;
}

}  // namespace

void object_install() { set_method_family(MethodFamily::Object, object_family); }

}  // namespace koru
