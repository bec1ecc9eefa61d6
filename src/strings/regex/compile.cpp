// The pattern compiler: one left-to-right pass per sequence, group and
// lookaround contents compiled recursively, blocks written to the area.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/cell.h"
#include "runtime/symbols.h"
#include "strings/regex/fail.h"
#include "strings/regex/nodes.h"
#include "strings/regex/regex.h"
#include "strings/regex/units.h"

namespace koru {
namespace regex {
namespace {

constexpr unsigned kMaxNesting = 200;    // groups within groups
constexpr unsigned kMaxGroups = 255;     // capturing groups in one pattern
constexpr size_t kMaxGroupName = 200;

struct Compiler {
    const char16_t* p;
    uint8_t flags;
    RaiseAs how;
    std::string source;  // the whole pattern as UTF-8, for messages
    unsigned depth = 0;
    unsigned slots = 0;  // capturing groups numbered so far in the whole pattern

    [[noreturn]] void error(err::Plain row) const { fail(how, row); }
    // A row whose one '%s' takes the pattern text.
    [[noreturn]] void error_src(err::Ref<const char*> row) const { fail(how, row, source.c_str()); }
    [[noreturn]] void too_big() const { error(err::pattern_too_big); }
};

// What the construct before the current one was, for the quantifier checks.
enum class Last : uint8_t { Nothing, Node, Lookaround };

// Literal units as the matcher compares them (a-z stored as A-Z under
// flag i) and as the pattern wrote them, unit for unit.
struct Units {
    std::u16string folded;
    std::u16string written;
    size_t size() const { return folded.size(); }
    bool empty() const { return folded.empty(); }
};

struct Sequence {
    std::vector<Node> nodes;
    std::u16string text;
    std::u16string written_text;  // `text` as written, for the source text
    Units run;  // pending literal run
    Look behind = Look::None;  // a lookbehind waiting for the node that follows
    uint32_t behind_pattern = 0;
    Last last = Last::Nothing;
    unsigned* group_no;  // numbering within the pattern being compiled

