#include "dil/retransmit_timer.h"

#include <algorithm>
#include <cstdlib>

namespace skiff::mnp {

namespace {
constexpr std::int64_t kLaFrameBytes = 11;     // SYN DLE STX, 03 05 N(R) N(k), DLE ETX, FCS (a DLE in N(R) doubles)
constexpr std::int64_t kAdapterMarginUs = 25'000;  // a 16 ms latency timer, and the peer's own turn-around
}  // namespace

std::int64_t answerFloorUs(int baud, int gapChars) {
  const std::int64_t chars = kLaFrameBytes + 2 * std::max(gapChars, 0);
  const std::int64_t lineUs = baud > 0 ? chars * 10'000'000 / baud : 0;
  return lineUs + kAdapterMarginUs;
}

RetransmitTimer::RetransmitTimer(std::int64_t floorUs, std::int64_t ceilingUs)
    : floorUs_(std::max<std::int64_t>(floorUs, 1000)),
      ceilingUs_(std::max(ceilingUs, floorUs_)),
      timeoutUs_(floorUs_) {}

void RetransmitTimer::answered(std::int64_t answerUs) {
  answerUs = std::max<std::int64_t>(answerUs, 0);
  if (smoothedUs_ < 0) {
    smoothedUs_ = answerUs;
    spreadUs_ = answerUs / 2;
  } else {
    spreadUs_ += (std::llabs(smoothedUs_ - answerUs) - spreadUs_) / 4;
    smoothedUs_ += (answerUs - smoothedUs_) / 8;
  }
  timeoutUs_ = std::clamp(smoothedUs_ + 4 * spreadUs_, floorUs_, ceilingUs_);
}

void RetransmitTimer::expired() { timeoutUs_ = std::min(timeoutUs_ * 2, ceilingUs_); }

}  // namespace skiff::mnp
