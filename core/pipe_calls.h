// The pipe calls as the engines make them, and the endings and the start they share.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "core/shell_ops.h"
#include "core/text_ids.h"

namespace skiff {

// Whole reads and writes with a time-out and no offsets: the link's own calls, said once for both engines.
struct PipeCalls {
  LinkOps& link;
  PipeHandle pipe;

  // `wanted` bytes into `buffer`; *delivered is how many arrived (all of them, or none on a time-out).
  std::int16_t read(void* buffer, std::int32_t wanted, std::int32_t timeoutMs, std::int32_t* delivered) const;
  // Synchronous without a completion routine; queued with one, which gets `refCon`.
  std::int16_t write(const void* bytes, std::int32_t count, std::uint8_t endOfMessage, std::int32_t timeoutMs,
                     PipeCompletion completion = nullptr, std::intptr_t refCon = 0) const;
  // Reads `count` bytes in pieces no larger than `scratch`, handing each piece to `take` when there is one; the
  // first failure's status.
  std::int16_t readInPieces(std::uint32_t count, std::span<std::uint8_t> scratch, std::int32_t timeoutMs,
                            const std::function<void(std::span<const std::uint8_t>)>& take = {}) const;
};

// A transfer's status display opens, showing string `first`.
void openTransferStatus(Runtime& rt, TextId first);

// The peer did not answer as a new session must: the status display closes, the pipe is disconnected, and the
// caller is to listen again (SESSION_RECONNECT).
std::int32_t reconnectEnding(Runtime& rt);

}  // namespace skiff
