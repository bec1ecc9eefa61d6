// The stored form of a compiled pattern.  A RegExp value is a kind-7 area
// reference to either an alternation block or a sequence block; group and
// lookaround contents are further blocks of the same two shapes.  These
// layouts are written into the compile-phase area and so into object files.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/area.h"
#include "runtime/value.h"

namespace koru::regex {

// Flags byte (byte 1 of both block shapes).
constexpr uint8_t kFlagMultiline = 0x04;
constexpr uint8_t kFlagIgnoreCase = 0x08;
constexpr uint8_t kFlagGlobal = 0x10;
constexpr uint8_t kFlagSticky = 0x20;
constexpr uint8_t kFlagDotAll = 0x40;
constexpr uint8_t kFlagAlternation = 0x80;  // marks the alternation block

enum class NodeType : uint8_t {
    Run = 10,          // two or more literal units
    Char = 11,
    Begin = 12,        // ^
    End = 13,          // $
    Class = 20,
    NegClass = 21,
    Word = 22,
    NotWord = 23,
    Digit = 24,
    NotDigit = 25,
    Space = 26,
    NotSpace = 27,
    WordEdge = 28,     // \b
    NotWordEdge = 29,  // \B
    Dot = 30,
    BackRef = 31,
    AnyUnit = 33,      // [^]
    // A zero-width node that only carries a lookaround which had nothing to
    // attach to: at the start of a sequence, or after a node that already
    // carries one.
    Empty = 34,
    Group = 60,
    PlainGroup = 61,   // (?:...)
};

// Quantifier byte.
constexpr uint8_t kQuantNone = 0;
constexpr uint8_t kQuantExact = 1;    // {n}
constexpr uint8_t kQuantOptional = 2; // ?
constexpr uint8_t kQuantRange = 4;    // {n,m}
constexpr uint8_t kQuantAtLeast = 8;  // {n,}, * and +
constexpr uint8_t kQuantLazy = 0x20;
constexpr uint16_t kUnbounded = 0xFFFF;

// Lookaround byte.
enum class Look : uint8_t { None = 0, Ahead = 70, NotAhead = 71, Behind = 80, NotBehind = 81 };

// Class flags byte for types 20 and 21.
constexpr uint8_t kClassWord = 0x01, kClassNotWord = 0x02, kClassDigit = 0x04;
constexpr uint8_t kClassNotDigit = 0x08, kClassSpace = 0x10, kClassNotSpace = 0x20;

// Run-phase area blocks are only 2-byte aligned, so every stored layout is
// made of bytes and 16-bit units; a 32-bit field is kept as two halves
// (little-endian order, the same bytes a plain 32-bit field would have).
struct Word32 {
    uint16_t lo = 0;
    uint16_t hi = 0;
    constexpr uint32_t get() const { return static_cast<uint32_t>(lo) | static_cast<uint32_t>(hi) << 16; }
    constexpr void set(uint32_t v) {
        lo = static_cast<uint16_t>(v);
        hi = static_cast<uint16_t>(v >> 16);
    }
};
static_assert(sizeof(Word32) == 4 && alignof(Word32) == 2);

struct Node {
    Word32 sub;          // group content, or the lookaround pattern (Value bits)
    Word32 name;         // symbol number of a named group; 0 = none
    NodeType type;
    uint8_t quant;
    Look look;
    uint8_t aux;         // class flags, or the group number (types 31 and 60)
    uint16_t min;        // repeat range; for type 60 the capture slot instead
    uint16_t max;
    uint16_t text_off;   // for type 31: index of the referenced group node
    uint16_t text_len;

    bool is_group() const { return type == NodeType::Group || type == NodeType::PlainGroup; }
    bool lazy() const { return quant & kQuantLazy; }
    uint8_t base_quant() const { return quant & ~kQuantLazy; }
};
static_assert(sizeof(Node) == 20 && alignof(Node) == 2);

// A group node keeps its content in `sub`, so a lookaround attached to it is
// kept in the text fields, which a group never uses.
inline uint32_t look_pattern(const Node& n) {
    return n.is_group() ? static_cast<uint32_t>(n.text_off) | static_cast<uint32_t>(n.text_len) << 16 : n.sub.get();
}
inline void set_look_pattern(Node& n, uint32_t bits) {
    if (n.is_group()) {
        n.text_off = static_cast<uint16_t>(bits);
        n.text_len = static_cast<uint16_t>(bits >> 16);
    } else {
        n.sub.set(bits);
    }
}

// Alternation block: two or more top-level alternatives.
struct AltBlock {
    uint8_t header;
    uint8_t flags;        // with kFlagAlternation
    uint16_t alt_count;
    Word32 alts;          // AreaAddr of Word32[alt_count]: Value bits of the sequences
    Word32 last_index;
    uint16_t zero;
};
static_assert(sizeof(AltBlock) == 14 && alignof(AltBlock) == 2);

// Sequence block: the head below, then the text buffer (UTF-16 units and a
// terminating 0) from byte 14.
struct SeqBlock {
    uint8_t header;
    uint8_t flags;
    uint16_t node_count;
    Word32 nodes;         // AreaAddr of Node[node_count]
    Word32 last_index;
    uint16_t text_len;
};
static_assert(sizeof(SeqBlock) == 14 && alignof(SeqBlock) == 2);
constexpr size_t kSeqTextOffset = sizeof(SeqBlock);
static_assert(offsetof(SeqBlock, last_index) == offsetof(AltBlock, last_index));

// The 16-bit fields bound what one sequence can hold.
constexpr size_t kMaxSeqText = 0xFFFF;
constexpr size_t kMaxSeqNodes = 0xFFFF;

inline uint8_t* block_bytes(Value re) { return static_cast<uint8_t*>(area_ptr(re.area_addr())); }
inline bool is_alternation(Value re) { return block_bytes(re)[1] & kFlagAlternation; }
inline AltBlock* alt_block(Value re) { return reinterpret_cast<AltBlock*>(block_bytes(re)); }
inline SeqBlock* seq_block(Value re) { return reinterpret_cast<SeqBlock*>(block_bytes(re)); }
inline const char16_t* seq_text(const SeqBlock* b) {
    return reinterpret_cast<const char16_t*>(reinterpret_cast<const uint8_t*>(b) + kSeqTextOffset);
}
inline char16_t* seq_text(SeqBlock* b) {
    return reinterpret_cast<char16_t*>(reinterpret_cast<uint8_t*>(b) + kSeqTextOffset);
}
inline Node* seq_nodes(const SeqBlock* b) { return b->node_count ? area_as<Node>(AreaAddr{b->nodes.get()}) : nullptr; }
inline const Word32* alt_items(const AltBlock* a) { return area_as<Word32>(AreaAddr{a->alts.get()}); }
inline Value alt_item(const AltBlock* a, unsigned k) { return Value(alt_items(a)[k].get()); }

}  // namespace koru::regex
