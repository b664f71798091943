#include "core/texts.h"

#include <cstdarg>
#include <cstdio>
#include <optional>
#include <vector>

#include "core/link_ops.h"
#include "core/shell_ops.h"
#include "core/string_table.h"

namespace skiff {

namespace {

TextSource gTextSource = &BuiltInText;

std::string bounded(std::string text, std::size_t limit) {
  if (text.size() > limit) text.resize(limit);
  return text;
}

// The sentence of a link status code; nothing for codes the table does not know.
std::optional<TextId> errorTextId(std::int32_t errorCode) {
  switch (errorCode) {
    case code::kTimeout: return TextId::TimeoutError;
    case code::kNotReady: return TextId::PipeNotReady;
    case code::kBadParameter: return TextId::InvalidParameter;
    case code::kNotInitialized: return TextId::PipeNotInitialized;
    case code::kQueueFull: return TextId::QueueFull;
    case code::kException: return TextId::UnknownException;
    case code::kBadState: return TextId::BadPipeState;
    case code::kAllocation: return TextId::MemoryAllocation;
    case code::kBadToolVersion: return TextId::BadToolVersion;
    case code::kToolNotFound: return TextId::ToolNotFound;
    case code::kReadError: return TextId::ReadError;
    case code::kDisconnectWhileReading: return TextId::DisconnectWhileReading;
    case code::kDisconnected: return TextId::DisconnectionDetected;
    case code::kNoResponse: return TextId::ModemNoResponse;
    case code::kOutOfMemory: return TextId::MemoryAllocation;
    case code::kBadConnection: return TextId::BadConnection;
    case code::kAborted: return TextId::OperationAborted;
    case code::kPortUnavailable: return TextId::PortMissingOrInUse;
    default: return std::nullopt;
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

std::string LoadText(TextId id) { return bounded(gTextSource(static_cast<int>(id)), kLoadTextMax); }

std::string FormatBounded(std::size_t limit, const char* format, ...) {
  std::vector<char> buffer(limit + 1);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  return std::string(buffer.data());
}

std::string ErrorText(std::int32_t errorCode) {
  if (const std::optional<TextId> id = errorTextId(errorCode)) return LoadText(*id);
  const std::string format = LoadText(TextId::UnknownError);
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
  shell.messageBox(ShowErrorText(errorCode, what), "Skiff", BoxIcon::Warning, BoxOwner::None);
  return errorCode;
}

void ShowMessage(ShellOps& shell, std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  shell.messageBox(ShowMessageText(a, b, c, d), "Skiff", BoxIcon::Information, BoxOwner::None);
}

void setStatusText(AppState& app, TextId id) { app.statusText = LoadText(id); }

void setStatusText(AppState& app, const std::string& text) {
  app.statusText = text.substr(0, kStatusTextMax);
}

}  // namespace skiff
