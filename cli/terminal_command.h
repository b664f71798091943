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

// `app` carries the settings for this run; `command` runs with the terminal shell prepared by `prepare`.
CommandOutcome runTerminalCommand(AppState& app, const std::function<void(TerminalShell&)>& prepare,
                                  const std::function<std::int32_t(Runtime&)>& command);

}  // namespace skiff::cli
