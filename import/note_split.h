// import/: text files into the Newton's own Notes soup, over the Newton OS 2.x dock session.
//
// How a long text becomes several notes: each holds about 4,000 characters and ends at a word boundary, and the
// notes after the first carry their number in the title, "letter.txt (2)".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace skiff::import {

// UTF-16 units a note holds at most. Desktops that import text cut it at about 4,000 characters; what a Newton
// itself takes in one paragraph is not documented.
inline constexpr std::size_t kNoteUnits = 4000;

// Where the first note of `text` ends. All of it when it fits in `limit`; else just after the last line end in
// the second half of the limit, else just after the last space or tab there, else at the limit itself (one unit
// short of it when the limit would fall between the two halves of a surrogate pair). Nothing is dropped: the
// notes, joined, are the text.
std::size_t noteEnd(std::u16string_view text, std::size_t limit = kNoteUnits);

// "name" for the first note, "name (2)" for the second, and so on.
std::u16string noteTitle(std::u16string_view name, int number);

}  // namespace skiff::import
