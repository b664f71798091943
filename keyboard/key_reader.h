// keyboard/: the desktop's keyboard as the Newton's, over the Newton OS 2.x dock session.
//
// What the bytes a terminal sends for the keys typed mean to the Newton: runs of text, keys (arrows, Backspace;
// with the command key for Alt or Meta), and the end (Ctrl-] or Ctrl-C).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dock/desktop_text.h"

namespace skiff::keyboard {

// The characters a Newton takes for its keys, the codes a Macintosh keyboard gives them.
inline constexpr char16_t kReturnKey = 0x0D;
inline constexpr char16_t kTabKey = 0x09;
inline constexpr char16_t kBackspaceKey = 0x08;
inline constexpr char16_t kLeftArrowKey = 0x1C;
inline constexpr char16_t kRightArrowKey = 0x1D;
inline constexpr char16_t kUpArrowKey = 0x1E;
inline constexpr char16_t kDownArrowKey = 0x1F;
// "kbdc"'s state word: bit 1 says the command key is down (the Dante Connection Protocol ERS).
inline constexpr std::uint16_t kCommandKeyState = 1u << 1;

// The bytes that end a session typed at the terminal: Ctrl-] and Ctrl-C.
inline constexpr std::uint8_t kEndByte = 0x1D;
inline constexpr std::uint8_t kInterruptByte = 0x03;

struct KeyStroke {
  enum Kind { Text, Key, End };
  Kind kind = Text;
  std::u16string text;     // Text: characters as typed, Return and Tab among them (CR, tab)
  char16_t key = 0;        // Key
  std::uint16_t state = 0; // Key: kCommandKeyState or 0
  friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

// A terminal in raw mode, read in any pieces: UTF-8 text (a byte that is not read as Windows-1252), Return as
// CR or LF (a CR LF of a pasted block as one), Tab, Backspace as DEL or BS, the arrows as ANSI sequences
// (ESC [ A ... or ESC O A ...), Alt or Meta with a character (ESC and the character) as the command key with it.
// Other sequences and control characters have no Newton key and are dropped. Nothing after the end counts.
class TerminalKeys {
 public:
  std::vector<KeyStroke> feed(std::span<const std::uint8_t> bytes);
  // Nothing more has come for a moment: an ESC that waited for its sequence was the Escape key alone (which the
  // Newton has not), and text held for the rest of a UTF-8 sequence is what it is.
  std::vector<KeyStroke> flush();
  bool ended() const { return ended_; }

 private:
  void takeText(std::vector<KeyStroke>& out, bool whole);
  void byte(std::uint8_t b, std::vector<KeyStroke>& out);
  void escapeByte(std::uint8_t b, std::vector<KeyStroke>& out);
  void key(std::vector<KeyStroke>& out, char16_t k, std::uint16_t state = 0);

  dock::DesktopTextDecoder decoder_{dock::TextEncoding::Utf8};
  std::u16string text_;
  std::string escape_;  // an escape sequence begun
  bool ended_ = false;
};

}  // namespace skiff::keyboard
