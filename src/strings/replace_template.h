// Replacement templates of replace and replaceAll: $n and $<name> take the
// text a capturing group matched; everything else is copied as written.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"
#include "strings/regex/regex.h"

namespace koru {

class ReplaceTemplate {
public:
    // `pattern` is the RegExp the template goes with, or undefined for a
    // string pattern (whose replacement is always taken literally).  The
    // template errors (2716, 2717, 2718) are raised here.
    ReplaceTemplate(std::string_view text, Value pattern);
    // Appends the template for one match; group texts come from `units`.
    void expand(const std::u16string& units, const Captures& c, std::string& out) const;

private:
    struct Piece {
        std::string literal;  // copied first
        unsigned group = 0;   // then this group's text (0: none)
    };
    void parse(std::string_view text, Value pattern, unsigned groups);
    std::vector<Piece> pieces_;
};

constexpr unsigned kMaxSubstitutions = 255;
constexpr unsigned kMaxTemplateGroups = 128;

}  // namespace koru
