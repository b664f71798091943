// The Newton's text travels as UTF-16 in big-endian order (names, soup names, NSOF strings); the desktop's is
// UTF-8. Conversions both ways that never fail: what cannot be converted becomes U+FFFD.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace skiff::dock {

// UTF-16BE bytes to UTF-8, up to the first 0000 or the end; a lone surrogate becomes U+FFFD.
std::string utf8FromUtf16be(std::span<const std::uint8_t> bytes);
// UTF-8 to UTF-16BE with a 0000 terminator; bytes that are not UTF-8 become U+FFFD.
std::vector<std::uint8_t> utf16beFromUtf8(const std::string& text);

}  // namespace skiff::dock
