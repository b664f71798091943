// The Skiff transfer session: hands one file to the companion application on the Newton over a connected pipe,
// with Skiff's token protocol (parameter block, type token, length word, acknowledged chunks, "NEXT", "DONE").
#pragma once

#include <cstdint>
#include <string>

#include "core/shell_ops.h"

namespace skiff {

// The file a session sends and how the Newton is told of it. Its bytes come from AppState.openFile, which stays
// open between the sessions of a batch.
struct FileToSend {
  std::int32_t fileKind = kText;
  std::string fileName;          // name part as the user chose it
  std::string announcedName;     // the name the Newton is told when it differs (the command line's, in the
                                 // Windows character set); empty: fileName
  std::string fileTypeValue;     // "WINDOWS\x04"
  std::string fileCreatorValue;  // "WINDOWS\x04"
  std::string textHeader;        // "*TODO*\n" or empty; cleared once sent
  bool fileOpened = false;       // false: the session only ends the batch, when the file is the last
  bool lastFileOfBatch = false;
};

// Sends `file` (its bytes read from openFile). Returns 0 (the file was handled, or a failure was already reported in a message
// box), SESSION_RECONNECT (the link failed before any data went out; the file is still open), or the link
// status code of a failure the caller reports.
std::int32_t runTransferSession(Runtime& rt, FileToSend& file);

// Sizes and time-outs of the exchange.
inline constexpr std::int32_t kWriteTimeoutMs = 15000;
inline constexpr std::int32_t kReplyTimeoutMs = 30000;
inline constexpr std::int32_t kShortReplyTimeoutMs = 15000;  // the text header's reply and the drains
inline constexpr std::size_t kChunkDataMax = 500;
inline constexpr std::int32_t kPictureSkip = 512;             // a .PIC file's first 512 bytes are never sent
// The waits on the outgoing queue and the drains end after this long even if the link keeps answering "more".
inline constexpr std::uint32_t kQueueWaitLimitMs = 30000;

}  // namespace skiff
