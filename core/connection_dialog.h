// The connection dialog's decisions: listen when it opens, poll the pipe every 250 ms until a Newton calls,
// accept it, or stop when the user says so. The Win32 dialog carries out the returned steps.
#pragma once

#include <optional>

#include "core/shell_ops.h"

namespace skiff {

inline constexpr int kConnectionTimerId = 1;
inline constexpr int kConnectionPollMs = 250;
inline constexpr unsigned kStopButton = 31;

struct ConnectionDialog {
  bool stopped = false;    // the user stopped
  bool accepting = false;  // a Newton is being accepted (the pump inside may deliver more ticks)
};

// What the dialog does after a message.
struct ConnectionStep {
  bool startTimer = false;
  bool killTimer = false;
  std::optional<int> endCode;  // end the dialog with this code
};

// WM_INITDIALOG: pipeListen(pipe, -1, 0, 0); a failure disconnects and ends with the code (sign-extended
// from 16 bits) without a timer.
ConnectionStep connectionOpened(Runtime& rt, ConnectionDialog& dialog);
// WM_TIMER: state 4 accepts, pumps for a second and ends with 5; a lost line disconnects and ends with
// -28030; otherwise the pipe gets idle time.
ConnectionStep connectionTick(Runtime& rt, ConnectionDialog& dialog);
// WM_COMMAND: ids 1, 2 and 31 stop (disconnect, end with 2); others are not handled (nullopt).
std::optional<ConnectionStep> connectionCommand(Runtime& rt, ConnectionDialog& dialog, unsigned id);

}  // namespace skiff
