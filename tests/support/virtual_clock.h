// Milliseconds that pass only when a test's fakes say so, so pauses of seconds cost no wall time.
#pragma once

#include <cstdint>

namespace skiff::test {

struct VirtualClock {
  std::uint32_t now = 0;
  void advance(std::uint32_t ms) { now += ms; }
};

}  // namespace skiff::test
