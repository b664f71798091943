// The recorded session of a real Newton with a desktop that accepted its V.42bis offer (1,024 codewords, strings
// up to 250): every frame as it was on the line, in wire order, with the side that sent it.
#pragma once

#include <cstdint>
#include <vector>

namespace skiff::test {

struct RecordedFrame {
  bool fromNewton;
  std::vector<std::uint8_t> bytes;  // 16 10 02 ... 10 03 FCS
};

const char* recordedSessionFile();
// Read from the JSON lines of the recording; empty when the file cannot be read.
std::vector<RecordedFrame> recordedSession();

}  // namespace skiff::test
