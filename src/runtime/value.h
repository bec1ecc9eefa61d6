// The 32-bit Value word that names every datum, and the kinds it can have.
//
//   bits 24-27  kind
//   bits 20-23  area class (area kinds) or 0 (cell kinds)
//   bits  8-19  cell page index (cell kinds)
//   bits  0-7   slot in the page (cell kinds)
// Area kinds keep an AreaAddr in bits 0-23; kind 0 keeps an immediate or a
// symbol number in bits 0-27; kind 15 keeps a non-negative integer key.
#pragma once
#include <cstdint>

namespace koru {

enum class Kind : uint8_t {
    Immediate = 0,
    SqlObject = 1,
    Int = 2,
    DbConnection = 3,
    None4 = 4,  // never made; evaluating it is an error
    Date = 5,
    Exception = 6,
    RegExp = 7,
    Double = 8,
    String = 9,
    Array = 10,
    KeyedArray = 11,
    Hash = 12,
    Instruction = 13,
    Function = 14,
    IntKey = 15,
};

// Kinds whose objects live in an allocation area rather than in a cell.
constexpr uint32_t kAreaKindMask = 0xCA;  // 1, 3, 6, 7
constexpr bool is_area_kind(Kind k) { return (kAreaKindMask >> static_cast<unsigned>(k)) & 1; }
constexpr bool is_cell_kind(Kind k) { return k != Kind::Immediate && k != Kind::IntKey && !is_area_kind(k); }

// Immediates of kind 0.
enum Immediate : uint32_t {
    kUndefined = 0,
    kTrue = 1,
    kFalse = 2,
    kNull = 3,
    kNaN = 4,
};

// The 24-bit address of a block in the allocation areas.
struct AreaAddr {
    uint32_t bits = 0;
    constexpr unsigned area_class() const { return (bits >> 20) & 0xF; }
    friend constexpr bool operator==(AreaAddr, AreaAddr) = default;
};

struct Value {
    uint32_t bits = 0;

    constexpr Value() = default;
    constexpr explicit Value(uint32_t b) : bits(b) {}

    static constexpr Value immediate(uint32_t n) { return Value(n & 0x0FFFFFFF); }
    static constexpr Value symbol(uint32_t n) { return Value(n & 0x00FFFFFF); }
    static constexpr Value boolean(bool b) { return Value(b ? kTrue : kFalse); }
    static constexpr Value int_key(uint32_t n) { return Value(0x0F000000u | (n & 0x00FFFFFF)); }
    static constexpr Value cell(Kind k, unsigned page, unsigned slot) {
        return Value(static_cast<uint32_t>(k) << 24 | (page & 0xFFF) << 8 | (slot & 0xFF));
    }
    static constexpr Value area(Kind k, AreaAddr a) {
        return Value(static_cast<uint32_t>(k) << 24 | (a.bits & 0xFFFFFF));
    }

    constexpr Kind kind() const { return static_cast<Kind>((bits >> 24) & 0xF); }
    constexpr unsigned page() const { return (bits >> 8) & 0xFFF; }
    constexpr unsigned slot() const { return bits & 0xFF; }
    constexpr AreaAddr area_addr() const { return AreaAddr{bits & 0xFFFFFF}; }
    constexpr uint32_t payload() const { return bits & 0x0FFFFFFF; }  // immediate / symbol number
    constexpr uint32_t low24() const { return bits & 0x00FFFFFF; }

    constexpr bool is_undefined() const { return bits == kUndefined; }
    constexpr bool is_immediate() const { return kind() == Kind::Immediate; }
    // A kind-0 word above the five immediates names a symbol.
    constexpr bool is_symbol() const { return kind() == Kind::Immediate && payload() > kNaN; }

    friend constexpr bool operator==(Value, Value) = default;
};
static_assert(sizeof(Value) == 4);

constexpr Value kUndefinedValue{kUndefined};
constexpr Value kTrueValue{kTrue};
constexpr Value kFalseValue{kFalse};
constexpr Value kNullValue{kNull};
constexpr Value kNaNValue{kNaN};

}  // namespace koru
