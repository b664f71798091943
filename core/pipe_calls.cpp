#include "core/pipe_calls.h"

#include <algorithm>

#include "core/pump.h"
#include "core/texts.h"

namespace skiff {

std::int16_t PipeCalls::read(void* buffer, std::int32_t wanted, std::int32_t timeoutMs,
                             std::int32_t* delivered) const {
  *delivered = wanted;
  std::uint8_t endOfMessage = 0;  // neither engine looks at it
  return link.pipeRead(pipe, buffer, delivered, &endOfMessage, 0, 0, timeoutMs, nullptr, 0);
}

std::int16_t PipeCalls::write(const void* bytes, std::int32_t count, std::uint8_t endOfMessage,
                              std::int32_t timeoutMs, PipeCompletion completion, std::intptr_t refCon) const {
  std::int32_t length = count;
  return link.pipeWrite(pipe, bytes, &length, endOfMessage, 0, 0, timeoutMs, completion, refCon);
}

std::int16_t PipeCalls::readInPieces(std::uint32_t count, std::span<std::uint8_t> scratch, std::int32_t timeoutMs,
                                     const std::function<void(std::span<const std::uint8_t>)>& take) const {
  while (count > 0) {
    const auto piece = static_cast<std::int32_t>(std::min<std::size_t>(count, scratch.size()));
    std::int32_t got = 0;
    const std::int16_t status = read(scratch.data(), piece, timeoutMs, &got);
    if (status != 0) return status;
    if (take) take(scratch.first(static_cast<std::size_t>(got)));
    count -= static_cast<std::uint32_t>(piece);
  }
  return 0;
}

void openTransferStatus(Runtime& rt, TextId first) {
  setStatusText(rt.app, first);
  rt.shell.openStatus();
  refreshStatus(rt);
}

std::int32_t reconnectEnding(Runtime& rt) {
  rt.shell.closeStatusNow();
  rt.link.pipeDisconnect(rt.app.pipe);
  pumpFor(rt, 200);
  return SESSION_RECONNECT;
}

}  // namespace skiff
