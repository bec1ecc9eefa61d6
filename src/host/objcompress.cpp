// The coded form of object-image section streams.  Images are mostly
// little-endian words with small values, so the coding spends its effort on
// zeros: runs of zeros become a marker (two, three or four zeros) or the run
// marker with a count, and the commonest "byte followed by 1-4 zeros"
// patterns become single code bytes taken from byte values the stream never
// holds.  A literal byte equal to a marker is written escaped.
#include <algorithm>
#include <array>

#include "host/objwrite.h"

namespace koru {

namespace {

constexpr unsigned kMaxZerosAfter = 4;  // a code with a fixed count: value then 1..4 zeros
constexpr unsigned kMinCodeUses = 4;    // a code costs three table bytes

struct Pattern {
    uint8_t value;
    uint8_t zeros;
    uint32_t uses;
};

size_t zeros_at(const std::vector<uint8_t>& s, size_t i, size_t cap) {
    size_t n = 0;
    while (i + n < s.size() && s[i + n] == 0 && n < cap) ++n;
    return n;
}

class Coder {
public:
    explicit Coder(const std::vector<uint8_t>& s) : s_(s) {}

    std::vector<uint8_t> run() {
        choose_table();
        write_table();
        size_t i = 0;
        while (i < s_.size()) i = s_[i] == 0 ? zero_run(i) : nonzero(i);
        return std::move(out_);
    }

private:
    void choose_table() {
        std::array<uint64_t, 256> freq{};
        for (uint8_t b : s_) ++freq[b];
        std::vector<uint8_t> by_rarity;
        for (unsigned b = 1; b < 256; ++b) by_rarity.push_back(static_cast<uint8_t>(b));
        std::stable_sort(by_rarity.begin(), by_rarity.end(), [&](uint8_t a, uint8_t b) { return freq[a] < freq[b]; });
        r_ = by_rarity[0];
        for (int k = 0; k < 3; ++k) z_[k] = by_rarity[1 + k];
        // Fixed-count codes can never stand for themselves: only unused bytes.
        std::vector<uint8_t> free_bytes;
        for (size_t i = 4; i < by_rarity.size() && freq[by_rarity[i]] == 0; ++i) free_bytes.push_back(by_rarity[i]);
        std::vector<Pattern> patterns = count_patterns();
        for (size_t i = 0; i < patterns.size() && i < free_bytes.size() && patterns[i].uses >= kMinCodeUses; ++i) {
            code_of_[patterns[i].value][patterns[i].zeros] = free_bytes[i];
            codes_.push_back({free_bytes[i], patterns[i].value, patterns[i].zeros});
        }
        for (int k = 0; k < 3; ++k) role_[z_[k]] = Role::Zero;
        role_[r_] = Role::Run;
    }

    // How often each value is followed by exactly 1..4 zeros, as the coder
    // walks the stream; commonest first.
    std::vector<Pattern> count_patterns() const {
        std::vector<uint32_t> uses(256 * (kMaxZerosAfter + 1), 0);
        for (size_t i = 0; i < s_.size();) {
            if (s_[i] == 0) {
                i += zeros_at(s_, i, SIZE_MAX);
                continue;
            }
            size_t z = zeros_at(s_, i + 1, kMaxZerosAfter);
            if (z) ++uses[s_[i] * (kMaxZerosAfter + 1) + z];
            i += 1 + z;
        }
        std::vector<Pattern> out;
        for (unsigned v = 1; v < 256; ++v)
            for (unsigned z = 1; z <= kMaxZerosAfter; ++z)
                if (uint32_t n = uses[v * (kMaxZerosAfter + 1) + z]) out.push_back({uint8_t(v), uint8_t(z), n});
        std::stable_sort(out.begin(), out.end(), [](const Pattern& a, const Pattern& b) { return a.uses > b.uses; });
        return out;
    }

    void write_table() {
        out_ = {r_, z_[0], z_[1], z_[2], static_cast<uint8_t>(codes_.size()), static_cast<uint8_t>(codes_.size())};
        for (const Code& c : codes_) out_.push_back(c.byte);
        for (const Code& c : codes_) out_.push_back(c.value);
        for (const Code& c : codes_) out_.push_back(c.zeros);
    }

    size_t zero_run(size_t i) {
        size_t n = zeros_at(s_, i, SIZE_MAX);
        size_t end = i + n;
        while (n > 4) {
            size_t take = std::min<size_t>(n, 255);
            // Leave at least two zeros for a marker, never a lone tail of 1..4 after 255.
            if (n - take > 0 && n - take < 5 && n > 255) take = n - 5;
            out_.push_back(r_);
            out_.push_back(static_cast<uint8_t>(take));
            n -= take;
        }
        if (n == 1) {
            out_.push_back(0);
        } else if (n > 1) {
            uint8_t marker = z_[n - 2];
            // A marker followed by itself reads as the marker byte: then use the run form.
            if (end < s_.size() && s_[end] == marker) {
                out_.push_back(r_);
                out_.push_back(static_cast<uint8_t>(n));
            } else {
                out_.push_back(marker);
            }
        }
        return end;
    }

    size_t nonzero(size_t i) {
        uint8_t v = s_[i];
        size_t z = zeros_at(s_, i + 1, kMaxZerosAfter);
        for (size_t k = z; k >= 1; --k) {
            if (uint8_t code = code_of_[v][k]) {
                out_.push_back(code);
                return i + 1 + k;
            }
        }
        switch (role_[v]) {
        case Role::Zero: out_.insert(out_.end(), {v, v}); break;
        case Role::Run: out_.insert(out_.end(), {v, 0}); break;
        case Role::Plain: out_.push_back(v); break;
        }
        return i + 1;
    }

    enum class Role : uint8_t { Plain, Zero, Run };
    struct Code {
        uint8_t byte, value, zeros;
    };

    const std::vector<uint8_t>& s_;
    std::vector<uint8_t> out_;
    uint8_t r_ = 0, z_[3] = {};
    std::vector<Code> codes_;
    std::array<std::array<uint8_t, kMaxZerosAfter + 1>, 256> code_of_{};
    std::array<Role, 256> role_{};
};

}  // namespace

std::vector<uint8_t> compress_object_stream(const std::vector<uint8_t>& stream) { return Coder(stream).run(); }

}  // namespace koru
