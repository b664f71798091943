// The content lines vCard (RFC 2426) and iCalendar (RFC 5545) share: NAME;PARAMS:VALUE, text values escaped,
// lines folded after 75 octets with CRLF and a space, never inside a UTF-8 character, and every line ended by CRLF.
#pragma once

#include <string>
#include <string_view>

namespace skiff::exporting {

// A TEXT value: backslash, comma and semicolon escaped with a backslash, a line end (LF, CR or CRLF) as "\n".
std::string escapeText(std::string_view text);

// The line folded (at most 75 octets a line, CRLF, continuation lines starting with one space) and ended by CRLF.
std::string foldedLine(std::string_view line);

// Appends "NAME:VALUE" folded; `value` is written as it stands (escape it first where it is text).
void addLine(std::string& out, std::string_view name, std::string_view value);

}  // namespace skiff::exporting
