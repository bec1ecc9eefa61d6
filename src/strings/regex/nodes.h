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

struct Node {
    uint32_t sub;        // group content, or the lookaround pattern (Value bits)
    uint32_t name;       // symbol number of a named group; 0 = none
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
static_assert(sizeof(Node) == 20);

// A group node keeps its content in `sub`, so a lookaround attached to it is
// kept in the text fields, which a group never uses.
inline uint32_t look_pattern(const Node& n) {
    return n.is_group() ? static_cast<uint32_t>(n.text_off) | static_cast<uint32_t>(n.text_len) << 16 : n.sub;
}
inline void set_look_pattern(Node& n, uint32_t bits) {
    if (n.is_group()) {
        n.text_off = static_cast<uint16_t>(bits);
        n.text_len = static_cast<uint16_t>(bits >> 16);
    } else {
        n.sub = bits;
    }
}

// Alternation block: two or more top-level alternatives.
struct AltBlock {
    uint8_t header;
    uint8_t flags;        // with kFlagAlternation
    uint16_t alt_count;
    AreaAddr alts;        // uint32_t[alt_count]: Value bits of the sequences
    uint32_t last_index;
    uint16_t zero;
    uint16_t pad;
};
static_assert(sizeof(AltBlock) == 16);

// Sequence block: the head below, then the text buffer (UTF-16 units and a
// terminating 0) from byte 14.
struct SeqBlock {
    uint8_t header;
    uint8_t flags;
    uint16_t node_count;
    AreaAddr nodes;       // Node[node_count]
    uint32_t last_index;
    uint16_t text_len;
};
static_assert(sizeof(SeqBlock) == 16);
constexpr size_t kSeqTextOffset = 14;
static_assert(offsetof(SeqBlock, text_len) + 2 == kSeqTextOffset);

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
inline Node* seq_nodes(const SeqBlock* b) { return b->node_count ? area_as<Node>(b->nodes) : nullptr; }
inline const uint32_t* alt_items(const AltBlock* a) { return area_as<uint32_t>(a->alts); }

}  // namespace koru::regex
