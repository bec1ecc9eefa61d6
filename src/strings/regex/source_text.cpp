// The source text of a compiled pattern, regenerated from its nodes.
#include <algorithm>
#include <cstdio>
#include <string>

#include "host/errors.h"
#include "runtime/refcount.h"
#include "runtime/text.h"
#include "strings/regex/nodes.h"
#include "strings/regex/regex.h"
#include "strings/regex/units.h"

namespace koru {

using namespace regex;

namespace {

// Under flag i the compiler stored a-z as A-Z.  When the pattern wrote a
// capital letter it kept the pieces as written after the stored ones, and
// the text reads those; otherwise the stored letters are given back in lower
// case, which is how such a pattern wrote them.
void append_units(const char16_t* units, size_t n, bool lower, std::string& out) {
    for (size_t k = 0; k < n; ++k) {
        char16_t u = units[k];
        if (lower && u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 0x20);
        append_utf8(u, out);
    }
}

void appendf(std::string& out, const char* fmt, unsigned a, unsigned b = 0) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, fmt, a, b);
    if (n > 0) out.append(buf, static_cast<size_t>(n));
}

void write_quant(const Node& n, std::string& out) {
    switch (n.quant) {
    case kQuantNone: return;
    case kQuantExact: appendf(out, "{%u}", n.min); return;
    case kQuantOptional: out += "?"; return;
    case kQuantRange: appendf(out, "{%u,%u}", n.min, n.max); return;
    case kQuantAtLeast:
        if (n.min <= 1) out += n.min == 0 ? "*" : "+";
        else appendf(out, "{%u,}", n.min);
        return;
    case kQuantOptional | kQuantLazy: out += "??"; return;
    case kQuantRange | kQuantLazy: appendf(out, "{%u,%u}?", n.min, n.max); return;
    case kQuantAtLeast | kQuantLazy: appendf(out, "{%u,}?", n.min); return;
    default: raise_runtime(err::pattern_source_braces);
    }
}

void write_class(const Node& n, const char16_t* text, bool lower, std::string& out) {
    static constexpr struct { uint8_t bit; const char* text; } kEscapes[] = {
        {kClassWord, "\\w"}, {kClassNotWord, "\\W"}, {kClassDigit, "\\d"},
        {kClassNotDigit, "\\D"}, {kClassSpace, "\\s"}, {kClassNotSpace, "\\S"}};
    out += n.type == NodeType::NegClass ? "[^" : "[";
    for (auto e : kEscapes)
        if (n.aux & e.bit) out += e.text;
    append_units(text + n.text_off, n.text_len, lower, out);
    out += "]";
    write_quant(n, out);
}

const char* fixed_text(NodeType t) {
    switch (t) {
    case NodeType::Begin: return "^";
    case NodeType::End: return "$";
    case NodeType::Word: return "\\w";
    case NodeType::NotWord: return "\\W";
    case NodeType::Digit: return "\\d";
    case NodeType::NotDigit: return "\\D";
    case NodeType::Space: return "\\s";
    case NodeType::NotSpace: return "\\S";
    case NodeType::WordEdge: return "\\b";
    case NodeType::NotWordEdge: return "\\B";
    case NodeType::Dot: return ".";
    case NodeType::AnyUnit: return "[^]";
    case NodeType::Empty: return "";
    default: return nullptr;
    }
}

void write_look(const Node& n, std::string& out) {
    const char* open = n.look == Look::Ahead ? "(?=" : n.look == Look::NotAhead ? "(?!"
                     : n.look == Look::Behind ? "(?<=" : "(?<!";
    out += open;
    regex_to_text(Value(look_pattern(n)), out);
    out += ")";
}

void write_node(const Node& n, const char16_t* text, bool lower, std::string& out) {
    bool behind = n.look == Look::Behind || n.look == Look::NotBehind;
    if (behind) write_look(n, out);
    if (const char* fixed = fixed_text(n.type)) {
        out += fixed;
        write_quant(n, out);
    } else {
        switch (n.type) {
        case NodeType::Run:
        case NodeType::Char:
            append_units(text + n.text_off, n.text_len, lower, out);
            write_quant(n, out);
            break;
        case NodeType::Class:
        case NodeType::NegClass: write_class(n, text, lower, out); break;
        case NodeType::BackRef:
            appendf(out, "\\%u", n.aux);
            write_quant(n, out);
            break;
        case NodeType::Group:
            out += "(";
            regex_to_text(Value(n.sub.get()), out);
            out += ")";
            break;
        case NodeType::PlainGroup:
            out += "(?:";
            regex_to_text(Value(n.sub.get()), out);
            out += ")";
            write_quant(n, out);
            break;
        default: raise_runtime(err::pattern_source_command);
        }
    }
    if (n.look != Look::None && !behind) write_look(n, out);
}

bool has_text(NodeType t) {
    return t == NodeType::Char || t == NodeType::Run || t == NodeType::Class || t == NodeType::NegClass;
}

char16_t upper(char16_t u) { return u >= u'a' && u <= u'z' ? static_cast<char16_t>(u - 0x20) : u; }

// The pieces as written, or null when the sequence keeps no copy: the copy
// follows the pieces the nodes point to, has their length and reads as them
// once upper-cased.
const char16_t* written_text_of(const SeqBlock* s, const Node* nodes) {
    size_t pieces = 0;
    for (unsigned k = 0; k < s->node_count; ++k)
        if (has_text(nodes[k].type))
            pieces = std::max<size_t>(pieces, size_t{nodes[k].text_off} + nodes[k].text_len + 1);
    if (pieces == 0 || s->text_len != 2 * pieces) return nullptr;
    const char16_t* text = seq_text(s);
    for (size_t k = 0; k < pieces; ++k)
        if (upper(text[pieces + k]) != text[k]) return nullptr;
    return text + pieces;
}

}  // namespace

void regex_to_text(Value re, std::string& out) {
    if (is_alternation(re)) {
        const AltBlock* a = alt_block(re);
        for (unsigned k = 0; k < a->alt_count; ++k) {
            if (k) out += "|";
            regex_to_text(alt_item(a, k), out);
        }
        return;
    }
    const SeqBlock* s = seq_block(re);
    const Node* nodes = seq_nodes(s);
    const char16_t* text = seq_text(s);
    bool lower = s->flags & kFlagIgnoreCase;
    if (lower) {
        if (const char16_t* written = written_text_of(s, nodes)) {
            text = written;
            lower = false;
        }
    }
    for (unsigned k = 0; k < s->node_count; ++k) write_node(nodes[k], text, lower, out);
}

}  // namespace koru
