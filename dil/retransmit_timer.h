// How long an LT waits for its LA before it goes again. Learnt from the acknowledgements that come (a smoothed
// answer time and its spread, as TCP does), doubled on each loss, never above the ceiling (2 s, what the link
// always used) and never below what the peer could answer in. The times here leave out the LTs' own time on the
// line, which grows with their size: the endpoint adds it.
#pragma once

#include <cstdint>

namespace skiff::mnp {

// The shortest time in which a peer at `baud` can answer an LT that has left the line: its LA's time on the
// line, the quiet gap on both sides of it, and a margin for a USB-serial adapter, which holds what it received
// up to its 16 ms latency timer.
std::int64_t answerFloorUs(int baud, int gapChars);

class RetransmitTimer {
 public:
  // floorUs is raised to at least 1 ms; the ceiling is never below the floor.
  RetransmitTimer(std::int64_t floorUs, std::int64_t ceilingUs);

  // The wait now (beyond the LTs' own line time). Before the first answer it is the floor.
  std::int64_t timeoutUs() const { return timeoutUs_; }
  // An LA came for an LT that went only once, answerUs after that LT left the line. (An LA for an LT sent
  // again says nothing about either copy, so it is not taken.)
  void answered(std::int64_t answerUs);
  // The timer ran out: the next wait is twice as long, up to the ceiling, until an answer is learnt.
  void expired();

  std::int64_t floorUs() const { return floorUs_; }
  std::int64_t ceilingUs() const { return ceilingUs_; }

 private:
  std::int64_t floorUs_;
  std::int64_t ceilingUs_;
  std::int64_t smoothedUs_ = -1;  // none learnt yet
  std::int64_t spreadUs_ = 0;
  std::int64_t timeoutUs_;
};

}  // namespace skiff::mnp
