// What the wait for the Newton's call says when the call does not come as it should: bytes that make no frame,
// or no call at all at a speed the user chose above or below the Newton's built-in 38400. Each hint once.
#pragma once

#include <cstdint>
#include <string>

namespace skiff::cli {

inline constexpr std::uint32_t kNoCallHintMs = 20000;  // a Newton calls within seconds of Connect
inline constexpr std::uint64_t kNoiseHintBytes = 32;   // more than line noise when a cable is plugged in

class CallWatch {
 public:
  // `baud`: the line's speed; `speedChosen`: the user asked for it (a command's own speed raises no doubt).
  CallWatch(int baud, bool speedChosen) : baud_(baud), speedChosen_(speedChosen) {}
  // The hint to show after `waitedMs` of waiting, with the line's bytes and good frames so far; empty when there
  // is nothing (more) to say.
  std::string check(std::uint32_t waitedMs, std::uint64_t bytes, std::uint64_t frames);

 private:
  int baud_;
  bool speedChosen_;
  bool noiseSaid_ = false;
  bool silenceSaid_ = false;
};

}  // namespace skiff::cli
