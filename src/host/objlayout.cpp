#include "host/objlayout.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "runtime/area.h"
#include "runtime/symbols.h"
#include "strings/regex/nodes.h"

namespace koru {

namespace {

constexpr uint32_t kCellRefSpace = kMaxCellPages * kCellsPerPage;

uint32_t cell_site(Value v, unsigned word) { return v.page() * 65536 + v.slot() * 4 + word; }

// The linear compile-area index of word `j` of a class-0 block.
uint32_t block_site(AreaAddr a, uint64_t j) {
    uint32_t page = (a.bits >> 10) & 0x3FF, offset = a.bits & 0x3FF;
    return static_cast<uint32_t>(page * kWordPageUnits + offset + j);
}

class Walk {
public:
    explicit Walk(CompiledMemory& m) : m_(m), state_(kCellRefSpace, kNew) {}

    // Depth first, without recursion.  Compiled code is acyclic (functions
    // call each other by name), and the interpreter recurses along these
    // references, so a cycle is refused rather than run into a stack overflow.
    void run(const std::vector<Value>& roots) {
        walk(roots);
        check_blocks_apart();
    }

private:
    void walk(const std::vector<Value>& roots) {
        for (Value v : roots) value(v);
        while (!todo_.empty()) {
            auto [v, leaving] = todo_.back();
            todo_.pop_back();
            uint8_t& st = state_[v.bits & 0xFFFFF];
            if (leaving) {
                st = static_cast<uint8_t>((st & kKindMask) | kDone);
                continue;
            }
            if ((st & kStateMask) != kNew) continue;
            st = static_cast<uint8_t>((st & kKindMask) | kOnPath);
            todo_.push_back({v, true});
            cell(v);
        }
    }

    // The storage of a literal (its elements, pairs or text) and a pattern's
    // head (its lastIndex) are written at run time: constant literals are
    // shared, so a push or a store goes into the block the image brought.
    // Such a block must share no word with any other block, or a write
    // would change code (an argument count, an operand) or another object's
    // storage under the interpreter.  Compiled code never shares them.
    struct Span {
        uint64_t start, end;
        bool written;
    };
    void claim(AreaAddr a, uint64_t count, bool written) {
        if (count == 0 || a.area_class() != 0) return;
        uint64_t start = block_site(a, 0);
        spans_.push_back({start, start + count, written});
    }
    void check_blocks_apart() {
        std::sort(spans_.begin(), spans_.end(), [](const Span& x, const Span& y) { return x.start < y.start; });
        uint64_t any_end = 0, written_end = 0;
        for (const Span& s : spans_) {
            if (s.start < written_end || (s.written && s.start < any_end)) m_.bad();
            any_end = std::max(any_end, s.end);
            if (s.written) written_end = std::max(written_end, s.end);
        }
    }

    // A Value word: symbols are translated, cells walked, immediates and
    // integer keys left alone.  Area objects never occur in compiled code.
    void value(Value v, const WordSite* site = nullptr) {
        Kind k = v.kind();
        if (k == Kind::Immediate) {
            if (!v.is_symbol()) return;
            m_.check_symbol(v.payload());
            // The predefined names have the same numbers in every table.
            if (site && v.payload() >= kPredefinedSymbols) m_.relocate(*site, Reloc::Symbol);
            return;
        }
        if (k == Kind::IntKey || k == Kind::None4) return;
        if (k == Kind::RegExp && !(v.bits >> 28)) return pattern(v, site, 0);
        // A cell reference keeps 0 above its page number.
        if (is_area_kind(k) || v.bits >> 28 || (v.bits >> 20) & 0xF) m_.bad();
        if (site) m_.relocate(*site, Reloc::CellRef);
        uint32_t id = v.bits & 0xFFFFF;
        if (id >= kCellRefSpace) m_.bad();
        // The cell itself is read once, with the kind of its first
        // reference; every later reference must name the same kind, or the
        // interpreter would read the cell as another type through it.
        uint8_t& st = state_[id];
        uint8_t kind = static_cast<uint8_t>(static_cast<unsigned>(k) << 4);
        if ((st & kKindMask) == 0) st = static_cast<uint8_t>(st | kind);
        else if ((st & kKindMask) != kind) m_.bad();
        if ((st & kStateMask) == kOnPath) m_.bad();
        if ((st & kStateMask) == kNew) todo_.push_back({v, false});
    }

