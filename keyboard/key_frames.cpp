#include "keyboard/key_frames.h"

#include "dock/nsof_text.h"

namespace skiff::keyboard {

namespace {

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

KeyFrame keyChar(char16_t c, std::uint16_t state) {
  return {"kbdc", {static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(state >> 8),
                   static_cast<std::uint8_t>(state)}};
}

}  // namespace

std::vector<KeyFrame> keyFrames(const KeyStroke& stroke, std::size_t runUnits) {
  std::vector<KeyFrame> frames;
  if (runUnits < 2) runUnits = 2;
  if (stroke.kind == KeyStroke::Key) {
    frames.push_back(keyChar(stroke.key, stroke.state));
  } else if (stroke.kind == KeyStroke::Text && stroke.text.size() == 1) {
    frames.push_back(keyChar(stroke.text[0], 0));
  } else if (stroke.kind == KeyStroke::Text) {
    const std::u16string_view text = stroke.text;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t n = std::min(runUnits, text.size() - at);
      if (at + n < text.size() && isHighSurrogate(text[at + n - 1])) --n;
      frames.push_back({"kbds", nsof::stringBytes(text.substr(at, n))});
      at += n;
    }
  }
  return frames;
}

std::size_t characterCount(std::u16string_view text) {
  std::size_t count = 0;
  for (const char16_t c : text) count += isLowSurrogate(c) ? 0 : 1;
  return count;
}

}  // namespace skiff::keyboard
