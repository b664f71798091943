#include "core/pump.h"

#include "core/texts.h"

namespace skiff {

std::string pipeConfigText(const std::string& portName, std::int32_t baud) {
  return FormatBounded(99, "%s:%li,n,8,1", portName.c_str(), static_cast<long>(baud));
}

std::int32_t openPipe(Runtime& rt, std::int32_t baud) {
  const std::string config = pipeConfigText(rt.app.settings.portName, baud);
  const std::int32_t result = rt.link.CDPipeInit(rt.app.pipe, "MNP", "", config.c_str(),
                                                 rt.app.settings.portName.c_str(), rt.app.pipeBufferSize,
                                                 rt.app.pipeBufferSize);
  if (result == code::kPortUnavailable && rt.app.frontEndTellsPortFailure) return result;
  if (result != 0) return ShowError(rt.shell, result, "CDPipeInit error");
  return 0;
}

void pumpFor(Runtime& rt, std::int32_t ms) {
  if (rt.app.pipe != nullptr) rt.link.pipeIdle(rt.app.pipe);
  const std::uint32_t start = rt.shell.tickCount();
  for (;;) {
    int quitCode = 0;
    const PumpPass pass = rt.shell.takeMessage(&quitCode);
    if (pass == PumpPass::Quit) {
      rt.app.abortRequested = true;
      rt.app.quitPending = true;
      rt.app.quitCode = quitCode;
      return;
    }
    if (pass == PumpPass::Idle && rt.app.pipe != nullptr) rt.link.pipeIdle(rt.app.pipe);
    // Unsigned difference, so the deadline holds across the tick counter's wrap.
    if (static_cast<std::int64_t>(rt.shell.tickCount() - start) >= ms) return;
  }
}

void refreshStatus(Runtime& rt) {
  rt.shell.showStatusNow();
  pumpFor(rt, 0);
}

std::int32_t secondsNow(ShellOps& shell) { return static_cast<std::int32_t>(shell.tickCount() / 1000); }

}  // namespace skiff
