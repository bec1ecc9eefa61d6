// Character positions of a String's text without walking it from the start
// on every call.  The first look at a large text walks it once (its length
// up to the first NUL, whether it is all ASCII, its character count and the
// byte offset of every 64th character) and keeps that beside the cell
// (runtime/side_tables.h) with the last position reached; later calls start
// from the nearest known position.  With KORU_PLAIN_PATHS every answer is
// walked from the start as utf8_chars.h counts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/value.h"

namespace koru {

struct TextEntry;

class TextPositions {
public:
    explicit TextPositions(Value str);
    // The text up to its first NUL byte.
    std::string_view text() const { return counted_; }
    // Whether the text holds no NUL byte.
    bool whole() const { return whole_; }
    size_t chars();
    // Byte offset of character n (the text's size at or past the end).
    size_t offset(size_t n);
    // Character index of a byte offset that starts a character.
    size_t index(size_t byte_offset);

private:
    std::string_view counted_;
    bool whole_ = false;
    TextEntry* entry_ = nullptr;  // null: walk from the start
};

}  // namespace koru
