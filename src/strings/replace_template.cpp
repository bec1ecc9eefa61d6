#include "strings/replace_template.h"

#include "host/errors.h"
#include "runtime/symbols.h"
#include "strings/match_result.h"

namespace koru {

namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr size_t kMaxGroupName = 200;

// The group whose name is `name`, or 0.
unsigned group_named(Value pattern, unsigned groups, std::string_view name) {
    int64_t sym = symbol_lookup(name.data(), name.size());
    if (sym <= 0) return 0;
    for (unsigned g = 1; g <= groups; ++g)
        if (regex_group_name(pattern, g) == static_cast<uint32_t>(sym)) return g;
    return 0;
}

}  // namespace

ReplaceTemplate::ReplaceTemplate(std::string_view text, Value pattern) {
    unsigned groups = pattern.kind() == Kind::RegExp ? regex_group_count(pattern) : 0;
    if (groups == 0) {
        pieces_.push_back(Piece{std::string(text), 0});
        return;
    }
    if (groups > kMaxTemplateGroups) raise_runtime(err::replace_group_number);
    parse(text, pattern, groups);
}

void ReplaceTemplate::parse(std::string_view text, Value pattern, unsigned groups) {
    Piece current;
    unsigned substitutions = 0;
    auto substitute = [&](unsigned group) {
        if (++substitutions > kMaxSubstitutions) raise_runtime(err::replace_too_many);
        current.group = group;
        pieces_.push_back(std::move(current));
        current = Piece{};
    };
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        bool has_next = i + 1 < text.size();
        if (c == '\\' && has_next && text[i + 1] == '$') {
            current.literal += "\\$";  // an escaped $ is no substitution; the backslash stays
            i += 2;
        } else if (c == '$' && has_next && is_digit(text[i + 1])) {
            size_t j = i + 1;
            unsigned n = 0;
            for (; j < text.size() && is_digit(text[j]); ++j)
                if (n <= kMaxTemplateGroups) n = n * 10 + static_cast<unsigned>(text[j] - '0');
            if (n == 0 || n > groups) raise_runtime(err::replace_group_number);
            substitute(n);
            i = j;
        } else if (c == '$' && has_next && text[i + 1] == '<') {
            size_t close = text.find('>', i + 2);
            unsigned g = 0;
            if (close != std::string_view::npos) {
                std::string_view name = text.substr(i + 2, close - i - 2);
                if (name.size() > kMaxGroupName) raise_runtime(err::replace_group_name);
                g = group_named(pattern, groups, name);
            }
            if (g == 0) {  // no such group, or no closing ">": as written
                current.literal += "$<";
                i += 2;
            } else {
                substitute(g);
                i = close + 1;
            }
        } else {
            current.literal += c;
            ++i;
        }
    }
    pieces_.push_back(std::move(current));
}

void ReplaceTemplate::expand(const std::u16string& units, const Captures& c, std::string& out) const {
    for (const Piece& p : pieces_) {
        out += p.literal;
        if (p.group && p.group < c.groups.size() && c.groups[p.group].matched()) {
            const Span& s = c.groups[p.group];
            out += units_text(units, static_cast<size_t>(s.start), static_cast<size_t>(s.end));
        }
    }
}

}  // namespace koru
