// What a TCP caller's first bytes say it is. The Newton emulator's serial driver carries the serial line's raw
// bytes, so its first frame is an MNP link request (16 10 02 ...); a Newton docking over the network sends dock
// frames without MNP, which start with "newtdock". Nothing else calls on this port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace skiff::dil {

enum class Opening {
  NeedMore,  // nothing yet, or a beginning of one of the two that is still too short to tell
  Mnp,       // 16 10 02: an MNP frame, the serial line as it is
  Dock,      // "newtdock": raw dock frames
  Garbage,   // neither
};

// Bytes the decision needs at most: the eight of "newtdock".
inline constexpr std::size_t kOpeningBytes = 8;

Opening classifyOpening(std::span<const std::uint8_t> firstBytes);

}  // namespace skiff::dil
