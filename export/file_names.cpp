#include "export/file_names.h"

#include <array>

namespace skiff::exporting {
namespace {

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t characters(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += !isContinuation(c);
  return count;
}

// The first `count` characters of the text.
std::string_view firstCharacters(std::string_view text, std::size_t count) {
  std::size_t i = 0;
  for (std::size_t seen = 0; i < text.size(); ++i) {
    if (!isContinuation(text[i]) && seen++ == count) break;
  }
  return text.substr(0, i);
}

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool reservedOnWindows(std::string_view stem) {
  static constexpr std::array<std::string_view, 22> kReserved = {
      "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
      "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
  const std::string base = lowered(stem.substr(0, stem.find('.')));
  for (std::string_view name : kReserved)
    if (base == name) return true;
  return false;
}

std::string trimmed(std::string_view text) {
  const auto trim = [](char c) { return c == ' ' || c == '.'; };
  std::size_t begin = 0, end = text.size();
  while (begin < end && trim(text[begin])) ++begin;
  while (end > begin && trim(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace

std::string safeFileStem(std::string_view wanted, std::string_view fallback) {
  std::string stem;
  for (char c : wanted) {
    const auto u = static_cast<unsigned char>(c);
    const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (space) {
      if (!stem.empty() && stem.back() != ' ') stem += ' ';
    } else if (u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      stem += '_';
    } else {
      stem += c;
    }
  }
  stem = trimmed(stem);
  if (stem.empty()) stem = trimmed(fallback);
  if (reservedOnWindows(stem)) stem += '_';
  return stem;
}

std::string FileNamer::take(std::string_view wanted, std::string_view extension, std::string_view fallback) {
  const std::string stem = safeFileStem(wanted, fallback);
  for (int number = 1;; ++number) {
    const std::string suffix = number == 1 ? "" : " (" + std::to_string(number) + ")";
    const std::size_t room = kLongestFileName - characters(suffix) - characters(extension);
    std::string_view cut = firstCharacters(stem, room);
    while (cut.size() + suffix.size() + extension.size() > kLongestFileBytes) cut = firstCharacters(cut, characters(cut) - 1);
    std::string name = trimmed(cut);
    if (name.empty()) name = std::string(fallback);
    name += suffix;
    name += extension;
    if (taken_.insert(lowered(name)).second) return name;
  }
}

}  // namespace skiff::exporting
