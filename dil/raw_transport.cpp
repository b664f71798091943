#include "dil/raw_transport.h"

#include <algorithm>

namespace skiff::dil {

RawTransport::RawTransport(mnp::ByteLine& line, std::size_t inputLimit, int stallLimitMs)
    : line_(line), inputLimit_(std::max<std::size_t>(inputLimit, 1)),
      stallLimitUs_(static_cast<std::int64_t>(stallLimitMs) * 1000) {}

void RawTransport::service(int maxWaitMs) {
  progressed_ = false;
  const std::int64_t waitUs = static_cast<std::int64_t>(std::max(maxWaitMs, 0)) * 1000;
  if (lost_) {
    line_.waitFor(waitUs, false, false);  // nothing more will come: never spin on a dead connection
    return;
  }
  writeOut();
  readIn();
  if (!progressed_ && !lost_ && waitUs > 0) {
    // Input only while there is room for it: a full queue must not wake the wait over and over.
    line_.waitFor(waitUs, in_.size() < inputLimit_, !out_.empty());
    writeOut();
    readIn();
  }
  if (!lost_ && !out_.empty() && line_.nowUs() - lastOutputUs_ >= stallLimitUs_) lost_ = true;
}

std::size_t RawTransport::take(std::span<std::uint8_t> out, bool* endOfMessage) {
  const std::size_t n = std::min(out.size(), in_.size());
  std::copy_n(in_.begin(), n, out.begin());
  in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(n));
  if (endOfMessage != nullptr) *endOfMessage = false;  // a stream has no message ends
  return n;
}

void RawTransport::queue(std::span<const std::uint8_t> bytes, bool) {
  if (out_.empty()) lastOutputUs_ = line_.nowUs();
  out_.insert(out_.end(), bytes.begin(), bytes.end());
  queued_ += bytes.size();
}

void RawTransport::writeOut() {
  while (!out_.empty() && !lost_) {
    const std::size_t n = std::min(out_.size(), piece_.size());
    std::copy_n(out_.begin(), n, piece_.begin());
    const long put = line_.writeSome(std::span<const std::uint8_t>(piece_.data(), n));
    if (put < 0) lost_ = true;
    if (put <= 0) return;
    out_.erase(out_.begin(), out_.begin() + put);
    lastOutputUs_ = line_.nowUs();
    progressed_ = true;
  }
}

void RawTransport::readIn() {
  while (in_.size() < inputLimit_ && !lost_) {
    const std::size_t room = std::min(piece_.size(), inputLimit_ - in_.size());
    const long got = line_.readSome(std::span<std::uint8_t>(piece_.data(), room));
    if (got < 0) lost_ = true;
    if (got <= 0) return;
    in_.insert(in_.end(), piece_.begin(), piece_.begin() + got);
    progressed_ = true;
  }
}

}  // namespace skiff::dil
