// File names as the Newton's companion application reads them: in the Windows character set (code page 1252),
// which is what the Windows program sends. The command line's names are UTF-8; a character the Windows set
// cannot carry (and a byte that is no UTF-8) becomes "_".
#pragma once

#include <string>
#include <string_view>

namespace skiff::cli {

// `*lossy` (may be null) tells whether any character became "_".
std::string windowsNameFromUtf8(std::string_view utf8, bool* lossy = nullptr);

// The other way, for showing a name as it was sent.
std::string utf8FromWindowsName(std::string_view windows);

}  // namespace skiff::cli
