// The "bids" words on arbitrary bytes (the first four give the base): the decoder ends with IDs or an error, never
// takes more bytes than it was given, and good IDs encode to messages that decode to the same IDs.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "dock/backup_ids.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skiff;
  if (size < 4) return 0;
  const std::uint32_t base = static_cast<std::uint32_t>(data[0] << 24 | data[1] << 16 | data[2] << 8 | data[3]);
  const std::span<const std::uint8_t> words(data + 4, size - 4);
  const auto decoded = dock::decodeBackupIds(words, base);
  if (!decoded.ok()) return 0;
  if (decoded.size > words.size() || decoded.size % 4 != 0) std::abort();
  std::vector<std::uint32_t> again;
  std::uint32_t current = base;
  for (const auto& message : dock::encodeBackupIds(decoded.ids, base)) {
    if (message.command == "base") {
      const auto& d = message.data;
      current = static_cast<std::uint32_t>(d[0] << 24 | d[1] << 16 | d[2] << 8 | d[3]);
      continue;
    }
    const auto ids = dock::decodeBackupIds(message.data, current);
    if (!ids.ok() || ids.size != message.data.size()) std::abort();
    again.insert(again.end(), ids.ids.begin(), ids.ids.end());
  }
  if (again != decoded.ids) std::abort();
  return 0;
}
