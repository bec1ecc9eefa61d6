// The string-method table: one row per method, its name, argument-count
// rule and handler.
#include <string_view>

#include "builtins/method_table.h"
#include "host/errors.h"
#include "interp/methods.h"
#include "runtime/symbols.h"
#include "strings/string_handlers.h"
#include "strings/strings.h"

namespace koru {

namespace {

// `match` and `matchAll` are the names scripts call; the slots keep the
// names str_match and str_matchAll, which reach the same methods.
constexpr MethodRow<StringMethod> kRows[] = {
    {"charAt", between(0, 1), str_char_at},
    {"charCodeAt", between(0, 1), str_char_code_at},
    {"concat", at_least(0), str_concat},
    {"indexOf", between(1, 2), str_index_of},
    {"lastIndexOf", between(1, 2), str_last_index_of},
    {"toUpperCase", exactly(0), str_to_upper_case},
    {"toLowerCase", exactly(0), str_to_lower_case},
    {"substr", between(1, 2), str_substr},
    {"substring", between(1, 2), str_substring},
    {"split", between(0, 2), str_split},
    {"slice", between(1, 2), str_slice},
    {"replace", exactly(2), str_replace},
    {"replaceAll", exactly(2), str_replace_all},
    {"includes", between(1, 2), str_includes},
    {"localeCompare", at_least(0), str_locale_compare},
    {"padEnd", between(1, 2), str_pad_end},
    {"padStart", between(1, 2), str_pad_start},
    {"repeat", exactly(1), str_repeat},
    {"startsWith", between(1, 2), str_starts_with},
    {"trim", exactly(0), str_trim},
    {"trimStart", exactly(0), str_trim_start},
    {"trimEnd", exactly(0), str_trim_end},
    {"endsWith", between(1, 2), str_ends_with},
    {"search", exactly(1), str_search},
    {"str_match", between(0, 1), str_match, "match"},
    {"str_matchAll", exactly(1), str_match_all, "matchAll"},
    {"trimLeft", exactly(0), str_trim_start},
    {"trimRight", exactly(0), str_trim_end},
};
constexpr auto kTable = method_table<14>(kRows, {err::string_method_unknown, CountErrors{err::string_too_few, err::string_too_many}});
static_assert(text_is(slot_text(kTable),
                      "charAt        charCodeAt    concat        indexOf       lastIndexOf   "
                      "toUpperCase   toLowerCase   substr        substring     split         "
                      "slice         replace       replaceAll    includes      localeCompare "
                      "padEnd        padStart      repeat        startsWith    trim          "
                      "trimStart     trimEnd       endsWith      search        str_match     "
                      "str_matchAll  trimLeft      trimRight     "));

bool string_family(Value self, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int slot = kTable.slot(name);
    if (slot == kNoMethod) return false;
    check_arg_count(kTable[slot].rule, n, *kTable.errors.count);
    *result = kTable[slot].handler(self, Args{args, n});
    return true;
}

}  // namespace

void install_string_methods() { set_method_family(MethodFamily::String, string_family, kTable.errors.unknown); }

MethodListing string_method_listing() { return listing_of("String", kTable); }

}  // namespace koru
