// Newton package files for tests and benchmarks: the minimal valid one, and valid ones of any size.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace skiff::test {

// 124 bytes, one "form" part, name "Skiff:TEST".
inline std::vector<std::uint8_t> minimalPackage() {
  return {0x70, 0x61, 0x63, 0x6B, 0x61, 0x67, 0x65, 0x30, 0x78, 0x78, 0x78, 0x78, 0x00, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x00, 0x00, 0x00, 0x7C,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x6C,
          0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10,
          0x66, 0x6F, 0x72, 0x6D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x81, 0x00, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x53, 0x00, 0x6B, 0x00, 0x69, 0x00, 0x66, 0x00, 0x66, 0x00, 0x3A,
          0x00, 0x54, 0x00, 0x45, 0x00, 0x53, 0x00, 0x54, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
}

// The minimal package grown to `size` bytes (at least 124): its one part takes the rest, filled with a pattern
// rich in 10 bytes (the MNP escape).
inline std::vector<std::uint8_t> validPackage(std::size_t size) {
  std::vector<std::uint8_t> bytes = minimalPackage();
  if (size < bytes.size()) size = bytes.size();
  const std::uint32_t directory = 0x6C;
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  };
  const std::size_t old = bytes.size();
  bytes.resize(size);
  for (std::size_t i = old; i < size; ++i) bytes[i] = (i % 5 == 0) ? 0x10 : static_cast<std::uint8_t>(i * 31 >> 3);
  put32(28, static_cast<std::uint32_t>(size));
  put32(52 + 4, static_cast<std::uint32_t>(size - directory));
  put32(52 + 8, static_cast<std::uint32_t>(size - directory));
  return bytes;
}

// Text that compresses as a note does: words in a pseudo-random order, with spaces, commas and line ends.
inline std::vector<std::uint8_t> prose(std::size_t size, std::uint32_t seed = 1) {
  static const char* const kWords[] = {
      "the",     "Newton", "package", "of",     "and",      "a",        "to",      "in",     "is",      "that",
      "notes",   "for",    "it",      "with",   "as",       "was",      "on",      "names",  "dates",   "serial",
      "cable",   "dock",   "desktop", "file",   "store",    "soup",     "entry",   "frame",  "button",  "screen",
      "pen",     "ink",    "word",    "letter", "calendar", "meeting",  "morning", "list",   "outline", "picture",
      "connect", "tap",    "install", "bytes",  "handheld", "overview", "folder",  "record", "time",    "link"};
  std::mt19937 random(seed);
  std::vector<std::uint8_t> text;
  text.reserve(size + 16);
  while (text.size() < size) {
    const std::string word = kWords[random() % std::size(kWords)];
    text.insert(text.end(), word.begin(), word.end());
    const unsigned mark = random() % 16;
    text.push_back(mark == 0 ? '\r' : mark == 1 ? ',' : ' ');
  }
  text.resize(size);
  return text;
}

inline std::vector<std::uint8_t> randomBytes(std::size_t size, std::uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// A valid package of `size` bytes whose part holds `fill` (repeated as needed).
inline std::vector<std::uint8_t> packageOf(std::size_t size, const std::vector<std::uint8_t>& fill) {
  std::vector<std::uint8_t> bytes = validPackage(size);
  for (std::size_t i = minimalPackage().size(), at = 0; i < bytes.size() && !fill.empty(); ++i, ++at)
    bytes[i] = fill[at % fill.size()];
  return bytes;
}

}  // namespace skiff::test
