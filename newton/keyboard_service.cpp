#include "newton/keyboard_service.h"

#include <algorithm>
#include <cstdio>

#include "dock/nsof_text.h"

namespace skiff::newton {

namespace {

constexpr char16_t kBackspace = 0x08, kLeft = 0x1C, kRight = 0x1D, kUp = 0x1E, kDown = 0x1F;
constexpr std::uint16_t kCommandKey = 1u << 1;

bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::string hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

}  // namespace

bool KeyboardService::answers(const std::string& command) {
  return command == "kybd" || command == "kbdc" || command == "kbds";
}

std::string KeyboardService::textUtf8() const { return nsof::utf8FromUtf16(text_); }

std::vector<std::string> KeyboardService::take(const dock::Frame& frame) {
  if (frame.command == "kybd") {
    active_ = used_ = true;
    return {"keyboard on"};
  }
  if (!active_) return {"keys without kybd ignored"};
  if (frame.command == "kbds") {
    const std::u16string units = nsof::textUnits(frame.data);
    for (const char16_t c : units) key(c);
    return {"typed " + std::to_string(units.size()) + " units"};
  }
  dock::Cursor cursor(frame.data);
  const auto c = static_cast<char16_t>(cursor.u16());
  const std::uint16_t state = cursor.u16();
  if ((state & kCommandKey) != 0) {
    const std::string name = c > 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : hex(c);
    commands_.push_back("command-" + name);
    return {"command key " + name};
  }
  key(c);
  return {"key " + hex(c)};
}

void KeyboardService::key(char16_t c) {
  switch (c) {
    case kBackspace:
      if (caret_ == 0) return;
      --caret_;
      if (caret_ > 0 && isLowSurrogate(text_[caret_])) --caret_;
      text_.erase(caret_, caret_ + 1 < text_.size() && isLowSurrogate(text_[caret_ + 1]) ? 2 : 1);
      return;
    case kLeft:
      if (caret_ > 0) caret_ -= caret_ > 1 && isLowSurrogate(text_[caret_ - 1]) ? 2 : 1;
      return;
    case kRight:
      if (caret_ < text_.size()) caret_ += caret_ + 1 < text_.size() && isLowSurrogate(text_[caret_ + 1]) ? 2 : 1;
      return;
    case kUp:
    case kDown:
      moveLine(c == kUp ? -1 : 1);
      return;
    default:
      if (c < 0x20 && c != '\r' && c != '\t') return;  // no key of a text view
      text_.insert(caret_++, 1, c);
  }
}

// To the line above or below, at the same column where that line is long enough (lines end in CR).
void KeyboardService::moveLine(int direction) {
  const auto lineStart = [this](std::size_t at) {
    const std::size_t cr = at == 0 ? std::u16string::npos : text_.rfind(u'\r', at - 1);
    return cr == std::u16string::npos ? 0 : cr + 1;
  };
  const std::size_t start = lineStart(caret_);
  const std::size_t column = caret_ - start;
  std::size_t target = 0;
  if (direction < 0) {
    if (start == 0) return;
    target = lineStart(start - 1);
  } else {
    const std::size_t end = text_.find(u'\r', caret_);
    if (end == std::u16string::npos) return;
    target = end + 1;
  }
  const std::size_t targetEnd = std::min(text_.find(u'\r', target), text_.size());
  caret_ = std::min(target + column, targetEnd);
}

}  // namespace skiff::newton
