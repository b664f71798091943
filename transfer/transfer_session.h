// The Skiff transfer session: hands one file to the companion application on the Newton over a connected pipe,
// with Skiff's token protocol (parameter block, type token, length word, acknowledged chunks, "NEXT", "DONE").
#pragma once

#include <cstdint>

#include "core/shell_ops.h"

namespace skiff {

// Reads fileKind, openFile, fileOpened, lastFileOfBatch, fileName, fileTypeValue, fileCreatorValue and
// textHeader from the state. Returns 0 (the file was handled, or a failure was already reported in a message
// box), SESSION_RECONNECT (the link failed before any data went out; the file is still open), or the link
// status code of a failure the caller reports.
std::int32_t runTransferSession(Runtime& rt);

// Sizes and time-outs of the exchange.
inline constexpr std::int32_t kWriteTimeoutMs = 15000;
inline constexpr std::int32_t kReplyTimeoutMs = 30000;
inline constexpr std::int32_t kShortReplyTimeoutMs = 15000;  // the text header's reply and the drains
inline constexpr std::size_t kChunkDataMax = 500;
inline constexpr std::int32_t kPictureSkip = 512;             // a .PIC file's first 512 bytes are never sent
// The waits on the outgoing queue and the drains end after this long even if the link keeps answering "more".
inline constexpr std::uint32_t kQueueWaitLimitMs = 30000;

}  // namespace skiff
