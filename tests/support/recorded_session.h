// The recorded session of a real Newton with a desktop that accepted its V.42bis offer (1,024 codewords, strings
// up to 250): every frame as it was on the line, in wire order, with the side that sent it.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace skiff::test {

struct RecordedFrame {
  bool fromNewton;
  std::vector<std::uint8_t> bytes;  // 16 10 02 ... 10 03 FCS
};

inline const char* recordedSessionFile() { return SKIFF_CAPTURE_FILE; }

// Read from the recording's JSON lines ("direction": "newton" or "desktop", "hex": the frame); empty when the file
// cannot be read.
inline std::vector<RecordedFrame> recordedSession() {
  std::ifstream in(recordedSessionFile());
  std::vector<RecordedFrame> frames;
  for (std::string line; std::getline(in, line);) {
    const std::size_t hex = line.find("\"hex\": \"") + 8;
    RecordedFrame frame{line.find("\"direction\": \"newton\"") != std::string::npos, {}};
    for (std::size_t i = hex; i + 1 < line.size() && line[i] != '"'; i += 2)
      frame.bytes.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace skiff::test
