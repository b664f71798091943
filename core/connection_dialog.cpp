#include "core/connection_dialog.h"

#include "core/pump.h"

namespace skiff {

ConnectionStep connectionOpened(Runtime& rt, ConnectionDialog& dialog) {
  dialog = {};
  ConnectionStep step;
  const std::int16_t result = rt.link.pipeListen(rt.app.pipe, -1, 0, 0);
  if (result != 0) {
    rt.link.pipeDisconnect(rt.app.pipe);
    step.endCode = static_cast<int>(result);
    return step;
  }
  step.startTimer = true;
  return step;
}

ConnectionStep connectionTick(Runtime& rt, ConnectionDialog& dialog) {
  ConnectionStep step;
  if (dialog.stopped || dialog.accepting) return step;
  const std::int32_t pipeState = rt.link.pipeState(rt.app.pipe);
  if (pipeState == state::kLost) {
    // The line hung up (an adapter pulled out) or the link library gave up on it: nobody can call on it any
    // more, so the wait ends as a failed listen does, with the code of the loss.
    rt.link.pipeDisconnect(rt.app.pipe);
    step.killTimer = true;
    step.endCode = code::kDisconnected;
    return step;
  }
  if (pipeState == state::kCalling) {
    dialog.accepting = true;
    rt.link.pipeAccept(rt.app.pipe);
    pumpFor(rt, 1000);
    step.killTimer = true;
    if (dialog.stopped) return step;  // STOP during the accept pump has already ended the dialog with 2
    step.endCode = kConnectionAccepted;
    return step;
  }
  rt.link.pipeIdle(rt.app.pipe);
  return step;
}

std::optional<ConnectionStep> connectionCommand(Runtime& rt, ConnectionDialog& dialog, unsigned id) {
  if (id != 1 && id != 2 && id != kStopButton) return std::nullopt;
  dialog.stopped = true;
  rt.link.pipeDisconnect(rt.app.pipe);
  ConnectionStep step;
  step.killTimer = true;
  step.endCode = kConnectionStopped;
  return step;
}

}  // namespace skiff
