// Runs one transfer command in the terminal as the main window runs it: the link started, the command, the
// "Error -- " report of a non-zero result, and the link shut down in its fixed order.
#pragma once

#include <cstdint>
#include <functional>

#include "app/app_state.h"
#include "cli/terminal_shell.h"

namespace skiff::cli {

struct CommandOutcome {
  std::int32_t result = 0;  // the command's result (0, or the link status code that was reported)
  int messagesShown = 0;    // reports shown for any file, the final one included
  bool stopped = false;     // the user stopped the wait, or asked to quit
};

struct TerminalCommand {
  int window = 1;                                  // the MNP window offered to the Newton (1 to 8)
  std::function<void(TerminalShell&)> prepare;     // may be empty
  std::function<std::int32_t(Runtime&)> run;
  bool compress = false;                           // accept the Newton's V.42bis offer
};

// Said once when --compress was given and the Newton's link request offers no compression.
extern const char* const kNoCompressionOffered;

// `app` carries the settings for this run. When it returns, the status line has its end.
CommandOutcome runTerminalCommand(AppState& app, const TerminalCommand& command);

}  // namespace skiff::cli
