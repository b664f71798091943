// The MNP decoder on arbitrary line bytes: it must never crash, and every frame it returns must have been on
// the line exactly as its re-encoding (so its FCS was right); every body must parse or be refused cleanly.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "dil/mnp_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skiff::mnp;
  std::span<const std::uint8_t> line(data, size);
  Decoder whole, pieces;
  auto events = whole.feed(line);
  std::vector<DecodeEvent> split;
  for (std::size_t at = 0; at < size; at += 3) pieces.feed(line.subspan(at, std::min<std::size_t>(3, size - at)), split);
  if (split.size() != events.size()) std::abort();
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].kind != split[i].kind || events[i].body != split[i].body) std::abort();
    if (events[i].kind != DecodeEvent::Frame) continue;
    Bytes frame = encodeFrame(events[i].body);
    if (std::search(line.begin(), line.end(), frame.begin(), frame.end()) == line.end()) std::abort();
    if (events[i].body.size() > kMaxBody) std::abort();
    auto parsed = parseBody(events[i].body);
    if (parsed && parsed->info.size() > kMaxInfo) std::abort();
    (void)parseLinkRequest(events[i].body);
  }
  return 0;
}
