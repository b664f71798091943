// Runs a dock Session over the link seam: what the Newton has sent goes into the session, what the session has
// to send goes out one frame to a message, and every wait is the one bounded wait of core/wait.h, pumping so
// that the window and the status display stay alive.
#pragma once

#include <cstdint>
#include <functional>

#include "core/pipe_calls.h"
#include "core/wait.h"
#include "dock/session.h"

namespace skiff::dock {

inline constexpr std::int32_t kDockIoTimeoutMs = 15000;  // every pipeRead and pipeWrite of a dock session
inline constexpr std::int32_t kDockReadPiece = 500;      // the most one read from the Newton takes

class SessionDriver {
 public:
  SessionDriver(Runtime& rt, Session& session);

  // Writes every frame the session has to send, each as one message; the first failure's status.
  std::int16_t send();
  // Reads what the Newton has sent and not yet been read into the session. The status of the query of the input
  // goes to *queryStatus.
  std::int16_t take(std::int32_t* queryStatus = nullptr);
  // Takes the Newton's frames and sends the session's until `done` holds (0), a bound runs out
  // (code::kTimeout), the link is lost (code::kDisconnected) or a link call fails (its status). With `framesRestart`, every frame from the Newton,
  // "helo" too, starts the silence bound again.
  std::int32_t waitFor(const std::function<bool()>& done, WaitBounds bounds, bool framesRestart = true);

  Session& session() { return session_; }
  PipeCalls& calls() { return calls_; }

 private:
  Runtime& rt_;
  Session& session_;
  PipeCalls calls_;
};

}  // namespace skiff::dock
