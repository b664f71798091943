// The Newton's text as a desktop shows it: UTF-16 to UTF-8, the Newton's own characters given a readable form,
// and its CR line ends as the caller wants them.
#pragma once

#include <string>
#include <string_view>

#include "dock/nsof.h"

namespace skiff::exporting {

// U+F700 (kInkChar) stands where an ink word is in a rich string: its ink is not text.
inline constexpr char16_t kInkChar = u'\uF700';
inline constexpr std::string_view kInkMarker = "[ink]";
// The line end of text files on this platform (the export is built for POSIX systems only).
inline constexpr std::string_view kLineEnd = "\n";

// UTF-8 of the units, each ink word as "[ink]" and each CR (or CR LF) as `lineEnd`. Other characters, the
// private-use ones included, are kept; a lone surrogate becomes U+FFFD.
std::string readableText(std::u16string_view units, std::string_view lineEnd = kLineEnd);

// The node's text read so, when it is a string of any text class; nothing otherwise.
std::optional<std::string> textOf(const nsof::Node& node, std::string_view lineEnd = kLineEnd);

}  // namespace skiff::exporting
