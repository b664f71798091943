// The entry IDs an incremental backup lists ("bids") and the offset they count from ("base"), as the Dante
// Connection Protocol ERS describes them: 16-bit big-endian words, each an ID 0..7FFF relative to the last
// "base", or -n for "the n IDs after the previous one are present too", ending with 8000 and padded to four
// bytes. A "bids" frame announces its length as FFFFFFFF; the terminator ends it. Pure; no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace skiff::dock {

inline constexpr std::uint32_t kIndeterminateLength = 0xFFFFFFFF;  // the length field of a "bids" frame
// More IDs than any store holds; a run word can claim 32767 IDs in two bytes, so the decoder stops here.
inline constexpr std::size_t kMaxBackupIdsPerMessage = std::size_t{1} << 20;

struct DecodedBackupIds {
  std::vector<std::uint32_t> ids;  // ascending, the base added
  std::size_t size = 0;            // bytes taken: the words, the terminator and the pad
  std::string error;               // empty when the words are good
  bool truncated = false;          // the bytes ended before the terminator or its pad: more may complete them
  bool ok() const { return error.empty(); }
};

// The IDs of a "bids" payload whose IDs count from `base`. Trailing bytes after the pad are left alone.
DecodedBackupIds decodeBackupIds(std::span<const std::uint8_t> bytes, std::uint32_t base);

// One message of the run a Newton sends for a list of IDs: a "base" (a big-endian long) or a "bids" (the
// words, 8000 and the pad).
struct BackupIdMessage {
  std::string command;  // "base" or "bids"
  std::vector<std::uint8_t> data;
};

// The "base" and "bids" messages that list `ids` (any order; duplicates count once) to a desktop whose base is
// `base`: a new "base" wherever the next ID lies outside the 15 bits above the current one. No IDs, no messages.
std::vector<BackupIdMessage> encodeBackupIds(std::span<const std::uint32_t> ids, std::uint32_t base = 0);

// The whole dock frame of a message: "base" with its length, "bids" with length FFFFFFFF.
std::vector<std::uint8_t> backupIdFrame(const BackupIdMessage& message);

}  // namespace skiff::dock
