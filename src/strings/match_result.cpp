#include "strings/match_result.h"

#include <cstdio>

#include "host/errors.h"
#include "runtime/objects.h"
#include "runtime/refcount.h"
#include "runtime/symbols.h"
#include "strings/method_args.h"

namespace koru {

Subject::Subject(std::string_view utf8, uint8_t flags) : matched_(regex_subject(utf8, flags)) {
    // The empty text is a subject like any other; a text that is not empty
    // but gives no units (a NUL byte first) has no form to match.
    if (matched_.empty() && !utf8.empty()) raise_runtime(err::encode_conversion);
    if (flags & 0x08) {
        written_ = regex_subject(utf8, 0);
        folded_ = true;
    }
}

std::string units_text(const std::u16string& units, size_t from, size_t to) {
    std::string out;
    if (from < to && to <= units.size()) units_to_utf8(units.data() + from, to - from, out);
    return out;
}

Value units_string(const std::u16string& units, size_t from, size_t to) {
    return make_string(units_text(units, from, to));
}

Value group_string(const std::u16string& units, const Captures& c, unsigned group) {
    if (group >= c.groups.size() || !c.groups[group].matched()) return kUndefinedValue;
    const Span& s = c.groups[group];
    return units_string(units, static_cast<size_t>(s.start), static_cast<size_t>(s.end));
}

namespace {

// Fills pairs of a fresh hash one after another; each value is retained.
class PairWriter {
public:
    explicit PairWriter(Value hash) : hash_(hash) {}
    void put(uint32_t symbol, Value v) {
        hash_pairs(hash_)[next_++] = Pair{Value::symbol(symbol), value_retain(v)};
    }

private:
    Value hash_;
    uint32_t next_ = 0;
};

uint32_t number_name(unsigned n) {
    char name[16];
    int len = std::snprintf(name, sizeof name, "%u", n);
    return intern(std::string_view(name, static_cast<size_t>(len)));
}

Value span_pair(int64_t start, int64_t end) {
    Value pair = make_array(2);
    array_elements(pair)[0] = value_retain(make_int(static_cast<int32_t>(start)));
    array_elements(pair)[1] = value_retain(make_int(static_cast<int32_t>(end)));
    return pair;
}

Value indices_of(const Captures& c, unsigned groups) {
    Value list = make_array(groups + 1);
    Value* e = array_elements(list);
    e[0] = value_retain(span_pair(static_cast<int64_t>(c.start), static_cast<int64_t>(c.end)));
    for (unsigned g = 1; g <= groups; ++g) {
        bool took_part = g < c.groups.size() && c.groups[g].matched();
        if (took_part) e[g] = value_retain(span_pair(c.groups[g].start, c.groups[g].end));
    }
    return list;
}

// Named groups to their texts; undefined when the pattern names none.
Value groups_of(Value re, const std::u16string& units, const Captures& c, unsigned groups) {
    unsigned named = 0;
    for (unsigned g = 1; g <= groups; ++g)
        if (regex_group_name(re, g)) ++named;
    if (named == 0) return kUndefinedValue;
    Value hash = make_hash(named);
    PairWriter w(hash);
    for (unsigned g = 1; g <= groups; ++g)
        if (uint32_t name = regex_group_name(re, g)) w.put(name, group_string(units, c, g));
    return hash;
}

}  // namespace

Value match_result(Value re, const std::u16string& units, const Captures& c, Value input) {
    unsigned groups = regex_group_count(re);
    constexpr unsigned kNamedEntries = 5;  // index, input, indices, groups, length
    if (groups + 1 + kNamedEntries + 10 > 0xFFFF) out_of_memory();
    Value hash = make_hash(groups + 1 + kNamedEntries);
    PairWriter w(hash);
    w.put(number_name(0), units_string(units, c.start, c.end));
    for (unsigned g = 1; g <= groups; ++g) w.put(number_name(g), group_string(units, c, g));
    w.put(SYM_index, make_int(static_cast<int32_t>(c.start)));
    w.put(SYM_input, input);
    w.put(SYM_indices, indices_of(c, groups));
    w.put(SYM_groups, groups_of(re, units, c, groups));
    w.put(SYM_length, make_int(static_cast<int32_t>(groups + 1)));
    return hash;
}

}  // namespace koru
