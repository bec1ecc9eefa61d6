// The backtracking matcher.  It walks the stored nodes directly: for each
// node it finds the node's next occurrence and requires the rest of the
// sequence to match from where that occurrence ends.  Quantified nodes are
// resolved by the split walk (the rest's occurrences inside the node's
// range), and a leading repetition is taken backwards from where the rest
// was found.
//
// "limit" parameters are an optimisation only: a search given a limit may
// stop once every start it could still report lies beyond the limit, and
// every caller that passes one discards such starts anyway.
#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "host/errors.h"
#include "runtime/limits.h"
#include "strings/regex/nodes.h"
#include "strings/regex/regex.h"

namespace koru {
namespace regex {
namespace {

using Pos = int64_t;
constexpr Pos kNone = -1;
constexpr Pos kNoLimit = std::numeric_limits<Pos>::max();

// A few kilobytes of subject against a pathological pattern must end in an
// error within a fraction of a second rather than run for minutes.
constexpr uint64_t kMaxSteps = 50'000'000;
constexpr uint64_t kLimitCheckSteps = 4096;
// Nested procedure calls; each quantified node and each group adds a level.
constexpr unsigned kMaxDepth = 1500;

struct Seq {
    const Node* nodes;
    unsigned count;
    const char16_t* text;
};

Seq seq_of(Value re) {
    const SeqBlock* b = seq_block(re);
    return {seq_nodes(b), b->node_count, seq_text(b)};
}

bool is_word_unit(char16_t u) {
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'_';
}
bool is_digit_unit(char16_t u) { return u >= u'0' && u <= u'9'; }
bool is_space_unit(char16_t u) { return u == u'\t' || u == u'\n' || u == u'\r' || u == u' '; }

bool is_unit_node(NodeType t) {
    switch (t) {
    case NodeType::Char:
    case NodeType::Class:
    case NodeType::NegClass:
    case NodeType::Word:
    case NodeType::NotWord:
    case NodeType::Digit:
    case NodeType::NotDigit:
    case NodeType::Space:
    case NodeType::NotSpace:
    case NodeType::Dot:
    case NodeType::AnyUnit: return true;
    default: return false;
    }
}

bool is_zero_width(NodeType t) {
    return t == NodeType::Begin || t == NodeType::End || t == NodeType::WordEdge || t == NodeType::NotWordEdge ||
           t == NodeType::Empty;
}

bool class_flags_match(uint8_t flags, char16_t u) {
    return ((flags & kClassWord) && is_word_unit(u)) || ((flags & kClassNotWord) && !is_word_unit(u)) ||
           ((flags & kClassDigit) && is_digit_unit(u)) || ((flags & kClassNotDigit) && !is_digit_unit(u)) ||
           ((flags & kClassSpace) && is_space_unit(u)) || ((flags & kClassNotSpace) && !is_space_unit(u));
}

struct Range {
    unsigned min, max;
};
Range range_of(const Node& n) { return n.quant == kQuantNone ? Range{1, 1} : Range{n.min, n.max}; }
bool is_optional(const Node& n) { return n.base_quant() == kQuantOptional; }
bool is_leading_zero(const Node& n) { return range_of(n).min == 0 && !is_optional(n); }
bool has_range_quant(const Node& n) { return n.base_quant() == kQuantRange || n.base_quant() == kQuantAtLeast; }

class Matcher {
public:
    Matcher(const char16_t* s, size_t n, uint8_t flags, std::vector<Span>& caps)
        : s_(s), n_(static_cast<Pos>(n)), flags_(flags), caps_(caps) {}

    bool search(Value re, Pos pos, Pos limit, Pos& s, Pos& e);
    Pos anchored(Value re, Pos pos);

private:
    const char16_t* s_;
    Pos n_;
    uint8_t flags_;
    std::vector<Span>& caps_;
    uint64_t steps_ = 0;
    uint64_t next_check_ = kLimitCheckSteps;
    unsigned depth_ = 0;

