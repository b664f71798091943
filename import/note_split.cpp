#include "import/note_split.h"

namespace skiff::import {

namespace {
bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
}  // namespace

std::size_t noteEnd(std::u16string_view text, std::size_t limit) {
  if (limit < 2) limit = 2;
  if (text.size() <= limit) return text.size();
  const std::size_t from = limit / 2;
  const std::u16string_view window = text.substr(0, limit);
  if (const std::size_t cr = window.find_last_of(u'\r'); cr != std::u16string_view::npos && cr >= from) return cr + 1;
  if (const std::size_t space = window.find_last_of(u" \t"); space != std::u16string_view::npos && space >= from)
    return space + 1;
  return isHighSurrogate(text[limit - 1]) ? limit - 1 : limit;
}

std::u16string noteTitle(std::u16string_view name, int number) {
  std::u16string title(name);
  if (number < 2) return title;
  title += u" (";
  for (const char digit : std::to_string(number)) title += static_cast<char16_t>(digit);
  title += u')';
  return title;
}

}  // namespace skiff::import
