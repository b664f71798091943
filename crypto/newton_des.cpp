#include "crypto/newton_des.h"

#include <nettle/des.h>

#include <array>
#include <bit>
#include <string>

namespace skiff::crypto {
namespace {

using Block = std::array<std::uint8_t, 8>;

Block bigEndian(std::uint64_t value) {
  Block bytes{};
  for (int i = 0; i < 8; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
  return bytes;
}

std::uint64_t fromBigEndian(const Block& bytes) {
  std::uint64_t value = 0;
  for (std::uint8_t byte : bytes) value = value << 8 | byte;
  return value;
}

// The derivation's own parity rule, not DES parity: a byte with an even number of ones gets its lowest bit set,
// and a byte whose lowest bit is already set stays as it is.
std::uint64_t markEvenBytes(std::uint64_t key) {
  for (int shift = 0; shift < 64; shift += 8) {
    const auto byte = static_cast<std::uint8_t>(key >> shift);
    if (std::popcount(byte) % 2 == 0) key |= std::uint64_t{1} << shift;
  }
  return key;
}

constexpr std::uint64_t kStartKey = 0x57406860626D7464;

std::u16string utf16From(std::string_view utf8) {
  std::u16string units;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= utf8.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(utf8[i + static_cast<std::size_t>(k)]);
      valid = (next >> 6) == 2;
      code = code << 6 | (next & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid) valid = code >= kLeast[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      units.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<std::size_t>(length);
  }
  return units;
}

}  // namespace

std::uint64_t newtonDes(std::uint64_t key, std::uint64_t block) {
  const std::uint64_t hi = (key >> 31) & 0xFFFFFFFEu;
  const std::uint64_t lo = (key << 1) & 0xFFFFFFFEu;
  Block desKey = bigEndian(hi << 32 | lo);
  des_fix_parity(desKey.size(), desKey.data(), desKey.data());
  des_ctx context;
  // The result only says whether the key is one of DES's weak keys; the Newton encrypts under those too, and the
  // schedule is set either way.
  (void)des_set_key(&context, desKey.data());
  const Block plain = bigEndian(block);
  Block cipher{};
  des_encrypt(&context, cipher.size(), cipher.data(), plain.data());
  return fromBigEndian(cipher);
}

std::uint64_t passwordKey(std::u16string_view password) {
  password = password.substr(0, password.find(u'\0'));  // the Newton's password ends at its first 0
  std::uint64_t key = kStartKey;
  // Four units a block, the terminating 0 included; the block that holds the 0 is zero-filled and is the last.
  for (std::size_t start = 0;; start += 4) {
    std::uint64_t block = 0;
    bool reachedEnd = false;
    for (std::size_t i = start; i < start + 4; ++i) {
      const std::uint16_t unit = i < password.size() ? password[i] : 0;
      if (i >= password.size()) reachedEnd = true;
      block = block << 16 | unit;
    }
    key = markEvenBytes(newtonDes(key, block));
    if (reachedEnd) return key;
  }
}

std::uint64_t passwordKey(std::string_view utf8Password) { return passwordKey(utf16From(utf8Password)); }

}  // namespace skiff::crypto
