#include "core/connect.h"

#include "core/pump.h"

namespace skiff {

ConnectionEnd connectNewton(Runtime& rt, const ConnectionPlan& plan) {
  for (int failures = 0;;) {
    if (const std::int32_t opened = openPipe(rt, plan.baud); opened != 0) return {Connection::Failed, opened};
    const int end = rt.shell.runConnectionDialog();
    if (end == kConnectionAccepted) return {Connection::Connected, 0};
    if (end == kConnectionStopped) return {Connection::Stopped, 0};
    // A listen that keeps failing will not start on the next try either: report it instead of looping.
    if (++failures >= plan.listenAttempts) return {Connection::Failed, end};
  }
}

SessionRun runConnected(Runtime& rt, const ConnectionPlan& plan, bool& connected,
                        const std::function<std::int32_t()>& session) {
  for (;;) {
    if (!connected) {
      const ConnectionEnd end = connectNewton(rt, plan);
      if (end.how != Connection::Connected) return {end.code, end};
      connected = true;
    }
    const std::int32_t result = session();
    if (result != SESSION_RECONNECT) return {result, std::nullopt};
    connected = false;
  }
}

}  // namespace skiff
