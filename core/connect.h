// Getting a Newton on the line, as every command does it: the pipe opened at the command's speed, the connection
// wait until a Newton calls, and again whenever the session finds that the caller did not open as a new session
// must (SESSION_RECONNECT).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/shell_ops.h"

namespace skiff {

struct ConnectionPlan {
  std::int32_t baud = 0;
  // Listens that may fail, in all, before the command ends with the failure's code (the pipe is opened again for
  // each); a wait the user stops ends it at once.
  int listenAttempts = 1;
};

enum class Connection { Connected, Stopped, Failed };
struct ConnectionEnd {
  Connection how = Connection::Failed;
  std::int32_t code = 0;  // Failed: the pipe's or the listen's code
};

// Opens the pipe and waits for a Newton to call.
ConnectionEnd connectNewton(Runtime& rt, const ConnectionPlan& plan);

// `session` over a connection, made first unless `connected` says there is one, and made again for as long as
// the session answers SESSION_RECONNECT. The session's result; a wait the user stopped, or the connection's
// failure, ends it with `ended` set and `connected` false.
struct SessionRun {
  std::int32_t result = 0;
  std::optional<ConnectionEnd> ended;  // the connection ended it before (or instead of) a session's result
};
SessionRun runConnected(Runtime& rt, const ConnectionPlan& plan, bool& connected,
                        const std::function<std::int32_t()>& session);

}  // namespace skiff
