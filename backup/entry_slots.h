// The slots of a soup entry the archive keys it by: its _uniqueID within the soup and its _modTime (minutes
// since 1904). The entry's bytes are kept exactly as the Newton sent them; this only reads them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace skiff::backup {

struct EntrySlots {
  std::optional<std::uint32_t> uniqueId;
  std::optional<std::uint32_t> modTime;
};

// Empty slots when the bytes are not an NSOF frame or lack them.
EntrySlots entrySlots(std::span<const std::uint8_t> nsof);

// An entry without a _uniqueID (a damaged one) is still kept, under an ID above any a Newton gives (its IDs are
// NewtonScript integers, below 2^29).
inline constexpr std::uint32_t kStrayIdBase = 0x40000000;

}  // namespace skiff::backup
