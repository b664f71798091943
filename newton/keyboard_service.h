// The Newton's insertion point as the desktop's keyboard types at it: "kybd" starts the keyboard, "kbdc" is a
// key (a character and a state word whose bit 1 is the command key), "kbds" a run of characters, and the
// desktop's cancel ("opca") ends it (the Dante Connection Protocol ERS). Here the keys edit a text as the
// Newton's text views do: characters go in at the caret, Backspace takes the one before it, the arrows move it
// (up and down by a line), and a key with the command key is a command, which leaves the text as it is. Pure,
// like DockProtocol, which hands it these frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dock/frame.h"

namespace skiff::newton {

class KeyboardService {
 public:
  static bool answers(const std::string& command);  // "kybd", "kbdc", "kbds"
  // The log lines of what the frame did.
  std::vector<std::string> take(const dock::Frame& frame);
  void cancel() { active_ = false; }

  bool used() const { return used_; }              // "kybd" came at some time
  const std::u16string& text() const { return text_; }
  std::string textUtf8() const;
  const std::vector<std::string>& commands() const { return commands_; }  // "command-c", one per command key

 private:
  void key(char16_t c);
  void moveLine(int direction);

  bool active_ = false;
  bool used_ = false;
  std::u16string text_;
  std::size_t caret_ = 0;
  std::vector<std::string> commands_;
};

}  // namespace skiff::newton
