// Bytes over a stream connection as they are, with no framing: dock frames from a Newton on the network. A
// write counts as acknowledged once the connection took it; received bytes are kept up to a bound, beyond which
// the connection is not read (its own flow control then holds the peer).
#pragma once

#include <array>
#include <deque>

#include "dil/byte_line.h"
#include "dil/transport.h"

namespace skiff::dil {

class RawTransport final : public Transport {
 public:
  // `stallLimitMs`: output the connection takes nothing of for this long is a lost link, as a Newton that stays
  // busy is on MNP.
  explicit RawTransport(mnp::ByteLine& line, std::size_t inputLimit = 1 << 20, int stallLimitMs = 60000);

  void service(int maxWaitMs) override;
  bool progressed() const override { return progressed_; }
  bool lost() const override { return lost_; }
  bool awaitingAck() const override { return !out_.empty(); }
  std::size_t available() const override { return in_.size(); }
  std::size_t take(std::span<std::uint8_t> out, bool* endOfMessage) override;
  void discardInput() override { in_.clear(); }
  void queue(std::span<const std::uint8_t> bytes, bool endOfMessage) override;
  void pushOut() override { writeOut(); }
  bool partialPending() const override { return false; }
  std::uint64_t queuedTotal() const override { return queued_; }
  std::uint64_t ackedTotal() const override { return queued_ - out_.size(); }
  std::size_t unsent() const override { return out_.size(); }

 private:
  void writeOut();
  void readIn();

  mnp::ByteLine& line_;
  std::size_t inputLimit_;
  std::int64_t stallLimitUs_;
  std::deque<std::uint8_t> in_, out_;
  std::uint64_t queued_ = 0;
  std::int64_t lastOutputUs_ = 0;  // when the connection last took output, or output began to wait
  bool progressed_ = false;
  bool lost_ = false;
  std::array<std::uint8_t, 4096> piece_{};
};

}  // namespace skiff::dil
