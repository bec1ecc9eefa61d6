// The String methods that take a pattern: replace, replaceAll, search,
// str_match (match), str_matchAll (matchAll) and split.  A pattern is a
// RegExp or text.  Matching compares the copy the pattern sees (upper-cased
// under flag i); every text of a result is taken from the receiver as it was
// written, at the same positions.
#include <string>
#include <vector>

#include "host/errors.h"
#include "interp/support.h"
#include "strings/match_result.h"
#include "strings/method_args.h"
#include "strings/replace_template.h"
#include "strings/string_handlers.h"
#include "strings/utf8_chars.h"

namespace koru {

namespace {

constexpr uint8_t kGlobal = 0x10;
constexpr int64_t kDefaultSplitLimit = 16777215;

// A pattern argument as a RegExp: the argument itself, or one compiled
// without flags from its text, which goes when the method is done.
class PatternArg {
public:
    explicit PatternArg(Value arg) {
        if (arg.kind() == Kind::RegExp) {
            re_ = arg;
            return;
        }
        std::string text = is_string(arg) ? std::string(text_of(arg)) : plain_text(arg);
        owned_.reset(regexp_create(text, "", RaiseAs::Runtime));
        re_ = owned_.get();
    }
    Value get() const { return re_; }
    uint8_t flags() const { return regex_flags(re_); }

private:
    Value re_;
    TempGuard owned_;
};

// The text methods that do not match by pattern still refuse a receiver
// that is not empty but gives no units, as the matching ones do.
std::string_view units_checked(Value self) {
    std::string_view written = text_of(self);
    std::string_view s = counted_text(written);
    if (s.empty() && !written.empty()) raise_runtime(err::encode_conversion);
    return s;
}

// New values gathered for an array; dropped if an error passes first.
class ArrayBuilder {
public:
    ArrayBuilder() = default;
    ArrayBuilder(const ArrayBuilder&) = delete;
    ArrayBuilder& operator=(const ArrayBuilder&) = delete;
    ~ArrayBuilder() {
        for (Value v : items_) value_drop_temp(v);
    }
    void add(Value v) { items_.push_back(v); }
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    Value finish() {
        Value array = make_array(static_cast<uint32_t>(items_.size()));
        Value* e = array_elements(array);
        for (size_t i = 0; i < items_.size(); ++i) e[i] = value_retain(items_[i]);
        items_.clear();
        return array;
    }

private:
    std::vector<Value> items_;
};

Value checked_string(const std::string& s) {
    if (s.size() > kMaxStringBytes) out_of_memory();
    return make_string(s);
}

bool is_empty_match(const Captures& c) { return c.end == c.start; }

// Where the next search starts after a match: its end, or one unit further
// after an empty match.
size_t next_start(const Captures& c) { return is_empty_match(c) ? c.end + 1 : c.end; }

// ---- replace ---------------------------------------------------------------------------

Value replace_text_first(Value self, std::string_view pattern, std::string_view replacement) {
    std::string_view s = text_of(self);
    size_t at = s.find(pattern);
    if (at == std::string_view::npos) return self;
    std::string out(s.substr(0, at));
    out += replacement;
    out += s.substr(at + pattern.size());
    return checked_string(out);
}

Value replace_text_all(Value self, std::string_view pattern, std::string_view replacement) {
    std::string_view s = text_of(self);
    std::string out;
    if (pattern.empty()) {  // before every character and at the end
        for (size_t at = 0; at < s.size();) {
            size_t w = lead_length(static_cast<uint8_t>(s[at]));
            out += replacement;
            out += s.substr(at, w);
            at += w;
            if (out.size() > kMaxStringBytes) out_of_memory();
        }
        out += replacement;
        return checked_string(out);
    }
    size_t from = 0;
    for (size_t at = s.find(pattern); at != std::string_view::npos; at = s.find(pattern, from)) {
        out += s.substr(from, at - from);
        out += replacement;
        from = at + pattern.size();
        if (out.size() > kMaxStringBytes) out_of_memory();
    }
    if (from == 0) return self;
    out += s.substr(from);
    return checked_string(out);
}

// Replaces the first non-empty match (every one with `all`); an empty match
// is never replaced.
Value replace_matches(Value self, Value re, std::string_view replacement, bool all) {
    ReplaceTemplate tpl(replacement, re);
    Subject subject(text_of(self), regex_flags(re));
    const std::u16string& written = subject.written();
    std::string out;
    size_t pos = 0, copied = 0;
    Captures c;
    while (regex_exec(re, subject.matched(), pos, c)) {
        pos = next_start(c);
        if (is_empty_match(c)) {
            if (!all) break;
            continue;
        }
        out += units_text(written, copied, c.start);
        tpl.expand(written, c, out);
        copied = c.end;
        if (out.size() > kMaxStringBytes) out_of_memory();
        if (!all) break;
    }
    if (copied == 0 && out.empty()) return self;
    out += units_text(written, copied, written.size());
    return checked_string(out);
}

// ---- split -------------------------------------------------------------------------------

Value split_chars(std::string_view s, int64_t limit) {
    ArrayBuilder pieces;
    for (size_t at = 0; at < s.size() && static_cast<int64_t>(pieces.size()) < limit;) {
        size_t w = lead_length(static_cast<uint8_t>(s[at]));
        if (w > s.size() - at) w = s.size() - at;
        pieces.add(make_string(s.substr(at, w)));
        at += w;
    }
    return pieces.finish();
}

Value split_text(std::string_view s, std::string_view sep, int64_t limit) {
    if (sep.empty()) return split_chars(s, limit);
    ArrayBuilder pieces;
    size_t from = 0;
    for (;;) {
        if (static_cast<int64_t>(pieces.size()) >= limit) return pieces.finish();
        size_t at = s.find(sep, from);
        if (at == std::string_view::npos) break;
        pieces.add(make_string(s.substr(from, at - from)));
        from = at + sep.size();
    }
    pieces.add(make_string(s.substr(from)));
    return pieces.finish();
}

Value split_pattern(Value self, Value re, int64_t limit) {
    Subject subject(text_of(self), regex_flags(re));
    const std::u16string& written = subject.written();
    unsigned groups = regex_group_count(re);
    ArrayBuilder pieces;
    auto room = [&] { return static_cast<int64_t>(pieces.size()) < limit; };
    size_t from = 0;
    Captures c;
    while (room() && regex_exec(re, subject.matched(), from, c) && !is_empty_match(c)) {
        pieces.add(units_string(written, from, c.start));
        for (unsigned g = 1; g <= groups && room(); ++g) pieces.add(group_string(written, c, g));
        from = c.end;
    }
    if (room()) pieces.add(units_string(written, from, written.size()));
    return pieces.finish();
}

// ---- the match family ---------------------------------------------------------------

Value match_all_texts(Value re, const Subject& subject) {
    ArrayBuilder texts;
    Captures c;
    for (size_t pos = 0; regex_exec(re, subject.matched(), pos, c); pos = next_start(c))
        texts.add(units_string(subject.written(), c.start, c.end));
    if (texts.empty()) return kNullValue;
    return texts.finish();
}

// A matched text that splits a surrogate pair has no UTF-8 form.
bool has_lone_surrogate(const std::u16string& u, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        bool high = u[i] >= 0xD800 && u[i] <= 0xDBFF;
        bool low = u[i] >= 0xDC00 && u[i] <= 0xDFFF;
        if (high && i + 1 < to && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (high || low) return true;
    }
    return false;
}

Value convertible_text(const std::u16string& u, int64_t from, int64_t to) {
    if (from < 0) return kUndefinedValue;
    auto f = static_cast<size_t>(from), t = static_cast<size_t>(to);
    if (has_lone_surrogate(u, f, t)) raise_runtime(err::match_lone_surrogate);
    return units_string(u, f, t);
}

Value match_entry(Value re, const std::u16string& units, const Captures& c) {
    ArrayBuilder entry;
    entry.add(convertible_text(units, static_cast<int64_t>(c.start), static_cast<int64_t>(c.end)));
    unsigned groups = regex_group_count(re);
    for (unsigned g = 1; g <= groups; ++g) {
        Span s = g < c.groups.size() ? c.groups[g] : Span{};
        entry.add(convertible_text(units, s.start, s.end));
    }
    return entry.finish();
}

}  // namespace

Value str_replace(Value self, const Args& args) {
    if (!is_string(args.at(1))) raise_runtime(err::replace_with_not_text);
    Value pattern = args.at(0);
    std::string_view replacement = text_of(args.at(1));
    if (pattern.kind() == Kind::RegExp) return replace_matches(self, pattern, replacement, false);
    if (!is_string(pattern)) raise_runtime(err::replace_pattern_not_text);
    units_checked(self);
    return replace_text_first(self, text_of(pattern), replacement);
}

Value str_replace_all(Value self, const Args& args) {
    if (!is_string(args.at(1))) raise_runtime(err::replace_all_with_not_text);
    Value pattern = args.at(0);
    std::string_view replacement = text_of(args.at(1));
    if (pattern.kind() == Kind::RegExp) {
        if (!(regex_flags(pattern) & kGlobal)) raise_runtime(err::replace_all_not_global);
        return replace_matches(self, pattern, replacement, true);
    }
    if (!is_string(pattern)) raise_runtime(err::replace_all_pattern_not_text);
    units_checked(self);
    return replace_text_all(self, text_of(pattern), replacement);
}

Value str_search(Value self, const Args& args) {
    PatternArg re(args.at(0));
    Subject subject(text_of(self), re.flags());
    Captures c;
    if (!regex_exec(re.get(), subject.matched(), 0, c) || is_empty_match(c)) return make_int(-1);
    return make_int(static_cast<int32_t>(c.start));
}

Value str_match(Value self, const Args& args) {
    if (args.count == 0) {
        ArrayBuilder one;
        one.add(make_string("", 0));
        return one.finish();
    }
    PatternArg re(args.at(0));
    Subject subject(text_of(self), re.flags());
    if (re.flags() & kGlobal) return match_all_texts(re.get(), subject);
    Captures c;
    if (!regex_exec(re.get(), subject.matched(), 0, c) || is_empty_match(c)) return kNullValue;
    return match_result(re.get(), subject.written(), c, self);
}

Value str_match_all(Value self, const Args& args) {
    Value arg = args.at(0);
    if (arg.kind() == Kind::RegExp && !(regex_flags(arg) & kGlobal)) raise_runtime(err::match_all_not_global);
    PatternArg re(arg);
    Subject subject(text_of(self), re.flags());
    ArrayBuilder entries;
    Captures c;
    for (size_t pos = 0; regex_exec(re.get(), subject.matched(), pos, c); pos = next_start(c))
        if (!is_empty_match(c)) entries.add(match_entry(re.get(), subject.written(), c));
    return entries.finish();
}

Value str_split(Value self, const Args& args) {
    if (args.has(1) && !is_int(args.at(1))) raise_runtime(err::split_limit_not_int);
    int64_t limit = args.has(1) ? int_value(args.at(1)) : kDefaultSplitLimit;
    if (limit < 0) limit = 0;
    Value sep = args.at(0);
    if (sep.kind() == Kind::RegExp) return split_pattern(self, sep, limit);
    std::string_view s = units_checked(self);
    if (args.count == 0) return split_text(s, std::string_view("\0", 1), limit);
    std::string text = is_string(sep) ? std::string(text_of(sep)) : plain_text(sep);
    return split_text(s, text, limit);
}

}  // namespace koru
