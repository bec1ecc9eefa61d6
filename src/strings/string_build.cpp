// concat, the case conversions, padding, repeat and the trim methods.  Each
// result is a new string; the receiver is never changed (it may be a
// literal that other code shares).
#include <algorithm>
#include <string>

#include "host/errors.h"
#include "strings/string_handlers.h"
#include "strings/text_index.h"
#include "strings/utf8_chars.h"

namespace koru {

namespace {

Value checked_string(const std::string& s) {
    if (s.size() > kMaxStringBytes) out_of_memory();
    return make_string(s);
}

Value mapped(Value self, char from, char to) {
    std::string_view s = text_of(self);
    char* filled;
    Value v = make_string_to_fill(s.size(), filled);
    char* const out = filled;  // not reloaded after every store
    const auto shift = static_cast<unsigned char>(to - from);
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        out[i] = static_cast<char>(static_cast<unsigned char>(c - from) < 26 ? c + shift : c);
    }
    return v;
}

enum class PadSide : uint8_t { Start, End };

struct PadErrors {
    err::Plain not_integer;
    err::Plain not_string;
};

// The pad text for `missing` characters (one or more) from the counted
// text of `pad` (a space when that is empty): whole copies of it while they
// fit, then its characters one by one.  Only as much of `pad` is read as
// is written, however long it is.
std::string pad_text(std::string_view pad, size_t missing) {
    CharPrefix p = char_prefix(pad, missing);
    if (p.chars == 0) {
        pad = " ";
        p = {1, 1};
    }
    pad = pad.substr(0, p.bytes);
    if (p.chars == missing) return std::string(pad);
    // The whole counted pad is shorter than what is missing.
    size_t copies = missing / p.chars;
    if (copies * pad.size() > kMaxStringBytes) out_of_memory();
    std::string out;
    out.reserve(copies * pad.size() + pad.size());
    for (size_t i = 0; i < copies; ++i) out.append(pad);
    out.append(pad.substr(0, char_offset(pad, missing - copies * p.chars)));
    return out;
}

Value pad(Value self, const Args& args, PadSide side, PadErrors e) {
    if (!is_int(args.at(0))) raise_runtime(e.not_integer);
    if (args.has(1) && !is_string(args.at(1))) raise_runtime(e.not_string);
    std::string_view s = text_of(self);
    int64_t target = int_value(args.at(0));
    auto have = static_cast<int64_t>(TextPositions(self).chars());
    if (have >= target) return self;
    std::string_view pad_with = args.has(1) ? text_of(args.at(1)) : std::string_view();
    std::string fill = pad_text(pad_with, static_cast<size_t>(target - have));
    return checked_string(side == PadSide::Start ? fill + std::string(s) : std::string(s) + fill);
}

constexpr bool is_trim_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

enum TrimEnds : uint8_t { kTrimStart = 1, kTrimEnd = 2 };

Value trimmed(Value self, unsigned ends) {
    std::string_view s = text_of(self);
    size_t b = 0, e = s.size();
    if (ends & kTrimStart)
        while (b < e && is_trim_space(s[b])) ++b;
    if (ends & kTrimEnd)
        while (e > b && is_trim_space(s[e - 1])) --e;
    return make_string(s.substr(b, e - b));
}

}  // namespace

Value str_concat(Value self, const Args& args) {
    std::string out(text_of(self));
    for (uint32_t i = 0; i < args.count; ++i) {
        out += plain_text(args.at(i));
        if (out.size() > kMaxStringBytes) out_of_memory();
    }
    return make_string(out);
}

Value str_to_upper_case(Value self, const Args&) { return mapped(self, 'a', 'A'); }
Value str_to_lower_case(Value self, const Args&) { return mapped(self, 'A', 'a'); }

Value str_locale_compare(Value, const Args&) { raise_runtime(err::locale_compare_missing); }

Value str_pad_end(Value self, const Args& args) {
    return pad(self, args, PadSide::End, {err::pad_end_length, err::pad_end_text});
}
Value str_pad_start(Value self, const Args& args) {
    return pad(self, args, PadSide::Start, {err::pad_start_length, err::pad_start_text});
}

Value str_repeat(Value self, const Args& args) {
    if (!is_number(args.at(0))) raise_runtime(err::repeat_not_number);
    int64_t count = number_value(args.at(0));
    if (count < 0) raise_runtime(err::repeat_negative);
    std::string_view s = text_of(self);
    if (!s.empty() && static_cast<uint64_t>(count) > kMaxStringBytes / s.size()) out_of_memory();
    std::string out;
    out.reserve(s.size() * static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) out.append(s);
    return make_string(out);
}

Value str_trim(Value self, const Args&) { return trimmed(self, kTrimStart | kTrimEnd); }
Value str_trim_start(Value self, const Args&) { return trimmed(self, kTrimStart); }
Value str_trim_end(Value self, const Args&) { return trimmed(self, kTrimEnd); }

}  // namespace koru
