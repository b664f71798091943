// The tag byte that starts each object of a stream ("Newton Formats"). 13 and 14 exist in some desktop software
// as extensions; a Newton refuses them, so they are neither read nor written.
#pragma once

#include <cstdint>

namespace skiff::nsof {

enum Tag : std::uint8_t {
  kTagImmediate = 0,         // xlong: a 32-bit Ref
  kTagCharacter = 1,         // one byte
  kTagUnicodeCharacter = 2,  // two bytes, big-endian
  kTagBinary = 3,            // xlong length, class, bytes
  kTagArray = 4,             // xlong count, class, elements
  kTagPlainArray = 5,        // xlong count, elements
  kTagFrame = 6,             // xlong count, slot tags, values
  kTagSymbol = 7,            // xlong length, name
  kTagString = 8,            // xlong length, UTF-16BE with its terminator
  kTagPrecedent = 9,         // xlong: an earlier object's ID
  kTagNil = 10,
  kTagSmallRect = 11,        // top, left, bottom, right: a byte each
  kTagLargeBinary = 12,      // class, compressed flag, four longs, compander name and parameters, data
};

inline constexpr std::uint8_t kLongXlong = 0xFF;  // an xlong that does not fit in 0..254: FF, then four bytes
inline constexpr std::size_t kMaxSymbolLength = 255;  // a Newton refuses longer symbols

}  // namespace skiff::nsof
