// What the RegExp methods and the pattern String methods share: the
// subject of a match and the match-result hash.
#pragma once
#include <string>
#include <string_view>

#include "runtime/value.h"
#include "strings/regex/regex.h"

namespace koru {

// A script string as a pattern sees it (upper-cased under flag i) and as it
// was written.  A string that is not empty but gives no units raises 4800.
class Subject {
public:
    Subject(std::string_view utf8, uint8_t flags);
    const std::u16string& matched() const { return matched_; }
    const std::u16string& written() const { return folded_ ? written_ : matched_; }
    size_t size() const { return matched_.size(); }

private:
    std::u16string matched_;
    std::u16string written_;  // only kept when it differs (flag i)
    bool folded_ = false;
};

// Units [from, to) as UTF-8.
std::string units_text(const std::u16string& units, size_t from, size_t to);
Value units_string(const std::u16string& units, size_t from, size_t to);
// The text a group captured, or undefined when it took no part.
Value group_string(const std::u16string& units, const Captures& c, unsigned group);

// The hash `exec` gives for a match: "0" the matched text, "1".. the groups'
// texts, then index, input, indices, groups and length.  The texts come
// from `units`, which callers give as the subject was written.
Value match_result(Value regexp, const std::u16string& units, const Captures& c, Value input);

}  // namespace koru
