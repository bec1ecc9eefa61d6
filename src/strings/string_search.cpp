// indexOf, lastIndexOf, includes, startsWith and endsWith.  Positions are
// character indexes; the comparisons are byte comparisons.
#include <algorithm>
#include <vector>

#include "host/errors.h"
#include "interp/state.h"
#include "strings/string_handlers.h"
#include "strings/text_index.h"

namespace koru {

namespace {

// A position argument for includes/startsWith/endsWith: a number, negative
// counts as 0, clamped to the length.
int64_t clamped_position(Value v, int64_t total) { return std::clamp<int64_t>(number_value(v), 0, total); }

// Whether a proper prefix of the text is also its suffix, in which case two
// of its occurrences can overlap.
bool has_border(std::string_view t) {
    std::vector<size_t> fail(t.size(), 0);
    for (size_t i = 1, k = 0; i < t.size(); ++i) {
        while (k > 0 && t[i] != t[k]) k = fail[k - 1];
        if (t[i] == t[k]) ++k;
        fail[i] = k;
    }
    return !t.empty() && fail.back() > 0;
}

// The last of the occurrences found one after another from the start (each
// search resuming after the previous match) that starts at or before
// `limit`, or npos.  When occurrences cannot overlap, those are all the
// occurrences, and the last one is found from the end.
size_t last_occurrence(std::string_view s, std::string_view search, size_t limit) {
    if (!g_plain_paths && !has_border(search)) return s.rfind(search, limit);
    size_t found = std::string_view::npos;
    for (size_t at = s.find(search); at != std::string_view::npos && at <= limit; at = s.find(search, at + search.size()))
        found = at;
    return found;
}

}  // namespace

Value str_index_of(Value self, const Args& args) {
    std::string search = plain_text(args.at(0));
    if (args.has(1) && !is_int(args.at(1))) raise_runtime(err::index_of_position);
    TextPositions p(self);
    int64_t from = std::clamp<int64_t>(int_or(args.at(1), 0), 0, static_cast<int64_t>(p.chars()));
    if (search.empty()) return make_int(static_cast<int32_t>(from));
    size_t at = p.text().find(search, p.offset(static_cast<size_t>(from)));
    if (at == std::string_view::npos) return make_int(-1);
    return make_int(static_cast<int32_t>(p.index(at)));
}

Value str_last_index_of(Value self, const Args& args) {
    std::string search = plain_text(args.at(0));
    if (args.has(1) && !is_int(args.at(1))) raise_runtime(err::last_index_of_position);
    TextPositions p(self);
    auto total = static_cast<int64_t>(p.chars());
    int64_t from = args.has(1) ? std::clamp<int64_t>(int_value(args.at(1)), 0, total) : total;
    if (search.empty()) return make_int(static_cast<int32_t>(from));
    size_t found = last_occurrence(p.text(), search, p.offset(static_cast<size_t>(from)));
    if (found == std::string_view::npos) return make_int(-1);
    return make_int(static_cast<int32_t>(p.index(found)));
}

Value str_includes(Value self, const Args& args) {
    if (!is_string(args.at(0))) raise_runtime(err::includes_not_text);
    if (args.has(1) && !is_number(args.at(1))) raise_runtime(err::includes_position);
    std::string_view search = text_of(args.at(0));
    if (search.empty()) return kTrueValue;
    TextPositions p(self);
    int64_t pos = clamped_position(args.at(1), static_cast<int64_t>(p.chars()));
    return Value::boolean(p.text().find(search, p.offset(static_cast<size_t>(pos))) != std::string_view::npos);
}

Value str_starts_with(Value self, const Args& args) {
    if (!is_string(args.at(0))) raise_runtime(err::starts_with_not_text);
    if (args.has(1) && !is_number(args.at(1))) raise_runtime(err::starts_with_position);
    std::string_view search = text_of(args.at(0));
    if (search.empty()) return kTrueValue;
    TextPositions p(self);
    int64_t pos = clamped_position(args.at(1), static_cast<int64_t>(p.chars()));
    return Value::boolean(p.text().substr(p.offset(static_cast<size_t>(pos))).starts_with(search));
}

Value str_ends_with(Value self, const Args& args) {
    if (!is_string(args.at(0))) raise_runtime(err::ends_with_not_text);
    std::string_view search = text_of(args.at(0));
    if (search.empty()) return kTrueValue;
    TextPositions p(self);
    auto total = static_cast<int64_t>(p.chars());
    // A missing end, or one that is not a number, means the whole receiver.
    int64_t end = is_number(args.at(1)) ? clamped_position(args.at(1), total) : total;
    return Value::boolean(p.text().substr(0, p.offset(static_cast<size_t>(end))).ends_with(search));
}

}  // namespace koru
