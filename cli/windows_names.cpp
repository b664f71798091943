#include "cli/windows_names.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace skiff::cli {

namespace {

// Code page 1252 from 0x80 to 0x9F; 0 where the code page has no character. From 0xA0 on it is Latin-1.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The code page's byte for a character, or -1.
int windowsByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] != 0 && kHighControls[i] == c) return 0x80 + i;
  return -1;
}

// One character from the front of `text`: its code and how many bytes it took, or -1 and one byte when the
// bytes are no UTF-8 (a stray continuation, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF).
std::pair<long, std::size_t> takeUtf8(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (length == 0 || text.size() < length) return {-1, 1};
  long code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return {-1, 1};
    code = (code << 6) | (next & 0x3F);
  }
  const long smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {-1, 1};
  return {code, length};
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string windowsNameFromUtf8(std::string_view utf8, bool* lossy) {
  std::string out;
  bool replaced = false;
  while (!utf8.empty()) {
    const auto [code, length] = takeUtf8(utf8);
    utf8.remove_prefix(length);
    const int byte = code < 0 ? -1 : windowsByte(static_cast<char32_t>(code));
    replaced = replaced || byte < 0;
    out += byte < 0 ? '_' : static_cast<char>(byte);
  }
  if (lossy) *lossy = replaced;
  return out;
}

std::optional<std::string> windowsTextFromUtf8(std::string_view text, std::size_t* replaced) {
  *replaced = 0;
  const auto beyondAscii = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
  if (std::none_of(text.begin(), text.end(), beyondAscii)) return std::nullopt;
  std::string out;
  out.reserve(text.size());
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::size_t lost = 0;
  while (!text.empty()) {
    const auto [code, length] = takeUtf8(text);
    if (code < 0) return std::nullopt;
    text.remove_prefix(length);
    const int byte = windowsByte(static_cast<char32_t>(code));
    lost += byte < 0 ? 1 : 0;
    out += byte < 0 ? '?' : static_cast<char>(byte);
  }
  *replaced = lost;
  return out;
}

std::string utf8FromWindowsName(std::string_view windows) {
  std::string out;
  for (unsigned char byte : windows) {
    const char32_t c = byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
    appendUtf8(out, c == 0 ? U'_' : c);
  }
  return out;
}

}  // namespace skiff::cli
