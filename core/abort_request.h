// The user's stop, as both front ends take it: Close on the main window, the first Ctrl-C on the command line.
#pragma once

#include "core/shell_ops.h"

namespace skiff {

// Whether a stop asked for now is put to the transfer: while bytes are counted, and for a batch that stops
// between files (`stopBetweenFiles`) in every phase of a file, its opening pause included. Otherwise (idle, or a
// file still setting up) the stop ends the program.
bool stopGoesToTransfer(const AppState& app);

// A stop put to the transfer: the status reads "ABORTING", the engine finds `abortRequested`, and the display
// shows it at once. True when it was; false leaves the program's end to the front end.
bool requestAbort(AppState& app, ShellOps& shell);

}  // namespace skiff
