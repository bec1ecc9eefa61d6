// The length of a UTF-8 sequence from its lead byte, as the string
// positions count it (a byte that cannot lead a sequence counts alone).
#pragma once
#include <cstdint>

namespace koru {

constexpr unsigned utf8_lead_length(uint8_t b) {
    if (b >= 0xC0 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF7) return 4;
    if (b >= 0xF8 && b <= 0xFB) return 5;
    if (b >= 0xFC && b <= 0xFD) return 6;
    return 1;
}

}  // namespace koru
