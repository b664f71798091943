#include "ui/texts.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "app/shell_ops.h"
#include "link/link_ops.h"
#include "ui/string_table.h"

namespace skiff {

namespace {

TextSource gTextSource = &BuiltInText;

std::string bounded(std::string text, std::size_t limit) {
  if (text.size() > limit) text.resize(limit);
  return text;
}

int errorStringId(std::int32_t errorCode) {
  switch (errorCode) {
    case code::kTimeout: return 3;
    case code::kNotReady: return 52;
    case code::kBadParameter: return 51;
    case code::kNotInitialized: return 50;
    case code::kQueueFull: return 49;
    case code::kException: return 48;
    case code::kBadState: return 47;
    case code::kAllocation: return 46;
    case code::kBadToolVersion: return 60;
    case code::kToolNotFound: return 59;
    case code::kReadError: return 58;
    case code::kDisconnectWhileReading: return 57;
    case code::kDisconnected: return 56;
    case code::kNoResponse: return 55;
    case code::kOutOfMemory: return 46;
    case code::kBadConnection: return 54;
    case code::kAborted: return 53;
    case code::kPortUnavailable: return 4;
    default: return 0;
  }
}

}  // namespace

void SetTextSource(TextSource source) { gTextSource = source != nullptr ? source : &BuiltInText; }

std::string BuiltInText(int id) {
  for (std::size_t i = 0; i < kStringTableSize; ++i) {
    if (kStringTable[i].id == id) return kStringTable[i].text;
  }
  return {};
}

std::string LoadText(int id) { return bounded(gTextSource(id), kLoadTextMax); }

std::string FormatBounded(std::size_t limit, const char* format, ...) {
  std::vector<char> buffer(limit + 1);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  return std::string(buffer.data());
}

std::string ErrorText(std::int32_t errorCode) {
  if (const int id = errorStringId(errorCode); id != 0) return LoadText(id);
  const std::string format = LoadText(61);  // "unknown error %d"
  return FormatBounded(255, format.c_str(), static_cast<int>(errorCode));
}

std::string ShowErrorText(std::int32_t errorCode, std::string_view what) {
  return FormatBounded(kShowErrorMax, "Error: %.*s ... err %d", static_cast<int>(what.size()), what.data(),
                       static_cast<int>(errorCode));
}

std::string ShowMessageText(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  std::string text;
  text.reserve(a.size() + b.size() + c.size() + d.size());
  text.append(a).append(b).append(c).append(d);
  return bounded(std::move(text), kShowMessageMax);
}

std::int32_t ShowError(ShellOps& shell, std::int32_t errorCode, std::string_view what) {
  shell.messageBox(ShowErrorText(errorCode, what), "Skiff", BoxIcon::Warning, nullptr);
  return errorCode;
}

void ShowMessage(ShellOps& shell, std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  shell.messageBox(ShowMessageText(a, b, c, d), "Skiff", BoxIcon::Information, nullptr);
}

}  // namespace skiff
