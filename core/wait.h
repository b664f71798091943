// The one bounded wait the engines make: until a condition holds, a time runs out, or nothing has been heard
// for too long. Every wait ends: a Newton that keeps saying "helo" for ever, or a write that never completes,
// runs into the overall bound.
#pragma once

#include <cstdint>
#include <functional>

#include "core/shell_ops.h"

namespace skiff {

struct WaitBounds {
  std::int32_t overallMs = 0;  // the wait ends this long after it began
  std::int32_t silenceMs = 0;  // ... or this long after the condition last said it heard something; 0: no such bound
  bool pumping = true;         // window messages are taken meanwhile; else the link is only idled (the window
                               // does not respond, as in the transfer session's closing waits)
  std::int32_t passMs = 0;     // how long each pumping pass lasts
};

// What a look at the condition found.
struct WaitStep {
  bool done = false;
  std::int32_t result = 0;  // the wait's result when done
  bool heard = false;       // news: the silence bound starts again
  static WaitStep waiting() { return {}; }
  static WaitStep news() { return {false, 0, true}; }
  static WaitStep finished(std::int32_t result = 0) { return {true, result, false}; }
};

// Looks at `step` before every pass; its result when it is done, code::kTimeout when a bound ran out first.
std::int32_t waitUntil(Runtime& rt, const WaitBounds& bounds, const std::function<WaitStep()>& step);

}  // namespace skiff
