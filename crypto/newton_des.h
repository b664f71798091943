// The DES of the dock's password exchange: each side proves it knows the password by encrypting the other's
// random key with a key derived from the password (the Dante Connection Protocol ERS, "Password").
#pragma once

#include <cstdint>
#include <string_view>

namespace skiff::crypto {

// One block of "Newton DES": standard single-block DES-ECB of `block` (hi long first, big-endian) under `key`
// with each of its 32-bit halves shifted left by one bit.
std::uint64_t newtonDes(std::uint64_t key, std::uint64_t block);

// The key a password stands for. An empty password gives F207BF4F851B167D, the key a Newton with no password
// set encrypts with.
std::uint64_t passwordKey(std::u16string_view password);
// The same for a password in UTF-8 (invalid sequences count as U+FFFD).
std::uint64_t passwordKey(std::string_view utf8Password);

}  // namespace skiff::crypto
