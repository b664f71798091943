#include "dock/nsof_text.h"

#include <array>

namespace skiff::nsof {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

void appendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool isTextClass(std::string_view className) {
  static constexpr std::array<std::string_view, 14> kTextClasses = {
      "string",      "phone",        "homePhone",  "workPhone",   "faxPhone", "carPhone", "mobilePhone",
      "homeFaxPhone", "otherPhone",  "beeperPhone", "name",       "company",  "title",    "address"};
  for (std::string_view known : kTextClasses)
    if (equalsIgnoringCase(className, known)) return true;
  return startsWithIgnoringCase(className, "string.");
}

std::u16string textUnits(std::span<const std::uint8_t> utf16be) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < utf16be.size(); i += 2) {
    const auto unit = static_cast<char16_t>(utf16be[i] << 8 | utf16be[i + 1]);
    if (unit == 0) break;
    units.push_back(unit);
  }
  return units;
}

std::vector<std::uint8_t> stringBytes(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(units.size() * 2 + 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    bytes.push_back(static_cast<std::uint8_t>(unit));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::string utf8FromUtf16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t unit = units[i];
    if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
      appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00));
    } else {
      appendUtf8(out, isHighSurrogate(unit) || isLowSurrogate(unit) ? 0xFFFD : unit);
    }
  }
  return out;
}

std::u16string utf16FromUtf8(std::string_view utf8) {
  std::u16string units;
  units.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 0;
    static constexpr char32_t kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};  // shorter forms are invalid
    char32_t code = lead & kLeadMask[length];
    bool valid = length > 0 && i + length <= utf8.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(utf8[i + k]);
      valid = next >> 6 == 2;
      code = code << 6 | (next & 0x3F);
    }
    valid = valid && code >= kLeast[length] && code <= 0x10FFFF && !isHighSurrogate(code) && !isLowSurrogate(code);
    if (!valid) {
      units.push_back(u'\uFFFD');
      ++i;
    } else if (code >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
      i += length;
    } else {
      units.push_back(static_cast<char16_t>(code));
      i += length;
    }
  }
  return units;
}

}  // namespace skiff::nsof
