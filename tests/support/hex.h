// Bytes written as hex in tests: "0000 FFFC 8000" and back, spaces between two-byte words.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace skiff::test {

inline std::vector<std::uint8_t> fromHex(std::string_view hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); ++i) {
    if (hex[i] == ' ') continue;
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    ++i;
  }
  return bytes;
}

inline std::string hexOf(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char digits[3];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    if (i > 0 && i % 2 == 0) out += ' ';
    out += digits;
  }
  return out;
}

}  // namespace skiff::test
