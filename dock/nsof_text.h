// Text as Newton objects hold it: UTF-16 big-endian units in a binary whose class says it is text, and symbol
// names that compare without regard to case.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace skiff::nsof {

// ASCII letters compared without case, as NewtonScript compares symbols.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Whether a binary of this class holds text: 'string, a subclass written with a dot ('string.nohint), or one of
// the text classes the built-in applications use (phone kinds, 'name, 'company, 'title, 'address).
bool isTextClass(std::string_view className);

// The UTF-16 units of big-endian bytes up to the first 0000 (rich strings keep their ink after it); an odd last
// byte is dropped.
std::u16string textUnits(std::span<const std::uint8_t> utf16be);
// The big-endian bytes of the units and a 0000 terminator, as a string binary holds them.
std::vector<std::uint8_t> stringBytes(std::u16string_view units);

std::string utf8FromUtf16(std::u16string_view units);  // an unpaired surrogate becomes U+FFFD
std::u16string utf16FromUtf8(std::string_view utf8);   // an invalid sequence becomes U+FFFD

}  // namespace skiff::nsof
