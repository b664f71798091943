// Opening the pipe and keeping the window and the link alive while a transfer waits.
#pragma once

#include <cstdint>
#include <string>

#include "core/shell_ops.h"

namespace skiff {

// "%s:%li,n,8,1" from the port name and the baud, bounded to the 100-byte configuration buffer.
std::string pipeConfigText(const std::string& portName, std::int32_t baud);

// Configures the pipe for Settings.portName at `baud` with MNP framing. A failure is shown with ShowError
// ("CDPipeInit error") and its code returned; a port that cannot be opened is left to a front end that tells
// it itself (AppState.frontEndTellsPortFailure).
std::int32_t openPipe(Runtime& rt, std::int32_t baud);

// Dispatches window messages and idles the pipe for `ms` milliseconds. A quit message sets abortRequested and
// ends the pump at once; it is remembered in quitPending so that the main window posts it again once the
// transfer command has returned, and the program still ends.
void pumpFor(Runtime& rt, std::int32_t ms);

// Shows the transfer status now, then one pump pass.
void refreshStatus(Runtime& rt);

// Whole seconds of the tick count; all session pauses are measured with it.
std::int32_t secondsNow(ShellOps& shell);

}  // namespace skiff