    // A pattern compiled with the module (a regular-expression literal): a
    // tree of alternation and sequence blocks in the compile area.  Every
    // block is reached once and the depth is bounded, so that the matcher,
    // which recurses along these references, meets neither a cycle nor a
    // reference into nowhere.
    void pattern(Value v, const WordSite* site, unsigned depth) {
        AreaAddr a = v.area_addr();
        if (a.area_class() != 0 || depth > kMaxPatternDepth) m_.bad();
        if (site) m_.relocate(*site, Reloc::AreaAddr);
        if (!patterns_seen_.insert(a.bits).second) m_.bad();  // a tree: every block once
        const uint32_t* head = m_.words(a, 4);
        uint8_t flags = static_cast<uint8_t>(head[0] >> 8);
        uint32_t count = head[0] >> 16;
        if ((head[0] & 0xF) != static_cast<uint32_t>(Kind::RegExp)) m_.bad();
        if (flags & regex::kFlagAlternation) {
            claim(a, 4, true);
            AreaAddr items{head[1]};
            const uint32_t* w = block(WordSite{false, block_site(a, 1)}, items, count);
            for (uint32_t j = 0; j < count; ++j) {
                WordSite at{false, block_site(items, j)};
                Value alt(w[j]);
                if (alt.kind() != Kind::RegExp) m_.bad();
                pattern(alt, &at, depth + 1);
            }
            return;
        }
        // A sequence: its UTF-16 text (and terminator) must lie in the block too.
        uint32_t text_len = head[3] & 0xFFFF;
        uint64_t seq_words = (regex::kSeqTextOffset + (uint64_t{text_len} + 1) * 2 + 3) / 4;
        m_.words(a, seq_words);
        claim(a, seq_words, true);
        if (count == 0) return;
        AreaAddr nodes{head[1]};
        const uint32_t* w = block(WordSite{false, block_site(a, 1)}, nodes, uint64_t{count} * 5);
        for (uint32_t j = 0; j < count; ++j) node(nodes, j, w + j * 5, text_len, depth);
    }

    // A 20-byte node: `sub` (word 0) holds a group's content or a lookaround
    // pattern, `name` (word 1) a symbol, and a group keeps its lookaround
    // pattern in the text fields (word 4).  Every pattern the matcher will
    // follow must be there, and every piece of text must lie in the
    // sequence's text.
    void node(AreaAddr nodes, uint32_t j, const uint32_t* w, uint32_t text_len, unsigned depth) {
        regex::Node n;
        std::memcpy(static_cast<void*>(&n), w, sizeof n);
        auto inner = [&](unsigned word, uint32_t bits) {
            Value v(bits);
            if (v.kind() != Kind::RegExp) m_.bad();
            WordSite at{false, block_site(nodes, uint64_t{j} * 5 + word)};
            pattern(v, &at, depth + 1);
        };
        bool looks = n.look != regex::Look::None;
        if (n.is_group() || looks) inner(0, n.sub.get());
        if (n.is_group() && looks) inner(4, regex::look_pattern(n));
        word(WordSite{false, block_site(nodes, uint64_t{j} * 5 + 1)}, WordRole::Symbol, n.name.get());
        switch (n.type) {
        case regex::NodeType::Char:
            if (n.text_off >= text_len) m_.bad();
            break;
        case regex::NodeType::Run:
        case regex::NodeType::Class:
        case regex::NodeType::NegClass:
            if (uint32_t{n.text_off} + n.text_len > text_len) m_.bad();
            break;
        default:
            break;
        }
    }

    void word(WordSite site, WordRole role, uint32_t w) {
        if (role == WordRole::Value) return value(Value(w), &site);
        if (role == WordRole::Symbol) {
            if (w == 0) return;
            m_.check_symbol(w);
            if (w >= kPredefinedSymbols) m_.relocate(site, Reloc::Symbol);
        }
    }

    // A block of Values; its own address word is at `site`.  `written`:
    // the interpreter may write into it (see claim).
    const uint32_t* block(WordSite site, AreaAddr a, uint64_t count, bool written = false) {
        if (a.area_class() != 0) m_.bad();
        m_.relocate(site, Reloc::AreaAddr);
        const uint32_t* w = m_.words(a, count);
        claim(a, count, written);
        return w;
    }

    void values_in(AreaAddr a, const uint32_t* w, uint64_t from, uint64_t to) {
        for (uint64_t j = from; j < to; ++j) in_block(a, j, w[j]);
    }
    void in_block(AreaAddr a, uint64_t j, uint32_t w) {
        WordSite site{false, block_site(a, j)};
        value(Value(w), &site);
    }

    void cell(Value v) {
        const Cell* c = m_.cell(v);
        if (!c) return;
        if (c->type() != v.kind()) m_.bad();
        switch (v.kind()) {
        case Kind::String: return string(v, reinterpret_cast<const StringCell*>(c));
        case Kind::Array: return array(v, reinterpret_cast<const ArrayCell*>(c));
        case Kind::KeyedArray: {
            auto* k = reinterpret_cast<const KeyedArrayCell*>(c);
            return pairs(v, 1, k->pairs, k->count, k->capacity);
        }
        case Kind::Hash: {
            auto* h = reinterpret_cast<const HashCell*>(c);
            word(WordSite{true, cell_site(v, 3)}, WordRole::Symbol, h->class_symbol);
            return pairs(v, 2, h->pairs, h->count, h->capacity);
        }
        case Kind::Function: return function(v, reinterpret_cast<const FunctionCell*>(c));
        case Kind::Instruction: return instruction(v, reinterpret_cast<const InstrCell*>(c));
        default: return;  // Int, Double, Date: no references
        }
    }

