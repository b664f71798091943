// Texts and message boxes: the string loader, error sentences, and the two reporting helpers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/text_ids.h"

namespace skiff {

class ShellOps;
struct AppState;

inline constexpr std::size_t kLoadTextMax = 254;     // LoadStringA with a 255-byte buffer
inline constexpr std::size_t kShowErrorMax = 251;    // "Error: %s ... err %d" into 252 bytes
inline constexpr std::size_t kShowMessageMax = 499;  // "%s%s%s%s" into 500 bytes

// The box for a file that cannot be opened before its command starts: a text the program has always shown as
// it stands, not from the string table (the batch's own report is string 32, CannotOpenFile).
inline constexpr std::string_view kCouldNotOpenFile = "Could not open file";

// Where string ids come from. The default is the built-in table; the Windows skin installs one that reads the
// module's string table, which is generated from the same source.
using TextSource = std::string (*)(int id);
void SetTextSource(TextSource source);
std::string BuiltInText(int id);

// String `id`, at most kLoadTextMax characters; empty when the id does not exist.
std::string LoadText(TextId id);
// The sentence for a link status code ("unknown error %d" for codes the table does not know).
std::string ErrorText(std::int32_t code);

// printf into a bounded text: never more than `limit` characters.
std::string FormatBounded(std::size_t limit, const char* format, ...);

std::string ShowErrorText(std::int32_t code, std::string_view what);
std::string ShowMessageText(std::string_view a, std::string_view b, std::string_view c, std::string_view d);

// Shows "Error: <what> ... err <code>" with the warning icon; returns code.
std::int32_t ShowError(ShellOps& shell, std::int32_t code, std::string_view what);
// Shows the four parts joined, with the information icon.
void ShowMessage(ShellOps& shell, std::string_view a, std::string_view b = {}, std::string_view c = {},
                 std::string_view d = {});

// Sets the status text to string `id`, or to `text`, bounded as the status text buffer is.
void setStatusText(AppState& app, TextId id);
void setStatusText(AppState& app, const std::string& text);

}  // namespace skiff
