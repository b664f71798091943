// Runs one transfer command in the terminal as the main window runs it: the link started, the command, the
// "Error -- " report of a non-zero result, and the link shut down in its fixed order. A port that cannot be
// opened is not reported here: the command tells it in one line with the system's reason.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cli/terminal_shell.h"
#include "core/app_state.h"
#include "dil/dil.h"

namespace skiff::cli {

struct CommandOutcome {
  std::int32_t result = 0;  // the command's result (0, or the link status code that was reported)
  int messagesShown = 0;    // reports shown for any file, the final one included
  bool stopped = false;     // the user stopped the wait, or asked to quit
  int portError = 0;        // result -97: the system's error where the port failed to open
};

struct TerminalCommand {
  DilTuning link;                                  // window, frame gap, flow control, compression
  CallWatch callWatch{38400, false};               // what the connection wait says when no call comes
  std::function<void(TerminalShell&)> prepare;     // may be empty
  std::function<std::int32_t(Runtime&)> run;
};

// Said once when --compress was given and the Newton's link request offers no compression.
extern const char* const kNoCompressionOffered;

// The report of a link that ended because the Newton did not acknowledge for `patienceMs`, in place of
// "Error -- Disconnection detected.": "The Newton stopped answering: no acknowledgement for 30 s."
std::string noAcknowledgementText(int patienceMs);

// `app` carries the settings for this run. When it returns, the status line has its end.
CommandOutcome runTerminalCommand(AppState& app, const TerminalCommand& command);

}  // namespace skiff::cli
