#include "core/wait.h"

#include "core/pump.h"

namespace skiff {

std::int32_t waitUntil(Runtime& rt, const WaitBounds& bounds, const std::function<WaitStep()>& step) {
  const std::uint32_t start = rt.shell.tickCount();
  std::uint32_t lastNews = start;
  for (;;) {
    const WaitStep found = step();
    if (found.done) return found.result;
    const std::uint32_t now = rt.shell.tickCount();
    if (found.heard) lastNews = now;
    // Unsigned differences, so the bounds hold across the tick counter's wrap.
    if (static_cast<std::int64_t>(now - start) >= bounds.overallMs) return code::kTimeout;
    if (bounds.silenceMs > 0 && static_cast<std::int64_t>(now - lastNews) >= bounds.silenceMs) return code::kTimeout;
    if (bounds.pumping) {
      pumpFor(rt, bounds.passMs);
    } else {
      rt.link.pipeIdle(rt.app.pipe);
      if (rt.shell.tickCount() == now) rt.shell.sleepMs(1);  // a link that returns at once must not spin
    }
  }
}

}  // namespace skiff
