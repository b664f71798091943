#include "cli/call_watch.h"

namespace skiff::cli {

namespace {

constexpr int kNewtonSpeed = 38400;

std::string speedAdvice() {
  return "a speed above 38400 needs the Newton's speed extension (\"Serial 57600\" and up among its connection "
         "choices)";
}

}  // namespace

std::string CallWatch::check(std::uint32_t waitedMs, std::uint64_t bytes, std::uint64_t frames) {
  if (frames > 0) return {};
  const std::string speed = std::to_string(baud_) + " bit/s";
  if (!noiseSaid_ && bytes >= kNoiseHintBytes) {
    noiseSaid_ = true;
    return "Bytes arrive that make no MNP frame: the Newton is probably set to another speed than " + speed +
           " (" + speedAdvice() + ").";
  }
  if (!silenceSaid_ && speedChosen_ && baud_ != kNewtonSpeed && waitedMs >= kNoCallHintMs && bytes == 0) {
    silenceSaid_ = true;
    return "No call from the Newton yet at " + speed + ". If Connect was tapped, the Newton's connection speed "
           "differs: " + speedAdvice() + ".";
  }
  return {};
}

}  // namespace skiff::cli
