// File names and note text as the Newton's companion application reads them: in the Windows character set (code
// page 1252), which is what the Windows program sends. The command line's names are UTF-8; a character the
// Windows set cannot carry (and a byte that is no UTF-8) becomes "_".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace skiff::cli {

// `*lossy` (may be null) tells whether any character became "_".
std::string windowsNameFromUtf8(std::string_view utf8, bool* lossy = nullptr);

// The other way, for showing a name as it was sent.
std::string utf8FromWindowsName(std::string_view windows);

// A note's text in the Windows character set, when `text` is UTF-8 with at least one character beyond ASCII; a
// character the set cannot carry becomes "?" and is counted in `*replaced`, and a byte-order mark at the start
// (no character of the note) is left out. Nothing for any other text: pure ASCII is the same bytes, and text
// that is not UTF-8 is taken to be in the Windows set already, so it goes as it is.
std::optional<std::string> windowsTextFromUtf8(std::string_view text, std::size_t* replaced);

}  // namespace skiff::cli
