// Byte streams that both newton-sim and the tests can produce and check: a seeded pattern and a checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace skiff::newton {

// FNV-1a, 64 bits, continuing from `hash`.
inline std::uint64_t fnv1a(std::span<const std::uint8_t> bytes, std::uint64_t hash = 0xcbf29ce484222325ull) {
  for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
  return hash;
}

// `count` pseudo-random bytes from `seed`, rich in 10 bytes (the MNP escape) so stuffing is exercised.
inline std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = (state % 7 == 0) ? 0x10 : static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace skiff::newton
