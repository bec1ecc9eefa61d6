#include "strings/text_index.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/engine.h"
#include "interp/state.h"
#include "runtime/objects.h"
#include "runtime/side_tables.h"
#include "strings/utf8_chars.h"

namespace koru {

namespace {

// Texts shorter than this are walked from the start: the walk is short, and
// the slots stay with the texts that need them.
constexpr size_t kIndexedBytes = 256;
constexpr size_t kStride = 64;  // characters between two kept offsets

size_t next_char(std::string_view s, size_t at) {
    size_t w = lead_length(static_cast<uint8_t>(s[at]));
    return w > s.size() - at ? s.size() : at + w;
}

bool ascii8(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return (w & 0x8080808080808080ull) == 0;
}

}  // namespace

struct TextEntry {
    uint32_t generation = 0;
    AreaAddr text;
    uint32_t length = 0;       // the cell's length when the entry was made
    uint32_t counted = 0;      // bytes before the first NUL
    uint32_t chars = 0;
    bool ascii = false;
    std::vector<uint32_t> marks;  // marks[k]: byte offset of character k * kStride
    size_t last_char = 0, last_byte = 0;

    void build(std::string_view s) {
        counted = static_cast<uint32_t>(s.size());
        marks.clear();
        size_t at = 0, n = 0;
        bool only_ascii = true;
        while (at < s.size()) {
            if (n % kStride == 0) {
                if (n / kStride >= marks.size()) marks.push_back(static_cast<uint32_t>(at));
                if (s.size() - at >= kStride && std::all_of(s.data() + at, s.data() + at + kStride,
                                                            [](char c) { return static_cast<uint8_t>(c) < 0x80; })) {
                    at += kStride;
                    n += kStride;
                    continue;
                }
            }
            if (static_cast<uint8_t>(s[at]) >= 0x80) only_ascii = false;
            at = next_char(s, at);
            ++n;
        }
        chars = static_cast<uint32_t>(n);
        ascii = only_ascii;
        if (ascii) marks.clear();
        last_char = last_byte = 0;
    }
};

namespace {

TextEntry g_entries[kSideSlots];

// Walks from (n0, b0) over the characters before character `n` and below
// byte `stop`, a run of ASCII bytes eight at a time.
void walk_from(std::string_view s, size_t& n0, size_t& b0, size_t n, size_t stop) {
    size_t at = b0, k = n0, end = std::min(stop, s.size());
    while (k < n && at < end) {
        if (n - k >= 8 && end - at >= 8 && ascii8(s.data() + at)) {
            at += 8;
            k += 8;
            continue;
        }
        at = next_char(s, at);
        ++k;
    }
    n0 = k;
    b0 = at;
}

}  // namespace

TextPositions::TextPositions(Value str) {
    std::string_view all = string_view_of(str);
    if (g_plain_paths || all.size() < kIndexedBytes) {
        const void* nul = std::memchr(all.data(), 0, all.size());
        counted_ = nul ? all.substr(0, static_cast<const char*>(nul) - all.data()) : all;
        whole_ = !nul;
        return;
    }
    const StringCell* c = cell_as<StringCell>(str);
    int found = g_text_slots.find(str);
    unsigned slot = found >= 0 ? static_cast<unsigned>(found) : g_text_slots.claim(str);
    TextEntry& e = g_entries[slot];
    if (found < 0 || e.generation != g_memory_generation || e.text != c->text || e.length != c->length) {
        // The NUL test is itself a walk of the text: the entry remembers it.
        const void* nul = std::memchr(all.data(), 0, all.size());
        std::string_view s = nul ? all.substr(0, static_cast<const char*>(nul) - all.data()) : all;
        e.build(s);
        e.generation = g_memory_generation;
        e.text = c->text;
        e.length = c->length;
    }
    counted_ = all.substr(0, e.counted);
    whole_ = e.counted == all.size();
    entry_ = &e;
}

size_t TextPositions::chars() { return entry_ ? entry_->chars : char_count(counted_); }

size_t TextPositions::offset(size_t n) {
    if (!entry_) return char_offset(counted_, n);
    TextEntry& e = *entry_;
    if (n >= e.chars) return counted_.size();
    if (e.ascii) return n;
    size_t k = n / kStride, c0 = k * kStride, b0 = e.marks[k];
    if (e.last_char <= n && e.last_char > c0) {
        c0 = e.last_char;
        b0 = e.last_byte;
    }
    walk_from(counted_, c0, b0, n, SIZE_MAX);
    e.last_char = c0;
    e.last_byte = b0;
    return b0;
}

size_t TextPositions::index(size_t byte_offset) {
    if (!entry_) return char_index(counted_, byte_offset);
    TextEntry& e = *entry_;
    if (byte_offset >= counted_.size()) return e.chars;
    if (e.ascii) return byte_offset;
    // The last kept offset at or below the byte, or the last position when
    // that is nearer.
    auto it = std::upper_bound(e.marks.begin(), e.marks.end(), static_cast<uint32_t>(byte_offset));
    size_t k = static_cast<size_t>(it - e.marks.begin()) - 1;
    size_t c0 = k * kStride, b0 = e.marks[k];
    if (e.last_byte <= byte_offset && e.last_byte > b0) {
        c0 = e.last_char;
        b0 = e.last_byte;
    }
    walk_from(counted_, c0, b0, SIZE_MAX, byte_offset);
    e.last_char = c0;
    e.last_byte = b0;
    return c0;
}

}  // namespace koru
