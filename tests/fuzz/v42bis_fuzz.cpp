// V.42bis on arbitrary bytes. As wire bytes: the decoder never crashes or hangs, never gives more characters
// than its bound, and gives the same however the bytes are split. As data: encoded with a flush after every
// line end, it decodes to itself. The first byte picks the dictionary size and the string limit.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "dil/v42bis.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skiff::v42bis;
  if (size == 0) return 0;
  const Params params{static_cast<std::uint16_t>(kMinCodewords + data[0] * 16),
                      static_cast<std::uint8_t>(kMinString + data[0] % (kMaxString - kMinString + 1))};
  std::span<const std::uint8_t> bytes(data + 1, size - 1);

  Decoder whole(params), pieces(params);
  Bytes a, b;
  const auto status = whole.decode(bytes, a);
  for (std::size_t at = 0; at < bytes.size(); at += 7) pieces.decode(bytes.subspan(at, std::min<std::size_t>(7, bytes.size() - at)), b);
  if (a != b || status != (pieces.failed() ? Decoder::Status::Failed : Decoder::Status::Ok)) std::abort();
  if (a.size() > whole.outputBound(bytes.size())) std::abort();

  Encoder encoder(params);
  Bytes wire;
  for (std::uint8_t c : bytes) {
    encoder.put(c, wire);
    if (c == '\n') encoder.flush(wire);
  }
  encoder.flush(wire);
  Decoder decoder(params);
  Bytes back;
  if (decoder.decode(wire, back) != Decoder::Status::Ok || !std::equal(back.begin(), back.end(), bytes.begin(), bytes.end()))
    std::abort();
  return 0;
}
