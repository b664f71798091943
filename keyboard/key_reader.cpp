#include "keyboard/key_reader.h"

namespace skiff::keyboard {

namespace {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::size_t kLongestSequence = 16;  // longer ones are no key of ours; dropped

char16_t arrow(std::uint8_t final) {
  switch (final) {
    case 'A': return kUpArrowKey;
    case 'B': return kDownArrowKey;
    case 'C': return kRightArrowKey;
    case 'D': return kLeftArrowKey;
    default: return 0;
  }
}

bool isText(std::uint8_t b) { return b >= 0x20 ? b != 0x7F : b == '\t' || b == '\r' || b == '\n'; }

}  // namespace

void TerminalKeys::takeText(std::vector<KeyStroke>& out, bool whole) {
  if (whole) decoder_.finish(text_);
  if (!text_.empty()) out.push_back({KeyStroke::Text, std::move(text_), 0, 0});
  text_.clear();
}

void TerminalKeys::key(std::vector<KeyStroke>& out, char16_t k, std::uint16_t state) {
  takeText(out, true);
  out.push_back({KeyStroke::Key, {}, k, state});
}

// A byte after ESC: "[" or "O" begin a sequence that ends with a byte from 0x40 to 0x7E (for "O", the next
// one); a printable character alone is Alt or Meta with it.
void TerminalKeys::escapeByte(std::uint8_t b, std::vector<KeyStroke>& out) {
  if (escape_.size() == 1) {
    escape_.clear();
    if (b == '[' || b == 'O') {
      escape_ = {static_cast<char>(kEscape), static_cast<char>(b)};
    } else if (b > 0x20 && b < 0x7F) {
      key(out, b, kCommandKeyState);
    } else {
      byte(b, out);  // no sequence: the Escape key alone, then the byte as it is
    }
    return;
  }
  if (b < 0x20) {  // a control character breaks the sequence off, and counts as itself
    escape_.clear();
    byte(b, out);
    return;
  }
  escape_ += static_cast<char>(b);
  if (escape_[1] == 'O' || (b >= 0x40 && b <= 0x7E)) {
    const char16_t k = arrow(b);
    escape_.clear();
    if (k != 0) key(out, k);
  } else if (escape_.size() >= kLongestSequence) {
    escape_.clear();
  }
}

void TerminalKeys::byte(std::uint8_t b, std::vector<KeyStroke>& out) {
  if (ended_) return;
  if (!escape_.empty()) {
    escapeByte(b, out);
  } else if (b == kEscape) {
    takeText(out, true);
    escape_.assign(1, static_cast<char>(kEscape));
  } else if (b == kEndByte || b == kInterruptByte) {
    takeText(out, true);
    out.push_back({KeyStroke::End, {}, 0, 0});
    ended_ = true;
  } else if (b == 0x7F || b == 0x08) {
    key(out, kBackspaceKey);
  } else if (isText(b)) {
    decoder_.feed(std::span(&b, 1), text_);
  } else {
    takeText(out, true);  // a control character no Newton key answers to
  }
}

std::vector<KeyStroke> TerminalKeys::feed(std::span<const std::uint8_t> bytes) {
  std::vector<KeyStroke> out;
  for (const std::uint8_t b : bytes) byte(b, out);
  takeText(out, false);
  return out;
}

std::vector<KeyStroke> TerminalKeys::flush() {
  std::vector<KeyStroke> out;
  escape_.clear();
  takeText(out, true);
  return out;
}

}  // namespace skiff::keyboard
