// Dock frames on arbitrary bytes from the peer: the frame reader gives the same frames however the bytes are
// split, never keeps more data than its limit, and hands the sink every byte of a frame too large to keep; the
// simulated dock and the package check never crash.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "newton/dock_protocol.h"
#include "newton/package_check.h"
#include "dock/frame.h"

namespace {
// Counts what a frame sent to the sink held; each frame's count goes in `totals` at its end.
struct CountingSink : skiff::dock::FrameSink {
  std::uint64_t bytes = 0;
  bool open = false;
  std::vector<std::uint64_t> totals;
  void begin(const std::string&, std::uint32_t) override {
    if (open) std::abort();
    open = true;
    bytes = 0;
  }
  void piece(std::span<const std::uint8_t> p) override { bytes += p.size(); }
  void end() override {
    if (!open) std::abort();
    open = false;
    totals.push_back(bytes);
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skiff;
  std::span<const std::uint8_t> bytes(data, size);
  constexpr std::size_t kKeep = 64;
  dock::FrameReader whole(kKeep), pieces(kKeep);
  CountingSink sink;
  pieces.setSink(&sink);
  whole.feed(bytes);
  for (std::size_t at = 0; at < size; at += 5) pieces.feed(bytes.subspan(at, std::min<std::size_t>(5, size - at)));
  std::vector<dock::Frame> a, b;
  while (whole.hasFrame()) a.push_back(whole.next());
  while (pieces.hasFrame()) b.push_back(pieces.next());
  if (a.size() != b.size()) std::abort();
  std::size_t sunk = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].command != b[i].command || a[i].data != b[i].data || a[i].length != b[i].length) std::abort();
    if (a[i].data.size() > kKeep) std::abort();
    if (a[i].length == dock::kUnknownLength) {
      sunk += a[i].cut ? 1 : 0;  // one that outgrew the keep limit went to the sink from then on
      continue;
    }
    if (a[i].data.size() > a[i].length || a[i].padding != dock::padFor(a[i].length)) std::abort();
    if (a[i].length > kKeep && (sunk >= sink.totals.size() || sink.totals[sunk++] != a[i].length)) std::abort();
  }
  newton::DockProtocol dockSide({}, "Fuzz");
  (void)dockSide.feed(bytes);
  (void)newton::checkPackage(bytes, size);
  return 0;
}