    struct Depth {
        Matcher& m;
        explicit Depth(Matcher& mm) : m(mm) {
            if (++m.depth_ > kMaxDepth) over_budget();
        }
        ~Depth() { --m.depth_; }
    };

    [[noreturn]] static void over_budget() { raise_runtime(err::pattern_match_budget); }
    // The budget, and every few thousand steps the request's limits: a
    // backtracking match may run long within its budget.
    void tick(uint64_t k = 1) {
        steps_ += k;
        if (steps_ > next_check_) [[unlikely]]
            checkpoint();
    }
    [[gnu::noinline]] void checkpoint() {
        if (steps_ > kMaxSteps) over_budget();
        check_limits();
        next_check_ = std::min(steps_ + kLimitCheckSteps, kMaxSteps);
    }
    // The subject as a buffer with a 0 unit on either side.
    char16_t at(Pos p) const { return p >= 0 && p < n_ ? s_[p] : 0; }

    bool unit_matches(const Seq& q, const Node& n, char16_t u) const;
    bool zero_width_holds(const Node& n, Pos p) const;
    Span* capture_of(const Node& group) {
        return group.min < caps_.size() ? &caps_[group.min] : nullptr;
    }

    bool sub_search(const Node& n, Pos p, Pos limit, Pos& s, Pos& e);
    Pos match_one_at(const Seq& q, const Node& n, Pos p);
    Pos match_back_ref(const Seq& q, const Node& n, Pos p);
    Pos match_count_at(const Seq& q, const Node& n, Pos p, unsigned k);
    bool occurrence(const Seq& q, const Node& n, Pos pos, unsigned k, Pos limit, Pos& s, Pos& g);
    bool unit_occurrence(const Seq& q, const Node& n, Pos pos, unsigned k, Pos limit, Pos& s, Pos& g);
    bool run_occurrence(const Seq& q, const Node& n, Pos pos, Pos limit, Pos& s, Pos& g);
    Pos extend(const Seq& q, const Node& n, Pos e, unsigned k);
    bool covers(const Seq& q, const Node& n, Pos from, Pos to);
    Pos extend_back(const Seq& q, const Node& n, Pos p, Pos bound);
    bool look_ok(const Node& n, Pos s, Pos e, Pos bound);