    void string(Value v, const StringCell* s) {
        uint64_t bytes = std::max<uint64_t>(s->capacity, uint64_t{s->length} + 1);
        auto* text = reinterpret_cast<const char*>(block(WordSite{true, cell_site(v, 1)}, s->text, (bytes + 3) / 4, true));
        if (text[s->length] != '\0') m_.bad();
    }

    void array(Value v, const ArrayCell* a) {
        if (a->count > a->capacity) m_.bad();
        const uint32_t* w = block(WordSite{true, cell_site(v, 1)}, a->elements, a->capacity, true);
        values_in(a->elements, w, 0, a->count);
    }

    void pairs(Value v, unsigned at, AreaAddr vec, uint32_t count, uint32_t capacity) {
        if (count > capacity) m_.bad();
        const uint32_t* w = block(WordSite{true, cell_site(v, at)}, vec, uint64_t{capacity} * 2, true);
        values_in(vec, w, 0, uint64_t{count} * 2);
    }

    void function(Value v, const FunctionCell* f) {
        WordSite body{true, cell_site(v, 1)};
        value(Value(f->body), &body);
        unsigned names = f->param_count + f->local_count;
        if (names == 0) return;
        const uint32_t* w = block(WordSite{true, cell_site(v, 2)}, f->names, names);
        values_in(f->names, w, 0, names);
    }

    void instruction(Value v, const InstrCell* c) {
        if (!is_opcode(c->opcode)) m_.bad();
        if (c->nops == InstrCell::kLargeCount && c->opcode != op_byte(Op::OP_BLOCK)) m_.bad();
        uint32_t n = c->operand_count();
        if (n < min_operands(c->opcode)) m_.bad();
        if (has_raw_operands(c->opcode) && n > shape_layout(op_row(c->opcode).shape).max_count) m_.bad();
        const uint32_t* ops;
        AreaAddr vec{c->op0};
        const uint32_t inline_ops[2] = {c->op0, c->op1};  // at most two without a vector
        if (c->uses_vector()) {
            ops = block(WordSite{true, cell_site(v, 1)}, vec, n);
        } else {
            ops = inline_ops;
        }
        for (uint32_t i = 0; i < n; ++i) {
            WordSite site = c->uses_vector() ? WordSite{false, block_site(vec, i)} : WordSite{true, cell_site(v, 1 + i)};
            operand(site, operand_role(c->opcode, i), ops, i);
        }
    }

    void operand(WordSite site, WordRole role, const uint32_t* ops, uint32_t i) {
        AreaAddr a{ops[i]};
        switch (role) {
        case WordRole::Value:
        case WordRole::Number:
        case WordRole::Symbol: return word(site, role, ops[i]);
        case WordRole::Args: {
            uint64_t n = m_.words(a, 1)[0];
            values_in(a, block(site, a, n + 1), 1, n + 1);
            return;
        }
        case WordRole::ForHeader: {
            // The counts word beside it: steps in the low half, initialisers above.
            uint64_t n = (ops[1] >> 16) + 1 + (ops[1] & 0xFFFF);
            values_in(a, block(site, a, n), 0, n);
            return;
        }
        case WordRole::Catch: {
            if (a.bits == 0) return;
            values_in(a, block(site, a, 3), 0, 2);
            return;
        }
        case WordRole::Cases: return cases(site, a);
        case WordRole::CaseList: {
            uint64_t n = m_.words(AreaAddr{ops[1]}, 2)[1];
            values_in(a, block(site, a, n), 0, n);
            return;
        }
        }
    }

    // Pair 0: (pairs in use, statement count); pair 1: (0, default index);
    // then (label, statement index).  Indexes stay within the statement list.
    void cases(WordSite site, AreaAddr a) {
        if (a.area_class() != 0) m_.bad();
        const uint32_t* head = m_.words(a, 2);
        uint64_t pairs = head[0], statements = head[1];
        if (pairs < 2) m_.bad();
        const uint32_t* w = block(site, a, pairs * 2);
        for (uint64_t p = 1; p < pairs; ++p) {
            if (w[2 * p + 1] > statements) m_.bad();
            if (p >= 2) in_block(a, 2 * p, w[2 * p]);
        }
    }

    // A cell's state byte: the walk state in the low bits, the kind of the
    // first reference in the high nibble (0 = not referenced yet; a cell
    // kind is never 0).
    static constexpr uint8_t kNew = 0, kOnPath = 1, kDone = 2;
    static constexpr uint8_t kStateMask = 0x03, kKindMask = 0xF0;
    CompiledMemory& m_;
    std::unordered_set<uint32_t> patterns_seen_;
    static constexpr unsigned kMaxPatternDepth = 256;
    std::vector<uint8_t> state_;
    std::vector<std::pair<Value, bool>> todo_;  // a cell, and whether its walk ends here
    std::vector<Span> spans_;                   // every block reached, in compile-area words
};

}  // namespace

void walk_compiled(const std::vector<Value>& roots, CompiledMemory& memory) { Walk(memory).run(roots); }

}  // namespace koru
