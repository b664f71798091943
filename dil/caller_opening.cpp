#include "dil/caller_opening.h"

#include <algorithm>

namespace skiff::dil {

namespace {
constexpr std::uint8_t kMnpStart[] = {0x16, 0x10, 0x02};
constexpr std::uint8_t kDockStart[] = {'n', 'e', 'w', 't', 'd', 'o', 'c', 'k'};

// Whether `bytes` and `start` agree as far as both go; *whole when all of `start` is there.
template <std::size_t N>
bool agrees(std::span<const std::uint8_t> bytes, const std::uint8_t (&start)[N], bool* whole) {
  const std::size_t n = std::min(bytes.size(), N);
  *whole = bytes.size() >= N;
  return std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), start);
}
}  // namespace

Opening classifyOpening(std::span<const std::uint8_t> firstBytes) {
  bool whole = false;
  if (agrees(firstBytes, kMnpStart, &whole) && !firstBytes.empty()) return whole ? Opening::Mnp : Opening::NeedMore;
  if (agrees(firstBytes, kDockStart, &whole)) return whole ? Opening::Dock : Opening::NeedMore;
  return Opening::Garbage;
}

}  // namespace skiff::dil
