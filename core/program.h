// The program's life around its window: the initial state, starting the link, the never-blocking main loop,
// and the link's shut-down in its fixed order.
#pragma once

#include "core/shell_ops.h"

namespace skiff {

// Before the window exists: status text 21, idle, the module instance.
void initialState(AppState& app, void* instance);
// After the window is shown: linkStartup, pipeCreate (kept in app.pipe), linkRegisterApp.
void startLink(AppState& app, LinkOps& link);
// Takes messages while there are any and idles the pipe whenever there are none; returns the quit code.
int runMainLoop(Runtime& rt);
// After the loop: pipeDisconnect and pipeDispose when there is a pipe, then linkShutdown in every case.
void stopLink(AppState& app, LinkOps& link);

}  // namespace skiff
