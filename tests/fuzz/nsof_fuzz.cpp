// NSOF on arbitrary bytes: decoding ends with a graph or an error, never a crash or a hang. A graph that decodes
// encodes, decodes again to the same graph, and encodes again to the same bytes; its dump ends. The same bytes
// read as streams back to back must agree with the single-stream reading on the first stream.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "dock/nsof.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skiff;
  const std::span<const std::uint8_t> bytes(data, size);
  const auto all = nsof::decodeAll(bytes);
  const auto decoded = nsof::decode(bytes);
  if (decoded.ok() != (all.ok() && all.streams.size() == 1)) std::abort();
  if (!decoded.ok()) return 0;
  if (decoded.size != size) std::abort();
  (void)nsof::dump(decoded.graph, decoded.root);

  const auto encoded = nsof::encode(decoded.graph, decoded.root);
  if (!encoded.ok()) std::abort();
  const auto again = nsof::decode(encoded.bytes);
  if (!again.ok() || !nsof::sameGraph(decoded.graph, decoded.root, again.graph, again.root)) std::abort();
  if (nsof::encode(again.graph, again.root).bytes != encoded.bytes) std::abort();
  return 0;
}
