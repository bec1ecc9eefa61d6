// Typed views of the 16-byte cells.  Byte 0 of every cell (and of every area
// object) is the header: low nibble the type, high nibble the reference
// count, 15 = permanent, 0xFF = a free cell.  Object files are raw images of
// the cell pages, so every layout here is part of the file format.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "runtime/value.h"

namespace koru {

constexpr unsigned kCellSize = 16;
constexpr unsigned kCellsPerPage = 256;
constexpr unsigned kCellPageBytes = kCellSize * kCellsPerPage;  // 4096
constexpr uint8_t kFreeCellHeader = 0xFF;
constexpr uint8_t kSaturatedCount = 0xF0;

constexpr uint8_t header_of(Kind k, unsigned count) {
    return static_cast<uint8_t>(static_cast<unsigned>(k) | (count << 4));
}

// The raw cell: a header byte, three bytes and three words.
struct Cell {
    uint8_t header;
    uint8_t b1;
    uint8_t b2;
    uint8_t b3;
    uint32_t w1;  // bytes 4-7
    uint32_t w2;  // bytes 8-11
    uint32_t w3;  // bytes 12-15

    Kind type() const { return static_cast<Kind>(header & 0xF); }
    unsigned count() const { return header >> 4; }
};

struct IntCell {
    uint8_t header;
    uint8_t zero[3];
    int32_t value;
    uint32_t unused[2];
};

struct DoubleCell {
    uint8_t header;
    uint8_t zero[7];
    double value;
};

struct StringCell {
    uint8_t header;
    uint8_t b1;
    int16_t template_flag;  // negative: the text holds "${" and is expanded on evaluation
    AreaAddr text;          // NUL-terminated
    uint32_t capacity;
    uint32_t length;        // in bytes
    bool is_template() const { return template_flag < 0; }
};

// Array: a vector of one Value per element.
struct ArrayCell {
    uint8_t header;
    uint8_t b1, b2, b3;
    AreaAddr elements;
    uint32_t count;
    uint32_t capacity;
};

// KeyedArray: a vector of (key, value) pairs; a key is a symbol or an IntKey.
struct KeyedArrayCell {
    uint8_t header;
    uint8_t b1, b2, b3;
    AreaAddr pairs;
    uint32_t count;
    uint32_t capacity;
};

// Hash: a plain object or class instance; pairs as in KeyedArray.
struct HashCell {
    uint8_t header;
    uint8_t zero;
    uint16_t zero2;
    uint16_t count;
    uint16_t capacity;
    AreaAddr pairs;
    uint32_t class_symbol;  // 0 = plain object
};

struct InstrCell {
    uint8_t header;
    uint8_t module;    // 1-based module number; bit 7 set = not a stopping point
    uint8_t nops;      // operand count, 255 = large block (count in `position`)
    uint8_t opcode;    // 100..228
    uint32_t op0;      // first operand, or the AreaAddr of the operand vector
    uint32_t op1;      // second operand
    uint32_t position; // bits 0-15 line, 16-30 column

    static constexpr uint8_t kNoStop = 0x80;
    static constexpr uint8_t kLargeCount = 255;
    unsigned module_number() const { return module & 0x7F; }
    bool stoppable() const { return !(module & kNoStop); }
    bool uses_vector() const { return nops > 2; }
    // The operand count; a large block keeps it in the position word.
    uint32_t operand_count() const { return nops == kLargeCount ? position : nops; }
};

struct FunctionCell {
    uint8_t header;
    uint8_t module;
    uint8_t param_count;
    uint8_t local_count;   // further names after the parameters
    uint32_t body;         // Value
    AreaAddr names;        // parameters first, then locals
    uint16_t line;
    uint16_t compiler_word;
};

struct DateCell {
    uint8_t header;
    uint8_t month_flags;   // low 4 bits month 0-11, high 4 bits flags
    uint8_t hour;
    uint8_t day_weekday;   // low 5 bits day 1-31, high 3 bits weekday 0-6
    uint8_t minute;
    uint8_t second;
    int16_t year;
    uint32_t millis_word;  // milliseconds in the low 10 bits
    uint32_t seconds;      // since 1970-01-01 00:00:00 UTC

    static constexpr uint8_t kAbsolute = 16;
    unsigned month() const { return month_flags & 0x0F; }
    unsigned flags() const { return month_flags & 0xF0; }
    unsigned day() const { return day_weekday & 0x1F; }
    unsigned weekday() const { return day_weekday >> 5; }
    unsigned millis() const { return millis_word & 0x3FF; }
};

// A pair of a KeyedArray or Hash vector.
struct Pair {
    Value key;
    Value value;
};

template <class T>
constexpr bool is_cell_view =
    sizeof(T) == kCellSize && std::is_trivially_copyable_v<T> && std::is_standard_layout_v<T>;
static_assert(is_cell_view<Cell>);
static_assert(is_cell_view<IntCell>);
static_assert(is_cell_view<DoubleCell>);
static_assert(is_cell_view<StringCell>);
static_assert(is_cell_view<ArrayCell>);
static_assert(is_cell_view<KeyedArrayCell>);
static_assert(is_cell_view<HashCell>);
static_assert(is_cell_view<InstrCell>);
static_assert(is_cell_view<FunctionCell>);
static_assert(is_cell_view<DateCell>);
static_assert(sizeof(Pair) == 8);
static_assert(offsetof(HashCell, pairs) == 8 && offsetof(HashCell, class_symbol) == 12);
static_assert(offsetof(DoubleCell, value) == 8);
static_assert(offsetof(DateCell, year) == 6 && offsetof(DateCell, seconds) == 12);

}  // namespace koru
