#include "dock/backup_ids.h"

#include <algorithm>

#include "dock/frame.h"

namespace skiff::dock {
namespace {

constexpr std::uint16_t kEnd = 0x8000;
constexpr std::uint32_t kMaxOffset = 0x7FFF;  // the largest ID a word can carry
constexpr std::uint32_t kMaxRun = 0x7FFF;     // the longest run a word can carry (FFFF is 1, 8001 is 32767)

DecodedBackupIds failure(std::string error, bool truncated = false) {
  DecodedBackupIds result;
  result.error = std::move(error);
  result.truncated = truncated;
  return result;
}

void putWord(std::vector<std::uint8_t>& out, std::uint16_t word) {
  out.push_back(static_cast<std::uint8_t>(word >> 8));
  out.push_back(static_cast<std::uint8_t>(word));
}

}  // namespace

DecodedBackupIds decodeBackupIds(std::span<const std::uint8_t> bytes, std::uint32_t base) {
  DecodedBackupIds result;
  Cursor cursor(bytes);
  for (std::size_t word = 0;; ++word) {
    const std::uint16_t value = cursor.u16();
    if (!cursor.ok()) return failure("no terminator 8000 after " + std::to_string(word) + " words", true);
    const std::string where = " at word " + std::to_string(word);
    if (value == kEnd) {
      if (word % 2 == 0) cursor.skip(2);  // the terminator is an odd word: two pad bytes follow
      if (!cursor.ok()) return failure("the pad after the terminator is missing", true);
      result.size = cursor.position();
      return result;
    }
    if (value < 0x8000) {
      const std::uint64_t id = std::uint64_t{base} + value;
      if (id > UINT32_MAX) return failure("ID beyond 32 bits" + where);
      if (!result.ids.empty() && id <= result.ids.back())
        return failure("ID " + std::to_string(id) + where + " is not above the one before");
      result.ids.push_back(static_cast<std::uint32_t>(id));
    } else {
      const std::uint32_t run = 0x10000u - value;
      if (result.ids.empty()) return failure("a run of " + std::to_string(run) + where + " follows no ID");
      if (std::uint64_t{result.ids.back()} + run > UINT32_MAX) return failure("run beyond 32 bits" + where);
      if (result.ids.size() + run > kMaxBackupIdsPerMessage) return failure("more IDs than a store holds" + where);
      for (std::uint32_t k = 0; k < run; ++k) result.ids.push_back(result.ids.back() + 1);
    }
  }
}

std::vector<BackupIdMessage> encodeBackupIds(std::span<const std::uint32_t> ids, std::uint32_t base) {
  std::vector<std::uint32_t> sorted(ids.begin(), ids.end());
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());

  std::vector<BackupIdMessage> messages;
  bool inBids = false;  // the last message is a "bids" still being written
  const auto finishBids = [&] {
    if (!inBids) return;
    auto& words = messages.back().data;
    putWord(words, kEnd);
    words.resize(words.size() + padFor(words.size()), 0);
    inBids = false;
  };
  std::size_t i = 0;
  while (i < sorted.size()) {
    const std::uint32_t id = sorted[i];
    if (id < base || id - base > kMaxOffset) {
      finishBids();
      base = id;
      const auto value = be32(base);
      messages.push_back({"base", {value.begin(), value.end()}});
    }
    if (!inBids) {
      messages.push_back({"bids", {}});
      inBids = true;
    }
    auto& words = messages.back().data;
    putWord(words, static_cast<std::uint16_t>(id - base));
    // The IDs that follow without a gap go in one run word, kept within the base's 15 bits so that a desktop
    // that adds a run to the word before it stays within them too.
    std::uint32_t run = 0;
    while (i + 1 + run < sorted.size() && sorted[i + 1 + run] == id + run + 1 && run < kMaxRun &&
           id + run + 1 - base <= kMaxOffset)
      ++run;
    if (run > 0) putWord(words, static_cast<std::uint16_t>(0x10000u - run));
    i += 1 + run;
  }
  finishBids();
  return messages;
}

std::vector<std::uint8_t> backupIdFrame(const BackupIdMessage& message) {
  if (message.command != "bids") return encodeFrame(message.command, message.data);
  std::vector<std::uint8_t> frame;
  const auto header = frameHeader(message.command);
  const auto length = be32(kIndeterminateLength);
  frame.insert(frame.end(), header.begin(), header.end());
  frame.insert(frame.end(), length.begin(), length.end());
  frame.insert(frame.end(), message.data.begin(), message.data.end());
  return frame;
}

}  // namespace skiff::dock