    Pos match_rest_at(const Seq& q, unsigned i, Pos pos, Pos bound);
    Pos split_walk(const Seq& q, unsigned i, Pos lo, Pos hi, bool greedy);
    bool search_rest(const Seq& q, unsigned i, Pos pos, Pos limit, Pos& s, Pos& e);
    bool search_leading_zero(const Seq& q, unsigned i, Pos pos, Pos limit, Pos& s, Pos& e);
    bool search_optional(const Seq& q, unsigned i, Pos pos, Pos& s, Pos& e);
    bool search_alternatives(Value re, Pos pos, Pos limit, Pos& s, Pos& e);
};

// ---- single units and positions ---------------------------------------------------

bool Matcher::unit_matches(const Seq& q, const Node& n, char16_t u) const {
    switch (n.type) {
    case NodeType::Char: return u == q.text[n.text_off];
    case NodeType::Class:
    case NodeType::NegClass: {
        const char16_t* m = q.text + n.text_off;
        bool in = std::find(m, m + n.text_len, u) != m + n.text_len || class_flags_match(n.aux, u);
        return in == (n.type == NodeType::Class);
    }
    case NodeType::Word: return is_word_unit(u);
    case NodeType::NotWord: return !is_word_unit(u);
    case NodeType::Digit: return is_digit_unit(u);
    case NodeType::NotDigit: return !is_digit_unit(u);
    case NodeType::Space: return is_space_unit(u);
    case NodeType::NotSpace: return !is_space_unit(u);
    case NodeType::Dot: return (flags_ & kFlagDotAll) || (u != u'\n' && u != u'\r');
    case NodeType::AnyUnit: return true;
    default: return false;
    }
}

bool Matcher::zero_width_holds(const Node& n, Pos p) const {
    bool multiline = flags_ & kFlagMultiline;
    switch (n.type) {
    case NodeType::Begin: return p == 0 || (multiline && at(p - 1) == u'\n');
    case NodeType::End: return p == n_ || (multiline && at(p) == u'\n');
    case NodeType::WordEdge: return is_word_unit(at(p - 1)) != is_word_unit(at(p));
    case NodeType::NotWordEdge: return is_word_unit(at(p - 1)) == is_word_unit(at(p));
    case NodeType::Empty: return true;
    default: return false;
    }
}

// ---- one repetition -----------------------------------------------------------------

// A group's content searched as a whole pattern; a capturing group keeps
// the span of its match, and loses it when the content does not match.
bool Matcher::sub_search(const Node& n, Pos p, Pos limit, Pos& s, Pos& e) {
    bool found = search(Value(n.sub.get()), p, limit, s, e) && s <= limit;
    if (n.type == NodeType::Group) {
        if (Span* c = capture_of(n)) *c = found ? Span{s, e} : Span{};
    }
    return found;
}

Pos Matcher::match_back_ref(const Seq& q, const Node& n, Pos p) {
    if (n.text_off >= q.count) return kNone;
    const Span* c = capture_of(q.nodes[n.text_off]);
    if (!c || !c->matched() || c->end <= c->start) return kNone;
    Pos len = c->end - c->start;
    if (p + len > n_) return kNone;
    tick(static_cast<uint64_t>(len));
    return std::equal(s_ + c->start, s_ + c->end, s_ + p) ? p + len : kNone;
}

Pos Matcher::match_one_at(const Seq& q, const Node& n, Pos p) {
    tick();
    if (is_unit_node(n.type)) return p < n_ && unit_matches(q, n, s_[p]) ? p + 1 : kNone;
    if (is_zero_width(n.type)) return zero_width_holds(n, p) ? p : kNone;
    switch (n.type) {
    case NodeType::Run: {
        const char16_t* t = q.text + n.text_off;
        if (p + n.text_len > n_) return kNone;
        tick(n.text_len);
        return std::equal(t, t + n.text_len, s_ + p) ? p + n.text_len : kNone;
    }
    case NodeType::BackRef: return match_back_ref(q, n, p);
    case NodeType::Group:
    case NodeType::PlainGroup: {
        Pos s = 0, e = 0;
        if (!sub_search(n, p, p, s, e) || s != p) {
            if (n.type == NodeType::Group)
                if (Span* c = capture_of(n)) *c = Span{};
            return kNone;
        }
        return e;
    }
    default: return kNone;
    }
}

Pos Matcher::match_count_at(const Seq& q, const Node& n, Pos p, unsigned k) {
    for (unsigned j = 0; j < k && p != kNone; ++j) p = match_one_at(q, n, p);
    return p;
}

// ---- occurrences ---------------------------------------------------------------

bool Matcher::unit_occurrence(const Seq& q, const Node& n, Pos pos, unsigned k, Pos limit, Pos& s, Pos& g) {
    Pos p = pos;
    while (p < n_ && p <= limit) {
        Pos r = p;
        while (r < n_ && r - p < static_cast<Pos>(k) && unit_matches(q, n, s_[r])) ++r;
        tick(static_cast<uint64_t>(r - p + 1));
        if (r - p == static_cast<Pos>(k)) {
            s = p;
            g = r;
            return true;
        }
        p = r + 1;  // the unit at r breaks every run that contains it
    }
    return false;
}

bool Matcher::run_occurrence(const Seq& q, const Node& n, Pos pos, Pos limit, Pos& s, Pos& g) {
    const char16_t* t = q.text + n.text_off;
    Pos len = n.text_len;
    for (Pos p = pos; p + len <= n_ && p <= limit; ++p) {
        tick();
        if (s_[p] == t[0] && std::equal(t, t + len, s_ + p)) {
            s = p;
            g = p + len;
            return true;
        }
    }
    return false;
}

bool Matcher::occurrence(const Seq& q, const Node& n, Pos pos, unsigned k, Pos limit, Pos& s, Pos& g) {
    if (is_unit_node(n.type)) return unit_occurrence(q, n, pos, k, limit, s, g);
    if (n.type == NodeType::Run) return run_occurrence(q, n, pos, limit, s, g);
    for (Pos p = pos; p <= n_ && p <= limit;) {
        if (n.is_group()) {
            Pos s1 = 0, e1 = 0;
            if (!sub_search(n, p, limit, s1, e1)) return false;
            Pos e = match_count_at(q, n, e1, k - 1);
            if (e != kNone) {
                s = s1;
                g = e;
                return true;
            }
            p = s1 + 1;
        } else {
            Pos e = match_count_at(q, n, p, k);
            if (e != kNone) {
                s = p;
                g = e;
                return true;
            }
            ++p;
        }
    }
    return false;
}

// ---- extend, covers, extend_back ---------------------------------------------------

Pos Matcher::extend(const Seq& q, const Node& n, Pos e, unsigned k) {
    Range r = range_of(n);
    uint64_t more = r.max == kUnbounded ? std::numeric_limits<uint64_t>::max() : r.max > k ? r.max - k : 0;
    if (is_unit_node(n.type)) {
        Pos from = e;
        while (more > 0 && e < n_ && unit_matches(q, n, s_[e])) {
            ++e;
            --more;
        }
        tick(static_cast<uint64_t>(e - from + 1));
        return e;
    }
    for (; more > 0; --more) {
        Pos next = match_one_at(q, n, e);
        if (next == kNone || next == e) break;  // a repetition that takes nothing ends the loop
        e = next;
    }
    return e;
}

bool Matcher::covers(const Seq& q, const Node& n, Pos from, Pos to) {
    if (is_unit_node(n.type)) {
        tick(static_cast<uint64_t>(to > from ? to - from : 1));
        for (Pos p = from; p < to; ++p)
            if (!unit_matches(q, n, s_[p])) return false;
        return true;
    }
    // Other nodes: [from, to) is a whole number of repetitions.
    for (Pos p = from; p < to;) {
        Pos e = match_one_at(q, n, p);
        if (e == kNone || e == p || e > to) return false;
        p = e;
    }
    return true;
}

Pos Matcher::extend_back(const Seq& q, const Node& n, Pos p, Pos bound) {
    if (is_unit_node(n.type)) {
        Pos from = p;
        while (p > bound && unit_matches(q, n, at(p - 1))) --p;
        tick(static_cast<uint64_t>(from - p + 1));
        return p;
    }
    if (is_zero_width(n.type)) return p;
    // Other nodes: step back over the nearest repetition that ends at p.
    while (p > bound) {
        Pos q0 = kNone;
        for (Pos b = p - 1; b >= bound; --b) {
            if (match_one_at(q, n, b) == p) {
                q0 = b;
                break;
            }
        }
        if (q0 == kNone) break;
        p = q0;
    }
    return p;
}

// ---- lookarounds -----------------------------------------------------------------

bool Matcher::look_ok(const Node& n, Pos s, Pos e, Pos bound) {
    Value pattern(look_pattern(n));
    Pos ls = 0, le = 0;
    if (n.look == Look::Ahead || n.look == Look::NotAhead) {
        bool found = search(pattern, e, e, ls, le) && ls == e;
        return found == (n.look == Look::Ahead);
    }
    // A match that ends exactly at s and starts no earlier than the bound.
    bool found = false;
    for (Pos p = bound; p <= s && !found;) {
        if (!search(pattern, p, s, ls, le) || ls > s) break;
        found = le == s;
        p = ls + 1;
    }
    return found == (n.look == Look::Behind);
}

// ---- the rest of a sequence ----------------------------------------------------------

Pos Matcher::match_rest_at(const Seq& q, unsigned i, Pos pos, Pos bound) {
    Depth guard(*this);
    for (;; ++i) {
        if (i >= q.count) return pos;
        tick();
        const Node& n = q.nodes[i];
        bool last = i + 1 == q.count;
        bool greedy = !n.lazy();
        if (is_leading_zero(n)) {
            if (last) return greedy ? extend(q, n, pos, 0) : pos;
            return split_walk(q, i, pos, extend(q, n, pos, 0), greedy);
        }
        if (is_optional(n)) {
            if (last) {
                if (!greedy) return pos;
                Pos e = match_count_at(q, n, pos, 1);
                return e != kNone ? e : pos;
            }
            if (greedy) {
                Pos e = match_count_at(q, n, pos, 1);
                if (e != kNone) {
                    Pos r = match_rest_at(q, i + 1, e, bound);
                    if (r != kNone) return r;
                }
                continue;  // the rest from pos
            }
            Pos r = match_rest_at(q, i + 1, pos, bound);
            if (r != kNone) return r;
            pos = match_count_at(q, n, pos, 1);
            if (pos == kNone) return kNone;
            continue;
        }
        unsigned k = range_of(n).min;
        Pos e = match_count_at(q, n, pos, k);
        if (e == kNone) return kNone;
        if (n.look != Look::None && !look_ok(n, pos, e, bound)) return kNone;
        if (last) return greedy ? extend(q, n, e, k) : e;
        if (has_range_quant(n)) return split_walk(q, i, e, extend(q, n, e, k), greedy);
        pos = e;
    }
}

// Node i's repetitions cover [lo, t) and the rest starts at t, for t up to hi:
// greedy takes the largest such t, lazy the smallest.
// (The rest's searches start at lo or later and bound their own lookbehinds.)
Pos Matcher::split_walk(const Seq& q, unsigned i, Pos lo, Pos hi, bool greedy) {
    Depth guard(*this);
    const Node& n = q.nodes[i];
    Pos t = 0, en = 0;
    if (greedy && search_rest(q, i + 1, hi, hi, t, en) && t == hi) return en;
    Pos best = kNone;
    for (Pos p = lo; p <= hi;) {
        if (!search_rest(q, i + 1, p, hi, t, en) || t > hi) break;
        if (covers(q, n, lo, t)) {
            if (!greedy) return en;
            best = en;
        }
        p = t + 1;
    }
    return greedy ? best : kNone;
}

bool Matcher::search_leading_zero(const Seq& q, unsigned i, Pos pos, Pos limit, Pos& s, Pos& e) {
    const Node& n = q.nodes[i];
    if (i + 1 == q.count) {
        s = pos;
        e = n.lazy() ? pos : extend(q, n, pos, 0);
        return true;
    }
    // A start at or before the limit needs the rest to begin within the
    // node's reach from there (for single-unit nodes, where that is cheap).
    Pos rest_limit = kNoLimit;
    if (limit != kNoLimit && is_unit_node(n.type)) rest_limit = extend(q, n, std::max(limit, pos), 0);
    Pos t = 0, en = 0;
    if (!search_rest(q, i + 1, pos, rest_limit, t, en)) return false;
    s = extend_back(q, n, t, pos);
    e = en;
    return true;
}

bool Matcher::search_optional(const Seq& q, unsigned i, Pos pos, Pos& s, Pos& e) {
    const Node& n = q.nodes[i];
    s = pos;
    if (i + 1 == q.count) {
        Pos x = n.lazy() ? kNone : match_count_at(q, n, pos, 1);
        e = x != kNone ? x : pos;
        return true;
    }
    Pos t = 0, en = 0;
    if (n.lazy()) {
        Pos rest_limit = is_unit_node(n.type) ? pos + 1 : kNoLimit;
        if (!search_rest(q, i + 1, pos, rest_limit, t, en)) return false;
        if (t != pos && match_count_at(q, n, pos, 1) != t) return false;
        e = en;
        return true;
    }
    Pos x = match_count_at(q, n, pos, 1);
    if (x != kNone && search_rest(q, i + 1, x, x, t, en) && t == x) {
        e = en;
        return true;
    }
    if (search_rest(q, i + 1, pos, pos, t, en) && t == pos) {
        e = en;
        return true;
    }
    return false;
}

bool Matcher::search_rest(const Seq& q, unsigned i, Pos pos, Pos limit, Pos& s, Pos& e) {
    Depth guard(*this);
    tick();
    if (i >= q.count) {
        s = e = pos;
        return true;
    }
    const Node& n = q.nodes[i];
    if (is_leading_zero(n)) return search_leading_zero(q, i, pos, limit, s, e);
    if (is_optional(n)) return search_optional(q, i, pos, s, e);
    // The end of the subject is a position like any other: "$", "\b", a
    // lookaround or a group that may match nothing can occur there.  Nodes
    // that take a unit find no occurrence there.
    if (pos > n_) return false;
    bool last = i + 1 == q.count;
    bool greedy = !n.lazy();
    unsigned k = range_of(n).min;
    for (Pos p = pos; p <= n_ && p <= limit;) {
        Pos os = 0, og = 0;
        if (!occurrence(q, n, p, k, limit, os, og)) return false;
        if (n.look != Look::None && !look_ok(n, os, og, pos)) {
            p = os + 1;
            continue;
        }
        Pos end;
        if (last) end = greedy ? extend(q, n, og, k) : og;
        else if (has_range_quant(n)) end = split_walk(q, i, og, extend(q, n, og, k), greedy);
        else end = match_rest_at(q, i + 1, og, pos);
        if (end != kNone) {
            s = os;
            e = end;
            return true;
        }
        p = os + 1;
    }
    return false;
}

// ---- whole patterns ------------------------------------------------------------

// Every alternative is searched; the earliest start wins, the earlier
// alternative on equal starts.  Groups of the alternatives that lost keep
// the spans they had before.
bool Matcher::search_alternatives(Value re, Pos pos, Pos limit, Pos& s, Pos& e) {
    const AltBlock* a = alt_block(re);
    std::vector<Span> before = caps_, best_caps;
    bool found = false;
    for (unsigned k = 0; k < a->alt_count; ++k) {
        caps_ = before;
        Pos as = 0, ae = 0;
        Seq q = seq_of(alt_item(a, k));
        if (search_rest(q, 0, pos, limit, as, ae) && as <= limit && (!found || as < s)) {
            found = true;
            s = as;
            e = ae;
            best_caps = caps_;
            limit = as - 1;  // only an earlier start can win now
        }
    }
    caps_ = found ? best_caps : before;
    return found && s <= n_;
}

bool Matcher::search(Value re, Pos pos, Pos limit, Pos& s, Pos& e) {
    Depth guard(*this);
    if (is_alternation(re)) return search_alternatives(re, pos, limit, s, e);
    return search_rest(seq_of(re), 0, pos, limit, s, e);
}

Pos Matcher::anchored(Value re, Pos pos) {
    if (!is_alternation(re)) return match_rest_at(seq_of(re), 0, pos, pos);
    const AltBlock* a = alt_block(re);
    std::vector<Span> before = caps_;
    for (unsigned k = 0; k < a->alt_count; ++k) {
        caps_ = before;
        Pos e = match_rest_at(seq_of(alt_item(a, k)), 0, pos, pos);
        if (e != kNone) return e;
    }
    caps_ = before;
    return kNone;
}

}  // namespace
}  // namespace regex

bool regex_exec(Value re, const char16_t* subject, size_t len, size_t start, Captures& out) {
    using namespace regex;
    out.groups.assign(regex_group_count(re) + 1, Span{});
    // A search from the end of a subject finds nothing, so that the loops
    // that step past an empty match end there; the empty subject itself is
    // searched from 0 like any other.
    if (start > len || (start == len && len > 0)) return false;
    uint8_t flags = regex_flags(re);
    Matcher m(subject, len, flags, out.groups);
    Pos s = static_cast<Pos>(start), e = kNone;
    if (flags & kFlagSticky) {
        e = m.anchored(re, s);
    } else if (!m.search(re, s, kNoLimit, s, e)) {
        e = kNone;
    }
    if (e == kNone) return false;
    out.start = static_cast<size_t>(s);
    out.end = static_cast<size_t>(e);
    return true;
}

}  // namespace koru
