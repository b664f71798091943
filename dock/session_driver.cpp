#include "dock/session_driver.h"

#include <array>

namespace skiff::dock {

SessionDriver::SessionDriver(Runtime& rt, Session& session)
    : rt_(rt), session_(session), calls_{rt.link, rt.app.pipe} {}

std::int16_t SessionDriver::send() {
  while (session_.hasOutput()) {
    const std::vector<std::uint8_t> frame = session_.takeOutput();
    const std::int16_t status =
        calls_.write(frame.data(), static_cast<std::int32_t>(frame.size()), 1, kDockIoTimeoutMs);
    if (status != 0) return status;
  }
  return 0;
}

std::int16_t SessionDriver::take(std::int32_t* queryStatus) {
  std::int32_t waiting = 0;
  const std::int32_t query = rt_.link.pipeBytesAvailable(rt_.app.pipe, side::kInput, &waiting);
  if (queryStatus != nullptr) *queryStatus = query;
  if (waiting <= 0) return 0;
  std::array<std::uint8_t, kDockReadPiece> piece{};
  return calls_.readInPieces(static_cast<std::uint32_t>(waiting), piece, kDockIoTimeoutMs,
                             [this](std::span<const std::uint8_t> bytes) {
                               session_.receive(bytes, rt_.shell.tickCount());
                             });
}

std::int32_t SessionDriver::waitFor(const std::function<bool()>& done, WaitBounds bounds, bool framesRestart) {
  std::uint64_t heard = session_.framesHeard();
  return waitUntil(rt_, bounds, [&]() -> WaitStep {
    if (const std::int16_t status = take(); status != 0) return WaitStep::finished(status);
    session_.tick(rt_.shell.tickCount());
    if (const std::int16_t status = send(); status != 0) return WaitStep::finished(status);
    if (done()) return WaitStep::finished(0);
    // A line that is gone brings nothing more: the wait ends with it (after what had come was taken).
    const std::int32_t state = rt_.link.pipeState(rt_.app.pipe);
    if (state != state::kConnected && state != state::kOutputBusy) return WaitStep::finished(code::kDisconnected);
    if (framesRestart && session_.framesHeard() != heard) {
      heard = session_.framesHeard();
      return WaitStep::news();
    }
    return WaitStep::waiting();
  });
}

}  // namespace skiff::dock
