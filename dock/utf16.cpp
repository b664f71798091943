#include "dock/utf16.h"

namespace skiff::dock {

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendUtf16be(std::vector<std::uint8_t>& out, std::uint32_t c) {
  const auto unit = [&](std::uint32_t u) {
    out.push_back(static_cast<std::uint8_t>(u >> 8));
    out.push_back(static_cast<std::uint8_t>(u));
  };
  if (c < 0x10000) {
    unit(c);
  } else {
    c -= 0x10000;
    unit(0xD800 | c >> 10);
    unit(0xDC00 | (c & 0x3FF));
  }
}

}  // namespace

std::string utf8FromUtf16be(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t c = static_cast<std::uint32_t>(bytes[i]) << 8 | bytes[i + 1];
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
      const std::uint32_t low = static_cast<std::uint32_t>(bytes[i + 2]) << 8 | bytes[i + 3];
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

std::vector<std::uint8_t> utf16beFromUtf8(const std::string& text) {
  std::vector<std::uint8_t> out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::uint32_t c = 0xFFFD;
    std::size_t n = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b < 0xF5) {
      const std::size_t len = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      std::uint32_t value = b & (0x7F >> len);
      bool ok = i + len <= text.size();
      for (std::size_t k = 1; ok && k < len; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        ok = (next & 0xC0) == 0x80;
        value = value << 6 | (next & 0x3F);
      }
      const std::uint32_t least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
      if (ok && value >= least && value <= 0x10FFFF && !(value >= 0xD800 && value < 0xE000)) {
        c = value;
        n = len;
      }
    }
    appendUtf16be(out, c);
    i += n;
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

}  // namespace skiff::dock
