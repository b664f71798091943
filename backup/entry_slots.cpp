#include "backup/entry_slots.h"

#include "dock/nsof.h"

namespace skiff::backup {

EntrySlots entrySlots(std::span<const std::uint8_t> bytes) {
  EntrySlots slots;
  const nsof::Decoded decoded = nsof::decode(bytes);
  if (!decoded.ok()) return slots;
  const nsof::Node entry = decoded.node();
  if (const auto id = entry.slot("_uniqueID").asInt(); id && *id >= 0) slots.uniqueId = static_cast<std::uint32_t>(*id);
  if (const auto time = entry.slot("_modTime").asInt(); time && *time >= 0) slots.modTime = static_cast<std::uint32_t>(*time);
  return slots;
}

}  // namespace skiff::backup
