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
std::string digest_hex(const Sha256Digest& d);
// The keyed message authentication code over SHA-256 (64-byte blocks).
Sha256Digest hmac_sha256(std::string_view key, std::string_view message);
// Equal texts, compared in a time that depends on their lengths only.
bool equal_in_constant_time(std::string_view a, std::string_view b);

}  // namespace koru
