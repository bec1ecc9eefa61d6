// The string-method table: one text of fixed-width name slots searched by
// substring (so a fragment of a name, such as `match`, reaches the first
// slot that contains it), the argument-count rules and the handlers.
#include <array>
#include <string_view>

#include "host/errors.h"
#include "interp/methods.h"
#include "runtime/symbols.h"
#include "strings/string_handlers.h"
#include "strings/strings.h"

namespace koru {

namespace {

constexpr size_t kSlotWidth = 14;
constexpr size_t kSlots = 28;

constexpr std::string_view kNames =
    "charAt        charCodeAt    concat        indexOf       lastIndexOf   "
    "toUpperCase   toLowerCase   substr        substring     split         "
    "slice         replace       replaceAll    includes      localeCompare "
    "padEnd        padStart      repeat        startsWith    trim          "
    "trimStart     trimEnd       endsWith      search        str_match     "
    "str_matchAll  trimLeft      trimRight     ";
static_assert(kNames.size() == kSlotWidth * kSlots);

constexpr std::array<StringMethod, kSlots> kHandlers = {
    str_char_at,     str_char_code_at, str_concat,     str_index_of,       str_last_index_of,
    str_to_upper_case, str_to_lower_case, str_substr,  str_substring,      str_split,
    str_slice,       str_replace,      str_replace_all, str_includes,      str_locale_compare,
    str_pad_end,     str_pad_start,    str_repeat,     str_starts_with,    str_trim,
    str_trim_start,  str_trim_end,     str_ends_with,  str_search,         str_match,
    str_match_all,   str_trim_start,   str_trim_end,
};

// Argument counts: a value below 10 is the exact count; a character '0'..'9'
// is a minimum, with the maximum beside it ('0'..'9', or ' ' for none).
constexpr std::array<uint8_t, kSlots> kArgRule = {
    '0', '0', '0', '1', '1', 0,   0,   '1', '1', '0', '1', 2,   2, '1',
    '0', '1', '1', 1,   '1', 0,   0,   0,   '1', 1,   '0', 1,   0, 0,
};
constexpr std::array<uint8_t, kSlots> kArgMax = {
    '1', '1', ' ', '2', '2', ' ', ' ', '2', '2', '2', '2', ' ', ' ', '2',
    ' ', '2', '2', ' ', '2', ' ', ' ', ' ', '2', ' ', '1', ' ', ' ', ' ',
};

// The slot of a method name, or -1.
int find_slot(std::string_view name) {
    if (name.empty()) return -1;
    size_t at = kNames.find(name);
    return at == std::string_view::npos ? -1 : static_cast<int>(at / kSlotWidth);
}

void check_arg_count(int slot, uint32_t n) {
    uint8_t rule = kArgRule[slot];
    if (rule < 10) {
        if (n != rule) raise_runtime(err::string_too_few);
        return;
    }
    if (n < static_cast<uint32_t>(rule - '0')) raise_runtime(err::string_too_few);
    uint8_t max = kArgMax[slot];
    if (max != ' ' && n > static_cast<uint32_t>(max - '0')) raise_runtime(err::string_too_many);
}

bool string_family(Value self, uint32_t name, const Value* args, uint32_t n, Value* result) {
    int slot = find_slot(symbol_name(name));
    if (slot < 0) return false;
    check_arg_count(slot, n);
    *result = kHandlers[slot](self, Args{args, n});
    return true;
}

}  // namespace

void install_string_methods() { set_method_family(MethodFamily::String, string_family); }

}  // namespace koru
