// indexOf, lastIndexOf, includes, startsWith and endsWith.  Positions are
// character indexes; the comparisons are byte comparisons.
#include <algorithm>

#include "host/errors.h"
#include "strings/string_handlers.h"
#include "strings/utf8_chars.h"

namespace koru {

namespace {

int64_t length_of(std::string_view s) { return static_cast<int64_t>(char_count(s)); }

// A position argument for includes/startsWith/endsWith: a number, negative
// counts as 0, clamped to the length.
int64_t clamped_position(Value v, int64_t total) { return std::clamp<int64_t>(number_value(v), 0, total); }

}  // namespace

Value str_index_of(Value self, const Args& args) {
    std::string search = plain_text(args.at(0));
    if (args.has(1) && !is_int(args.at(1))) raise_runtime(err::index_of_position);
    std::string_view s = counted_text(text_of(self));
    int64_t from = std::clamp<int64_t>(int_or(args.at(1), 0), 0, length_of(s));
    if (search.empty()) return make_int(static_cast<int32_t>(from));
    size_t at = s.find(search, char_offset(s, static_cast<size_t>(from)));
    if (at == std::string_view::npos) return make_int(-1);
    return make_int(static_cast<int32_t>(char_index(s, at)));
}

Value str_last_index_of(Value self, const Args& args) {
    std::string search = plain_text(args.at(0));
    if (args.has(1) && !is_int(args.at(1))) raise_runtime(err::last_index_of_position);
    std::string_view s = counted_text(text_of(self));
    int64_t total = length_of(s);
    int64_t from = args.has(1) ? std::clamp<int64_t>(int_value(args.at(1)), 0, total) : total;
    if (search.empty()) return make_int(static_cast<int32_t>(from));
    size_t limit = char_offset(s, static_cast<size_t>(from));
    int64_t found = -1;
    for (size_t at = s.find(search); at != std::string_view::npos && at <= limit; at = s.find(search, at + search.size()))
        found = static_cast<int64_t>(at);
    if (found < 0) return make_int(-1);
    return make_int(static_cast<int32_t>(char_index(s, static_cast<size_t>(found))));
}

Value str_includes(Value self, const Args& args) {
    if (!is_string(args.at(0))) raise_runtime(err::includes_not_text);
    if (args.has(1) && !is_number(args.at(1))) raise_runtime(err::includes_position);
    std::string_view s = counted_text(text_of(self));
    std::string_view search = text_of(args.at(0));
    if (search.empty()) return kTrueValue;
    int64_t pos = clamped_position(args.at(1), length_of(s));
    return Value::boolean(s.find(search, char_offset(s, static_cast<size_t>(pos))) != std::string_view::npos);
}

Value str_starts_with(Value self, const Args& args) {
    if (!is_string(args.at(0))) raise_runtime(err::starts_with_not_text);
    if (args.has(1) && !is_number(args.at(1))) raise_runtime(err::starts_with_position);
    std::string_view s = counted_text(text_of(self));
    std::string_view search = text_of(args.at(0));
    if (search.empty()) return kTrueValue;
    int64_t pos = clamped_position(args.at(1), length_of(s));
    return Value::boolean(s.substr(char_offset(s, static_cast<size_t>(pos))).starts_with(search));
}

Value str_ends_with(Value self, const Args& args) {
    if (!is_string(args.at(0))) raise_runtime(err::ends_with_not_text);
    std::string_view s = counted_text(text_of(self));
    std::string_view search = text_of(args.at(0));
    if (search.empty()) return kTrueValue;
    int64_t total = length_of(s);
    // A missing end, or one that is not a number, means the whole receiver.
    int64_t end = is_number(args.at(1)) ? clamped_position(args.at(1), total) : total;
    return Value::boolean(s.substr(0, char_offset(s, static_cast<size_t>(end))).ends_with(search));
}

}  // namespace koru
