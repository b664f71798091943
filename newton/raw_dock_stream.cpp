#include "newton/raw_dock_stream.h"

#include <algorithm>

namespace skiff::newton {

namespace {
constexpr int kWriteWaitMs = 60000;  // as a Newton application waits for the desktop to take a message
constexpr std::size_t kInputLimit = 4 << 20;
}  // namespace

RawDockStream::RawDockStream(mnp::ByteLine& line, std::FILE* log)
    : line_(line), stream_(line, kInputLimit), log_(log), startUs_(line.nowUs()) {}

template <class Done>
bool RawDockStream::serviceUntil(Done done, int timeoutMs) {
  const std::int64_t deadline = line_.nowUs() + static_cast<std::int64_t>(timeoutMs) * 1000;
  while (!done()) {
    if (!connected()) return false;
    const std::int64_t left = (deadline - line_.nowUs()) / 1000;
    if (left <= 0) return false;
    stream_.service(static_cast<int>(std::min<std::int64_t>(left, 20)));
  }
  return true;
}

bool RawDockStream::read(std::span<std::uint8_t> out, int timeoutMs) {
  if (!serviceUntil([&] { return stream_.available() >= out.size(); }, timeoutMs)) return false;
  stream_.take(out, nullptr);
  return true;
}

long RawDockStream::readSome(std::span<std::uint8_t> out, int timeoutMs) {
  const bool any = serviceUntil([&] { return stream_.available() > 0; }, timeoutMs);
  if (stream_.available() > 0) return static_cast<long>(stream_.take(out, nullptr));
  return any || connected() ? 0 : -1;
}

bool RawDockStream::write(std::span<const std::uint8_t> message) {
  if (!connected()) return false;
  stream_.queue(message, true);
  return serviceUntil([&] { return stream_.unacknowledged() == 0; }, kWriteWaitMs);
}

void RawDockStream::log(const std::string& line) {
  if (log_ == nullptr) return;
  std::fprintf(log_, "t=%.3f %s\n", static_cast<double>(line_.nowUs() - startUs_) / 1000.0, line.c_str());
  std::fflush(log_);
}

}  // namespace skiff::newton
