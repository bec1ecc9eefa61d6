// charAt, charCodeAt, substr, substring and slice: pieces of the receiver
// by character positions.
#include <algorithm>

#include "compiler/source.h"
#include "host/errors.h"
#include "strings/string_handlers.h"
#include "strings/text_index.h"

namespace koru {

namespace {

// The characters [from, to) of the receiver as a new string.
Value char_range(TextPositions& p, int64_t from, int64_t to) {
    if (to <= from) return make_string("", 0);
    size_t b0 = p.offset(static_cast<size_t>(from));
    size_t b1 = p.offset(static_cast<size_t>(to));
    return make_string(p.text().substr(b0, b1 - b0));
}

int64_t length_of(TextPositions& p) { return static_cast<int64_t>(p.chars()); }

// The UTF-16 unit of the character that starts `c`, as the source
// converter gives it; a character beyond the Basic Multilingual Plane has
// none.
int32_t unit_of(std::string_view c) {
    auto lead = static_cast<uint8_t>(c[0]);
    if (lead >= 0xF0 && lead <= 0xF7 && c.size() == 4) {
        uint32_t v = lead & 0x07;
        for (size_t k = 1; k < 4; ++k) v = v << 6 | (static_cast<uint8_t>(c[k]) & 0x3F);
        if (v >= 0x10000) raise_runtime(err::surrogate_character);
    }
    uint16_t unit = 0;
    utf8_to_utf16(c.data(), c.size(), &unit, 1);
    return unit;
}

}  // namespace

Value str_char_at(Value self, const Args& args) {
    int64_t i = int_or(args.at(0), 0);
    TextPositions p(self);
    if (i < 0 || i >= length_of(p)) return make_string("", 0);
    return char_range(p, i, i + 1);
}

Value str_char_code_at(Value self, const Args& args) {
    int64_t i = int_or(args.at(0), 0);
    TextPositions p(self);
    if (i < 0 || i >= length_of(p)) return kNaNValue;
    size_t b0 = p.offset(static_cast<size_t>(i));
    size_t b1 = p.offset(static_cast<size_t>(i + 1));
    return make_int(unit_of(p.text().substr(b0, b1 - b0)));
}

Value str_substr(Value self, const Args& args) {
    TextPositions p(self);
    int64_t total = length_of(p);
    int64_t start = int_or(args.at(0), 0);
    if (start < 0) start = std::max<int64_t>(0, total + start);
    start = std::min(start, total);
    int64_t count = args.has(1) ? int_or(args.at(1), 0) : total - start;
    count = std::min(count, total - start);
    if (count <= 0) return make_string("", 0);
    return char_range(p, start, start + count);
}

Value str_substring(Value self, const Args& args) {
    TextPositions p(self);
    int64_t total = length_of(p);
    auto clamp = [total](int64_t v) { return std::clamp<int64_t>(v, 0, total); };
    int64_t a = clamp(int_or(args.at(0), 0));
    int64_t b = args.has(1) ? clamp(int_or(args.at(1), 0)) : total;
    return char_range(p, std::min(a, b), std::max(a, b));
}

Value str_slice(Value self, const Args& args) {
    if (!is_int(args.at(0))) raise_runtime(err::slice_start_not_int);
    if (args.has(1) && !is_int(args.at(1))) raise_runtime(err::slice_end_not_int);
    TextPositions p(self);
    int64_t total = length_of(p);
    auto from_end = [total](int64_t v) { return v < 0 ? std::max<int64_t>(0, total + v) : std::min(v, total); };
    int64_t start = from_end(int_value(args.at(0)));
    int64_t end = args.has(1) ? from_end(int_value(args.at(1))) : total;
    return char_range(p, start, end);
}

}  // namespace koru
