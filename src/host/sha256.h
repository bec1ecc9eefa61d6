// SHA-256 over a byte string.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace koru {

using Sha256Digest = std::array<uint8_t, 32>;

Sha256Digest sha256(const void* data, size_t len);
// The digest as 64 lower-case hexadecimal characters.
std::string sha256_hex(std::string_view data);

}  // namespace koru
