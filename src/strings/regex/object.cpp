// RegExp values: creation from pattern and flag texts, the literal form,
// and the fields the RegExp methods and the String methods read.
#include <string>

#include "strings/regex/fail.h"
#include "strings/regex/nodes.h"
#include "strings/regex/regex.h"
#include "strings/regex/units.h"

namespace koru {

using namespace regex;

uint8_t parse_regex_flags(std::string_view letters, RaiseAs how) {
    static constexpr struct { char letter; uint8_t bit; } kLetters[] = {
        {'g', kFlagGlobal}, {'i', kFlagIgnoreCase}, {'m', kFlagMultiline},
        {'s', kFlagDotAll}, {'u', 0}, {'y', kFlagSticky}};
    uint8_t flags = 0;
    for (char ch : letters) {
        bool known = false;
        for (auto l : kLetters) {
            if (ch == l.letter) {
                flags |= l.bit;
                known = true;
            }
        }
        if (!known) {
            std::string text(letters);
            fail(how, err::pattern_flags_bad, text.c_str());
        }
    }
    return flags;
}

Value regexp_create(std::string_view pattern, std::string_view flag_letters, RaiseAs how) {
    uint8_t flags = parse_regex_flags(flag_letters, how);
    std::u16string units;
    if (!pattern_units(pattern, units) || units.empty()) fail(how, err::encode_conversion);
    return compile_regex(units.data(), units.size(), flags, how);
}

RegexLiteral compile_regex_literal(const char* text, size_t len) {
    size_t close = 0;
    while (close < len && !(text[close] == '/' && (close == 0 || text[close - 1] != '\\'))) ++close;
    if (close >= len) fail(RaiseAs::Parse, err::pattern_literal_unclosed);
    size_t end = close + 1;
    while (end < len && ((text[end] >= 'a' && text[end] <= 'z') || (text[end] >= 'A' && text[end] <= 'Z'))) ++end;
    Value re = regexp_create({text, close}, {text + close + 1, end - close - 1}, RaiseAs::Parse);
    return {re, end};
}

uint8_t regex_flags(Value re) { return block_bytes(re)[1] & ~kFlagAlternation; }

// Both block shapes keep lastIndex at bytes 8-11.
uint32_t regex_last_index(Value re) { return seq_block(re)->last_index.get(); }
void regex_set_last_index(Value re, uint32_t index) { seq_block(re)->last_index.set(index); }

namespace {

// Calls f(node) for every capturing-group node in the tree, in pattern order.
template <class F>
void each_group(Value re, F&& f) {
    if (is_alternation(re)) {
        const AltBlock* a = alt_block(re);
        for (unsigned k = 0; k < a->alt_count; ++k) each_group(alt_item(a, k), f);
        return;
    }
    const SeqBlock* s = seq_block(re);
    const Node* nodes = seq_nodes(s);
    for (unsigned k = 0; k < s->node_count; ++k) {
        const Node& n = nodes[k];
        if (n.type == NodeType::Group) f(n);
        if (n.look != Look::None) each_group(Value(look_pattern(n)), f);
        if (n.is_group()) each_group(Value(n.sub.get()), f);
    }
}

}  // namespace

void regex_free(Value re) {
    if (is_alternation(re)) {
        const AltBlock* a = alt_block(re);
        for (unsigned k = 0; k < a->alt_count; ++k) regex_free(alt_item(a, k));
        area_free(AreaAddr{a->alts.get()});
    } else {
        const SeqBlock* s = seq_block(re);
        const Node* nodes = seq_nodes(s);
        for (unsigned k = 0; k < s->node_count; ++k) {
            if (nodes[k].look != Look::None) regex_free(Value(look_pattern(nodes[k])));
            if (nodes[k].is_group()) regex_free(Value(nodes[k].sub.get()));
        }
        if (s->node_count) area_free(AreaAddr{s->nodes.get()});
    }
    area_free(re.area_addr());
}

unsigned regex_group_count(Value re) {
    unsigned count = 0;
    each_group(re, [&](const Node& n) { count = std::max<unsigned>(count, n.min); });
    return count;
}

uint32_t regex_group_name(Value re, unsigned group) {
    uint32_t name = 0;
    each_group(re, [&](const Node& n) {
        if (n.min == group) name = n.name.get();
    });
    return name;
}

}  // namespace koru
