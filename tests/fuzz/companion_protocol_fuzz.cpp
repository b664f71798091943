// The companion's parser on any bytes, fed whole and in pieces: it answers, finishes files or stops with a
// protocol error, never anything else, and the pieces never change the outcome.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "newton/companion_protocol.h"

namespace {

struct Tally {
  std::size_t replies = 0;
  std::size_t files = 0;
  std::size_t bytes = 0;
  bool failed = false;
};

Tally feed(const std::uint8_t* data, std::size_t size, std::size_t piece) {
  skiff::newton::CompanionFaults faults;
  faults.refuseChunk = 2;
  skiff::newton::CompanionProtocol protocol(faults);
  Tally tally;
  for (std::size_t at = 0; at < size; at += piece) {
    const std::size_t n = size - at < piece ? size - at : piece;
    for (const auto& action : protocol.feed({data + at, n})) {
      if (action.kind == skiff::newton::CompanionAction::Reply) {
        if (action.reply.size() != 2) std::abort();
        ++tally.replies;
      }
      if (action.kind == skiff::newton::CompanionAction::FileDone) {
        ++tally.files;
        tally.bytes += action.file->bytes.size();
        (void)skiff::newton::companionLogLine(*action.file);
      }
    }
  }
  tally.failed = protocol.failed();
  return tally;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Tally whole = feed(data, size, size == 0 ? 1 : size);
  const Tally bytewise = feed(data, size, 1);
  if (whole.replies != bytewise.replies || whole.files != bytewise.files || whole.bytes != bytewise.bytes ||
      whole.failed != bytewise.failed)
    std::abort();
  return 0;
}
