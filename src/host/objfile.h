// Object files: a module compiled before, stored as an image of its cell
// pages and compile-area word pages with relocation lists.
//
//   offset 0  L: byte length of the section stream after expansion
//   offset 4  E: byte length of the stored stream (E = L: stored as is)
//   offset 8  the stored stream
//
// Sections follow each other until L bytes are used or the tag 0xFFFFFFFF:
// a tag, a size word S (a = low 16 bits, b = high 16 bits, m = pages) and
// data.  Object files come from disk, so every size, position and offset in
// them is checked before use; a bad image is a runtime error, never a write
// outside the pages it brings.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/value.h"

namespace koru {

enum class ObjSection : uint32_t {
    CellPages = 0x01000100,
    WordPages = 0x01000200,
    Symbols = 0x01000300,
    Globals = 0x01000400,
    CellSymbols = 0x01000500,      // words in cell pages holding symbol numbers
    CellCellRefs = 0x01000600,     // ... holding cell references
    CellAreaAddrs = 0x01000700,    // ... holding compile-area addresses
    WordSymbols = 0x01000800,      // the same three for word pages
    WordCellRefs = 0x01000900,
    WordAreaAddrs = 0x01000A00,
    Statements = 0x01000B00,
    End = 0xFFFFFFFF,
};

// The most a coded stream of `stored_len` bytes can expand to.
uint64_t max_object_expansion(uint64_t stored_len);

// Expands a coded stream of E bytes into L bytes (the buffer has L + 512).
std::vector<uint8_t> expand_object_stream(const uint8_t* stored, size_t stored_len, size_t expanded_len,
                                          const char* path);

// Loads an image into new pages after the pages in use and appends the
// module's top-level statements to `statements`.
void load_object_image(const uint8_t* data, size_t size, unsigned module, const char* path,
                       std::vector<Value>& statements);

}  // namespace koru
