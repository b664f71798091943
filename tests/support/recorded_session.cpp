#include "tests/support/recorded_session.h"

#include <fstream>
#include <string>

namespace skiff::test {

namespace {
// The text of a string field of one JSON line ("name": "text").
std::string field(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\": \"";
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return {};
  const std::size_t start = at + key.size();
  return line.substr(start, line.find('"', start) - start);
}
}  // namespace

const char* recordedSessionFile() { return SKIFF_CAPTURE_FILE; }

std::vector<RecordedFrame> recordedSession() {
  std::ifstream in(recordedSessionFile());
  std::vector<RecordedFrame> frames;
  for (std::string line; std::getline(in, line);) {
    const std::string hex = field(line, "hex");
    RecordedFrame frame{field(line, "direction") == "newton", {}};
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
      frame.bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace skiff::test
