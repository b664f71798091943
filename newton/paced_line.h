// The simulated Newton's end of the serial line: a pseudo-terminal master (or a serial device) paced at a baud
// rate in both directions, 10 bits a byte, as a real line would be. Baud 0: as fast as the descriptor goes.
#pragma once

#include <deque>
#include <string>

#include "dil/byte_line.h"

namespace skiff::newton {

class PacedLine final : public mnp::ByteLine {
 public:
  PacedLine(int fd, int baud);
  ~PacedLine() override;
  long readSome(std::span<std::uint8_t> out) override;
  bool writeAll(std::span<const std::uint8_t> bytes) override;
  void waitReadable(std::int64_t us) override;
  std::size_t outputQueued() override { return tx_.size(); }
  // A USB-serial adapter on the desktop's side: what crossed the line reaches the desktop only when the
  // adapter's latency timer runs out (every ms milliseconds) or a USB packet is full (mnp-facts.md 3a).
  void setAdapterLatency(int ms) { latencyUs_ = static_cast<std::int64_t>(ms) * 1000; }

 private:
  std::size_t allowance(std::int64_t& clockUs);  // bytes whose line time has come
  void pushOut();
  // Writes up to `count` bytes from the front of `bytes` to the descriptor, as many as it takes; returns them.
  std::size_t deliver(std::deque<std::uint8_t>& bytes, std::size_t count);
  std::int64_t byteUs() const { return baud_ > 0 ? 10'000'000 / baud_ : 0; }

  int fd_;
  int baud_;
  std::deque<std::uint8_t> tx_;
  std::deque<std::uint8_t> held_;  // in the adapter, waiting for its timer
  std::int64_t latencyUs_ = 0;
  std::int64_t burstAtUs_ = 0;     // when the held bytes go
  std::int64_t rxClockUs_ = 0, txClockUs_ = 0;
  bool failed_ = false;
};

// A new pseudo-terminal in raw mode: the master descriptor and the slave's device path; -1 on failure.
// The slave stays open inside this process too, so the line survives the desktop closing and reopening it.
int openPseudoTerminal(std::string* slavePath);
// An existing serial device in raw mode at the baud; -1 on failure.
int openDevice(const std::string& path, int baud);

}  // namespace skiff::newton
