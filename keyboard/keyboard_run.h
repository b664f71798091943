// The desktop's keyboard typing at the Newton's insertion point over a Newton OS 2.x dock session: "kybd" starts
// it, then "kbds" for runs of characters and "kbdc" for single keys; the end is the desktop's cancel ("opca"),
// which the Newton acknowledges ("ocaa") once it has taken everything before it. The keys come from a terminal
// (read raw, until Ctrl-] or Ctrl-C) or as text that is typed as it stands (standard input that is no terminal).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/shell_ops.h"
#include "dock/newton_name.h"

namespace skiff::keyboard {

struct KeyboardInput {
  std::string bytes;    // what came since the last read (perhaps nothing)
  bool ended = false;   // the input has ended
  std::string problem;  // it cannot be read: why
};

struct KeyboardJob {
  std::string password;  // UTF-8; empty: the Newton has none
  bool fromTerminal = false;
  // The Newton takes keys now (the terminal may go raw); false with the reason when the keys cannot come.
  std::function<bool(std::string* problem)> begin;
  std::function<KeyboardInput()> read;  // never waits
  std::function<void()> end;            // after begin, whatever ends the typing; may be empty
};

enum class KeyboardEnd {
  Ended,             // Ctrl-] or Ctrl-C at the terminal, or the end of the text; the Newton took it all
  Unacknowledged,    // ... but the Newton did not acknowledge the end: what was typed last may be lost
  Stopped,           // the user's stop (the interrupt), before the text's end
  NewtonCancelled,   // the Newton ended it ("opca")
  InputFailed,       // the keys could not be read: `problem`
  LinkLost,          // the line or a link call failed: `code`
  PasswordRejected,  // the Newton's password is not the one given
  OldNewton,         // a Newton OS 1.x Newton: no keyboard over this session
};

struct KeyboardOutcome {
  KeyboardEnd end = KeyboardEnd::LinkLost;
  std::int32_t code = 0;
  std::string problem;
  std::int64_t characters = 0;  // typed as text
  std::int64_t keys = 0;        // typed as keys (arrows, Backspace, command-key combinations)
  std::optional<dock::NewtonName> newton;
};

// Requires a connected pipe. SESSION_RECONNECT when the Newton did not open as a new session must; else 0, with
// the outcome filled in (a failure of the link is in outcome.code as well).
std::int32_t runKeyboard(Runtime& rt, KeyboardJob& job, KeyboardOutcome& outcome);

}  // namespace skiff::keyboard
