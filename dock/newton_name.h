// What a Newton says of itself in its "name" frame: a length, that many bytes of version information (longs),
// then the owner's name in UTF-16BE with a 0000 terminator. Newer ROMs send more longs than older ones, so the
// information is always skipped by its length (the Dante Connection Protocol ERS lists the longs).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace skiff::dock {

struct NewtonName {
  std::vector<std::uint32_t> versionInfo;  // unique ID, manufacturer, machine type, ROM version, ...
  std::string owner;                       // UTF-8
  std::vector<std::uint8_t> data;          // the frame's data as the Newton sent it

  std::uint32_t uniqueId() const { return at(0); }
  std::uint32_t machineType() const { return at(2); }
  std::uint32_t romVersion() const { return at(3); }
  std::uint32_t screenWidth() const { return at(7); }  // pixels, as the Newton is held (a MessagePad: 320)
  // Newton OS 2.x reports ROM version 2.0 and later; an older Newton knows only the package loader's session.
  bool runsNewtonOs2() const { return romVersion() >= 0x00020000; }

 private:
  std::uint32_t at(std::size_t i) const { return i < versionInfo.size() ? versionInfo[i] : 0; }
};

// Empty when the data is too short for the length it gives. The name ends at its terminator or at the data's
// end; characters are turned into UTF-8 (a lone surrogate becomes U+FFFD).
std::optional<NewtonName> parseNewtonName(std::span<const std::uint8_t> data);

}  // namespace skiff::dock
