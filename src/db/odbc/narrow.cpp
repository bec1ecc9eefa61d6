#include "db/odbc/narrow.h"

#include <iconv.h>

#include <cerrno>

#include <cstdint>

namespace koru {

NarrowScore score_narrow_text(const char* text, size_t len) {
    NarrowScore s;
    auto at = [&](size_t i) -> uint8_t { return i < len ? static_cast<uint8_t>(text[i]) : 0; };
    auto cont = [](uint8_t b) { return b >= 0x80 && b <= 0xBF; };
    size_t i = 0;
    while (i < len && text[i] != '\0') {
        unsigned diff = s.utf8 > s.ansi ? s.utf8 - s.ansi : s.ansi - s.utf8;
        if (diff >= 12) break;
        uint8_t b = at(i);
        if (b < 0x80) {
            i += 1;
        } else if (b <= 0xC1) {  // 0x80-0x9F and 0xA0-0xC1
            s.ansi += 2;
            i += 2;
        } else if (b <= 0xDF) {
            uint8_t n = at(i + 1);
            if (n >= 0x80 && n <= 0x9F) s.ansi += 1;
            else s.utf8 += 1;
            i += 2;
        } else if (b <= 0xEF) {
            if (cont(at(i + 1)) && cont(at(i + 2))) {
                s.utf8 += 2;
                i += 3;
            } else {
                i += 1;
            }
        } else if (b <= 0xF7) {
            s.utf8 += 2;
            i += 4;
        } else if (b <= 0xFB) {
            s.utf8 += 2;
            i += 5;
        } else if (b <= 0xFD) {
            s.utf8 += 2;
            i += 6;
        } else {
            i += 1;
        }
    }
    return s;
}

bool narrow_is_utf8(const char* text, size_t len) {
    NarrowScore s = score_narrow_text(text, len);
    return (s.utf8 == 0 && s.ansi == 0) || s.utf8 >= s.ansi;
}

std::string cp932_to_utf8(const char* text, size_t len) {
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text, len);
    char* in = const_cast<char*>(text);
    size_t in_left = len;
    char buf[1024];
    while (in_left > 0) {
        char* o = buf;
        size_t o_left = sizeof buf;
        size_t r = iconv(cd, &in, &in_left, &o, &o_left);
        out.append(buf, static_cast<size_t>(o - buf));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte that starts no character (or a cut sequence at the end).
            out.append("\xEF\xBF\xBD");
            ++in;
            --in_left;
        }
    }
    iconv_close(cd);
    return out;
}

std::string narrow_to_utf8(const char* text, size_t len) {
    if (narrow_is_utf8(text, len)) return std::string(text, len);
    return cp932_to_utf8(text, len);
}

}  // namespace koru