    Sequence() {
        nodes.reserve(512);
        text.reserve(2048);
        written_text.reserve(2048);
    }
};

Value compile_pattern(Compiler& c, size_t begin, size_t end);

bool is_upper_case_target(char16_t u) { return u >= u'a' && u <= u'z'; }
char16_t fold(const Compiler& c, char16_t u) {
    return (c.flags & kFlagIgnoreCase) && is_upper_case_target(u) ? static_cast<char16_t>(u - 0x20) : u;
}

uint16_t add_text(const Compiler& c, Sequence& s, const Units& units) {
    size_t off = s.text.size();
    if (off + units.size() + 1 > kMaxSeqText) c.too_big();
    s.text += units.folded;
    s.text.push_back(0);
    s.written_text += units.written;
    s.written_text.push_back(0);
    return static_cast<uint16_t>(off);
}

Node& push_node(const Compiler& c, Sequence& s, Node n) {
    if (s.nodes.size() >= kMaxSeqNodes) c.too_big();
    if (s.behind != Look::None) {
        n.look = s.behind;
        set_look_pattern(n, s.behind_pattern);
        s.behind = Look::None;
    }
    s.nodes.push_back(n);
    s.last = Last::Node;
    return s.nodes.back();
}

Node plain_node(NodeType t) {
    Node n{};
    n.type = t;
    n.min = n.max = 1;
    return n;
}

Node text_node(const Compiler& c, Sequence& s, NodeType t, const Units& units) {
    Node n = plain_node(t);
    n.text_off = add_text(c, s, units);
    n.text_len = static_cast<uint16_t>(units.size());
    return n;
}

void add_unit(const Compiler& c, Units& units, char16_t u) {
    units.folded.push_back(fold(c, u));
    units.written.push_back(u);
}

// The pending run becomes a node: type 11 for one unit, 10 for more.
void close_run(const Compiler& c, Sequence& s) {
    if (s.run.empty()) return;
    if (s.run.size() > kMaxSeqText) c.too_big();
    NodeType t = s.run.size() == 1 ? NodeType::Char : NodeType::Run;
    push_node(c, s, text_node(c, s, t, s.run));
    s.run = Units{};
}

void add_char(const Compiler& c, Sequence& s, char16_t u) {
    add_unit(c, s.run, u);
    s.last = Last::Node;
}

// ---- escapes -------------------------------------------------------------------

int hex_value(char16_t u) {
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    return -1;
}

// \xHH, \uHHHH, \u{H..HHHH} and \cX, with i at the letter after the
// backslash; gives the unit and moves i past the escape, or false.
bool unit_escape(const char16_t* p, size_t end, size_t& i, char16_t& out) {
    char16_t e = p[i];
    auto hex_run = [&](size_t from, size_t count, uint32_t& v) {
        if (from + count > end) return false;
        v = 0;
        for (size_t k = 0; k < count; ++k) {
            int h = hex_value(p[from + k]);
            if (h < 0) return false;
            v = v << 4 | static_cast<uint32_t>(h);
        }
        return true;
    };
    uint32_t v = 0;
    if (e == u'x') {
        if (!hex_run(i + 1, 2, v)) return false;
        i += 3;
    } else if (e == u'u' && i + 1 < end && p[i + 1] == u'{') {
        size_t k = i + 2;
        while (k < end && k - (i + 2) < 5 && hex_value(p[k]) >= 0) ++k;
        size_t digits = k - (i + 2);
        if (digits < 1 || digits > 4 || k >= end || p[k] != u'}') return false;
        hex_run(i + 2, digits, v);
        i = k + 1;
    } else if (e == u'u') {
        if (!hex_run(i + 1, 4, v)) return false;
        i += 5;
    } else if (e == u'c') {
        if (i + 1 >= end || p[i + 1] < u'A' || p[i + 1] > u'Z') return false;
        v = p[i + 1] & 0x1F;
        i += 2;
    } else {
        return false;
    }
    out = static_cast<char16_t>(v);
    return true;
}

err::Plain malformed_escape(char16_t e) {
    if (e == u'x') return err::pattern_hex_escape;
    if (e == u'u') return err::pattern_unicode_escape;
    return err::pattern_character_escape;
}

NodeType class_escape_type(char16_t e) {
    switch (e) {
    case u'w': return NodeType::Word;
    case u'W': return NodeType::NotWord;
    case u'd': return NodeType::Digit;
    case u'D': return NodeType::NotDigit;
    case u's': return NodeType::Space;
    case u'S': return NodeType::NotSpace;
    case u'b': return NodeType::WordEdge;
    case u'B': return NodeType::NotWordEdge;
    default: return NodeType{0};
    }
}

void back_reference(const Compiler& c, Sequence& s, char16_t digit) {
    unsigned number = digit - u'0';
    close_run(c, s);
    for (size_t k = 0; k < s.nodes.size(); ++k) {
        const Node& g = s.nodes[k];
        if (g.type == NodeType::Group && g.aux == number) {
            Node n = plain_node(NodeType::BackRef);
            n.aux = static_cast<uint8_t>(number);
            n.text_off = static_cast<uint16_t>(k);
            push_node(c, s, n);
            return;
        }
    }
    c.error(err::pattern_back_reference);
}

// An escape outside brackets, i at the backslash; gives the index after it.
size_t compile_escape(const Compiler& c, Sequence& s, size_t i, size_t end) {
    if (i + 1 >= end) c.error(err::pattern_escape_at_end);
    char16_t e = c.p[i + 1];
    static constexpr char16_t kLiteral[] = u"$().\\/?[]^{|}";
    if (std::char_traits<char16_t>::find(kLiteral, 13, e)) {
        add_char(c, s, e);
        return i + 2;
    }
    static constexpr struct { char16_t letter, unit; } kControls[] = {
        {u'0', 0}, {u'n', 10}, {u'r', 13}, {u't', 9}, {u'f', 12}};
    for (auto k : kControls) {
        if (e == k.letter) {
            add_char(c, s, k.unit);
            return i + 2;
        }
    }
    if (e == u'x' || e == u'u' || e == u'c') {
        size_t j = i + 1;
        char16_t u = 0;
        if (!unit_escape(c.p, end, j, u)) c.error(malformed_escape(e));
        add_char(c, s, u);
        return j;
    }
    if (NodeType t = class_escape_type(e); t != NodeType{0}) {
        close_run(c, s);
        push_node(c, s, plain_node(t));
        return i + 2;
    }
    if (e >= u'1' && e <= u'9') {
        back_reference(c, s, e);
        return i + 2;
    }
    c.error(err::pattern_escape_bad);
}

// ---- classes -------------------------------------------------------------------

uint8_t class_flag(char16_t e) {
    switch (e) {
    case u'w': return kClassWord;
    case u'W': return kClassNotWord;
    case u'd': return kClassDigit;
    case u'D': return kClassNotDigit;
    case u's': return kClassSpace;
    case u'S': return kClassNotSpace;
    default: return 0;
    }
}

// One member unit inside brackets at j (an escape or a plain unit); false
// when it is a class escape, whose flag goes to `flag` instead.
bool class_unit(const Compiler& c, size_t& j, size_t end, char16_t& unit, uint8_t& flag) {
    if (c.p[j] != u'\\') {
        unit = c.p[j++];
        return true;
    }
    if (j + 1 >= end) c.error(err::pattern_class_open);
    char16_t e = c.p[j + 1];
    if ((flag = class_flag(e)) != 0) {
        j += 2;
        return false;
    }
    static constexpr struct { char16_t letter, unit; } kSimple[] = {
        {u'n', 10}, {u'r', 13}, {u't', 9}, {u'-', u'-'}, {u'[', u'['}, {u'\\', u'\\'}, {u']', u']'}};
    for (auto k : kSimple) {
        if (e == k.letter) {
            unit = k.unit;
            j += 2;
            return true;
        }
    }
    if (e == u'x' || e == u'u' || e == u'c') {
        size_t k = j + 1;
        if (!unit_escape(c.p, end, k, unit)) c.error(malformed_escape(e));
        j = k;
        return true;
    }
    c.error(err::pattern_class_escape);
}

void add_member(const Compiler& c, Units& members, char16_t u) {
    if (members.size() >= kMaxSeqText) c.too_big();
    add_unit(c, members, u);
}

// A bracket class, i at "["; gives the index after "]".
size_t compile_class(const Compiler& c, Sequence& s, size_t i, size_t end) {
    close_run(c, s);
    size_t j = i + 1;
    bool negated = j < end && c.p[j] == u'^';
    if (negated && j + 1 < end && c.p[j + 1] == u']') {
        push_node(c, s, plain_node(NodeType::AnyUnit));
        return j + 2;
    }
    if (negated) ++j;
    if (j >= end) c.error(err::pattern_class_unclosed);
    Units members;
    uint8_t flags = 0;
    while (true) {
        if (j >= end) c.error(err::pattern_class_open);
        if (c.p[j] == u']') break;
        char16_t first = 0;
        uint8_t flag = 0;
        if (!class_unit(c, j, end, first, flag)) {
            flags |= flag;
            continue;
        }
        if (j + 1 < end && c.p[j] == u'-' && c.p[j + 1] != u']') {
            ++j;
            char16_t last = 0;
            if (!class_unit(c, j, end, last, flag) || last <= first)
                c.error(err::pattern_class_range);
            for (char32_t u = first; u <= last; ++u) add_member(c, members, static_cast<char16_t>(u));
        } else {
            add_member(c, members, first);
        }
    }
    if (members.empty() && flags == 0) c.error(err::pattern_class_empty);
    Node n = text_node(c, s, negated ? NodeType::NegClass : NodeType::Class, members);
    n.aux = flags;
    push_node(c, s, n);
    return j + 1;
}

// ---- quantifiers ---------------------------------------------------------------

struct Quant {
    uint8_t code;
    uint16_t min, max;
    size_t next;  // index after the quantifier (and its lazy mark)
};

// Reads digits at j into v (saturating above 65535); the count of digits.
size_t read_number(const char16_t* p, size_t end, size_t& j, uint32_t& v) {
    size_t from = j;
    v = 0;
    while (j < end && p[j] >= u'0' && p[j] <= u'9') {
        v = std::min<uint32_t>(v * 10 + (p[j] - u'0'), 0x10000);
        ++j;
    }
    return j - from;
}

Quant parse_braces(const Compiler& c, size_t i, size_t end) {
    size_t j = i + 1;
    uint32_t n = 0, m = 0;
    if (read_number(c.p, end, j, n) == 0) {
        if (j < end && (c.p[j] == u',' || c.p[j] == u'}')) c.error(err::pattern_braces_empty);
        c.error(err::pattern_braces_number);
    }
    if (n == 0) c.error(err::pattern_braces_zero);
    if (j >= end || (c.p[j] != u'}' && c.p[j] != u',')) c.error(err::pattern_braces_number);
    if (n > 0xFFFF) c.error(err::pattern_braces_range);
    if (c.p[j] == u'}') return {kQuantExact, static_cast<uint16_t>(n), static_cast<uint16_t>(n), j + 1};
    ++j;
    if (j < end && c.p[j] == u'}') return {kQuantAtLeast, static_cast<uint16_t>(n), kUnbounded, j + 1};
    if (read_number(c.p, end, j, m) == 0 || j >= end || c.p[j] != u'}')
        c.error(err::pattern_braces_max);
    if (m < n || m > 0xFFFF) c.error(err::pattern_braces_range);
    return {kQuantRange, static_cast<uint16_t>(n), static_cast<uint16_t>(m), j + 1};
}

Quant parse_quant(const Compiler& c, size_t i, size_t end) {
    Quant q{};
    switch (c.p[i]) {
    case u'*': q = {kQuantAtLeast, 0, kUnbounded, i + 1}; break;
    case u'+': q = {kQuantAtLeast, 1, kUnbounded, i + 1}; break;
    case u'?': q = {kQuantOptional, 0, 1, i + 1}; break;
    default: q = parse_braces(c, i, end); break;
    }
    if (q.next < end && c.p[q.next] == u'?') {
        if (q.code != kQuantExact) q.code |= kQuantLazy;
        ++q.next;
    }
    return q;
}

// The quantifier's own text for messages.
std::string quant_text(const Compiler& c, size_t i, size_t end) {
    std::string out;
    if (c.p[i] != u'{') {
        out.push_back(static_cast<char>(c.p[i]));
        return out;
    }
    for (size_t k = i; k < end; ++k) {
        out.push_back(c.p[k] < 0x80 ? static_cast<char>(c.p[k]) : '?');
        if (c.p[k] == u'}') break;
    }
    return out;
}

[[noreturn]] void not_quantifiable(const Compiler& c, char16_t q, size_t i, size_t end) {
    switch (q) {
    case u'*': c.error_src(err::pattern_star_bad);
    case u'+': c.error_src(err::pattern_plus_bad);
    case u'?': c.error_src(err::pattern_question_bad);
    default: fail(c.how, err::pattern_nothing_to_repeat, quant_text(c, i, end).c_str());
    }
}

// The node a quantifier at i applies to: the last unit of a pending run
// (split off as its own node), else the previous node.
Node& quant_target(const Compiler& c, Sequence& s, size_t i, size_t end) {
    if (s.last == Last::Lookaround) not_quantifiable(c, c.p[i], i, end);
    if (!s.run.empty()) {
        Units lastu{s.run.folded.substr(s.run.size() - 1), s.run.written.substr(s.run.size() - 1)};
        s.run.folded.pop_back();
        s.run.written.pop_back();
        close_run(c, s);
        return push_node(c, s, text_node(c, s, NodeType::Char, lastu));
    }
    if (s.nodes.empty()) fail(c.how, err::pattern_nothing_to_repeat, quant_text(c, i, end).c_str());
    Node& n = s.nodes.back();
    switch (n.type) {
    case NodeType::Run:
    case NodeType::WordEdge:
    case NodeType::NotWordEdge:
    case NodeType::Group:
    case NodeType::Empty: not_quantifiable(c, c.p[i], i, end);
    default: break;
    }
    if (n.quant != kQuantNone) fail(c.how, err::pattern_repeat_repeated, quant_text(c, i, end).c_str());
    return n;
}

size_t compile_quant(const Compiler& c, Sequence& s, size_t i, size_t end) {
    Node& n = quant_target(c, s, i, end);
    Quant q = parse_quant(c, i, end);
    if (q.next < end && (c.p[q.next] == u'*' || c.p[q.next] == u'+')) {
        switch (c.p[i]) {
        case u'*': c.error_src(err::pattern_star_repeated);
        case u'+': c.error_src(err::pattern_plus_repeated);
        case u'?': c.error_src(err::pattern_question_repeated);
        default: break;  // after braces: the next quantifier finds the node quantified
        }
    }
    n.quant = q.code;
    n.min = q.min;
    n.max = q.max;
    return q.next;
}

// ---- groups and lookarounds ------------------------------------------------------

// The matching ")" of the "(" at i (escaped brackets skipped).
size_t group_end(const Compiler& c, size_t i, size_t end) {
    unsigned depth = 1;
    for (size_t k = i + 1; k < end; ++k) {
        if (c.p[k] == u'\\') {
            ++k;
        } else if (c.p[k] == u'(') {
            ++depth;
        } else if (c.p[k] == u')' && --depth == 0) {
            return k;
        }
    }
    c.error_src(err::pattern_group_bad);
}

bool name_unit(char16_t u, bool first) {
    bool letter = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'_';
    return letter || (!first && u >= u'0' && u <= u'9');
}

// The name of "(?<name>", j at its first unit; gives the symbol number and
// moves j past the ">".
uint32_t group_name(const Compiler& c, size_t& j, size_t close) {
    size_t from = j;
    while (j < close && c.p[j] != u'>') {
        if (!name_unit(c.p[j], j == from)) c.error(err::pattern_group_name);
        if (j - from >= kMaxGroupName) c.error(err::pattern_group_name_long);
        ++j;
    }
    if (j >= close) c.error_src(err::pattern_group_name_open);
    if (j == from) c.error(err::pattern_group_name);
    std::string name(c.p + from, c.p + j);  // ASCII by the check above
    ++j;
    return intern(name);
}

Value compile_nested(Compiler& c, size_t begin, size_t end) {
    if (++c.depth > kMaxNesting) c.too_big();
    Value v = compile_pattern(c, begin, end);
    --c.depth;
    return v;
}

// A lookbehind still waiting for its node gets a zero-width node of its own.
void flush_behind(const Compiler& c, Sequence& s) {
    if (s.behind != Look::None) push_node(c, s, plain_node(NodeType::Empty));
}

void attach_ahead(const Compiler& c, Sequence& s, Look look, Value pattern) {
    flush_behind(c, s);
    bool free_node = !s.nodes.empty() && s.nodes.back().look == Look::None;
    Node& n = free_node ? s.nodes.back() : push_node(c, s, plain_node(NodeType::Empty));
    n.look = look;
    set_look_pattern(n, pattern.bits);
    s.last = Last::Lookaround;
}

size_t compile_group(Compiler& c, Sequence& s, size_t i, size_t end) {
    size_t close = group_end(c, i, end);
    close_run(c, s);
    size_t j = i + 1;
    Node n{};
    if (j < close && c.p[j] == u'?') {
        char16_t a = j + 1 < close ? c.p[j + 1] : 0;
        char16_t b = j + 2 < close ? c.p[j + 2] : 0;
        if (a == u'=' || a == u'!') {
            attach_ahead(c, s, a == u'=' ? Look::Ahead : Look::NotAhead, compile_nested(c, j + 2, close));
            if (close + 1 < end && std::char_traits<char16_t>::find(u"*+?{", 4, c.p[close + 1]))
                c.error_src(err::pattern_lookbehind_bad);
            return close + 1;
        }
        if (a == u'<' && (b == u'=' || b == u'!')) {
            Value pattern = compile_nested(c, j + 3, close);
            flush_behind(c, s);
            s.behind = b == u'=' ? Look::Behind : Look::NotBehind;
            s.behind_pattern = pattern.bits;
            s.last = Last::Lookaround;
            return close + 1;
        }
        if (a == u':') {
            n = plain_node(NodeType::PlainGroup);
            n.sub.set(compile_nested(c, j + 2, close).bits);
            push_node(c, s, n);
            return close + 1;
        }
        if (a != u'<') c.error_src(err::pattern_group_bad);
        j += 2;
        n.name.set(group_name(c, j, close));
    }
    if (*s.group_no >= kMaxGroups || c.slots >= kMaxGroups) c.too_big();
    Node g = plain_node(NodeType::Group);
    g.name = n.name;
    g.aux = static_cast<uint8_t>(++*s.group_no);
    g.min = static_cast<uint16_t>(++c.slots);  // numbered before the groups inside it
    g.max = 0;
    g.sub.set(compile_nested(c, j, close).bits);
    push_node(c, s, g);
    return close + 1;
}

// ---- sequences and patterns ---------------------------------------------------

// Under flag i the text buffer keeps the matched (upper-cased) pieces that
// the nodes point to and, when the pattern wrote a capital letter, a copy of
// them as written right after (the source text reads it; see
// written_text_of).  Without a capital, the lower-cased pieces read as
// written and no copy is kept.
std::u16string stored_text(const Compiler& c, const Sequence& s) {
    if (!(c.flags & kFlagIgnoreCase)) return s.text;
    bool capital = std::any_of(s.written_text.begin(), s.written_text.end(),
                               [](char16_t u) { return u >= u'A' && u <= u'Z'; });
    if (!capital || 2 * s.text.size() > kMaxSeqText) return s.text;
    return s.text + s.written_text;
}

Value store_sequence(const Compiler& c, const Sequence& s) {
    std::u16string text = stored_text(c, s);
    size_t bytes = kSeqTextOffset + (text.size() + 1) * sizeof(char16_t);
    AreaBlock b = area_alloc(bytes);
    std::memset(b.ptr, 0, bytes);
    auto* blk = static_cast<SeqBlock*>(b.ptr);
    blk->header = header_of(Kind::RegExp, 0);
    blk->flags = c.flags;
    blk->node_count = static_cast<uint16_t>(s.nodes.size());
    blk->text_len = static_cast<uint16_t>(text.size());
    std::memcpy(seq_text(blk), text.data(), text.size() * sizeof(char16_t));
    AreaBlock nodes = area_alloc(s.nodes.size() * sizeof(Node));
    std::memcpy(nodes.ptr, s.nodes.data(), s.nodes.size() * sizeof(Node));
    blk->nodes.set(nodes.addr.bits);
    return Value::area(Kind::RegExp, b.addr);
}

// One sequence from i up to a "|" at this level or the end; gives the block
// and the index where it stopped.
std::pair<Value, size_t> compile_sequence(Compiler& c, size_t i, size_t end, unsigned& group_no) {
    if (i >= end || c.p[i] == u'|') {
        if (i < end) c.error(err::pattern_empty_alternative);
        c.error(err::pattern_missing);
    }
    Sequence s;
    s.group_no = &group_no;
    while (i < end && c.p[i] != u'|') {
        char16_t u = c.p[i];
        switch (u) {
        case u'^':
            if (!s.nodes.empty() || !s.run.empty()) c.error_src(err::pattern_end_not_last);
            push_node(c, s, plain_node(NodeType::Begin));
            ++i;
            break;
        case u'$':
            if (i + 1 < end && c.p[i + 1] != u'|') c.error_src(err::pattern_end_followed);
            close_run(c, s);
            push_node(c, s, plain_node(NodeType::End));
            ++i;
            break;
        case u'.':
            close_run(c, s);
            push_node(c, s, plain_node(NodeType::Dot));
            ++i;
            break;
        case u'[': i = compile_class(c, s, i, end); break;
        case u'(': i = compile_group(c, s, i, end); break;
        case u'*':
        case u'+':
        case u'?':
        case u'{': i = compile_quant(c, s, i, end); break;
        case u'\\': i = compile_escape(c, s, i, end); break;
        default:
            add_char(c, s, u);
            ++i;
            break;
        }
    }
    close_run(c, s);
    if (s.behind != Look::None) c.error_src(err::pattern_lookahead_bad);
    if (s.nodes.empty()) c.error(err::pattern_missing);
    return {store_sequence(c, s), i};
}

Value store_alternation(const Compiler& c, const std::vector<Value>& seqs) {
    if (seqs.size() > 0xFFFF) c.too_big();
    AreaBlock items = area_alloc(seqs.size() * sizeof(Word32));
    for (size_t k = 0; k < seqs.size(); ++k) static_cast<Word32*>(items.ptr)[k].set(seqs[k].bits);
    AreaBlock b = area_alloc(sizeof(AltBlock));
    std::memset(b.ptr, 0, sizeof(AltBlock));
    auto* alt = static_cast<AltBlock*>(b.ptr);
    alt->header = header_of(Kind::RegExp, 0);
    alt->flags = static_cast<uint8_t>(c.flags | kFlagAlternation);
    alt->alt_count = static_cast<uint16_t>(seqs.size());
    alt->alts.set(items.addr.bits);
    return Value::area(Kind::RegExp, b.addr);
}

Value compile_pattern(Compiler& c, size_t begin, size_t end) {
    if (begin >= end) c.error(err::pattern_group_empty);
    unsigned group_no = 0;
    std::vector<Value> seqs;
    size_t i = begin;
    while (true) {
        auto [seq, stop] = compile_sequence(c, i, end, group_no);
        seqs.push_back(seq);
        if (stop >= end) break;
        i = stop + 1;  // past the "|"
        if (i >= end) c.error(err::pattern_missing);
    }
    return seqs.size() == 1 ? seqs[0] : store_alternation(c, seqs);
}

}  // namespace
}  // namespace regex

Value compile_regex(const char16_t* units, size_t count, uint8_t flags, RaiseAs how) {
    regex::Compiler c{units, static_cast<uint8_t>(flags & ~regex::kFlagAlternation), how, {}, 0, 0};
    units_to_utf8(units, count, c.source);
    return regex::compile_pattern(c, 0, count);
}

}  // namespace koru
