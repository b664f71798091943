// Shared pieces of the package tests: a package file on disk and a dock model behind the scripted link.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "dock/frame.h"
#include "tests/support/scripted_link.h"

namespace skiff::test {

// A file of `size` bytes in a pattern that shows a lost or shifted byte; removed with the object.
class TempPackage {
 public:
  explicit TempPackage(std::size_t size, const std::string& tag = "pkg") {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("skiff-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".pkg");
    bytes_.resize(size);
    for (std::size_t i = 0; i < size; ++i) bytes_[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes_.data()),
                                                 static_cast<std::streamsize>(size));
  }
  ~TempPackage() { std::filesystem::remove(path_); }
  std::string path() const { return path_.string(); }
  const Bytes& bytes() const { return bytes_; }

 private:
  std::filesystem::path path_;
  Bytes bytes_;
};

// The Newton's dock in a few lines: answers "dock" with a name frame, "stim" with "dres" 0 and a whole package
// with "dres" `installResult`; `afterChunk` may add frames after each chunk of package data.
struct DockModel {
  dock::FrameReader reader{1 << 24};
  std::vector<dock::Frame> frames;
  std::int32_t installResult = 0;
  std::vector<std::int32_t> installResults;  // the answers to the session's packages in turn; else installResult
  bool answerPackage = true;
  std::uint32_t nameLength = 90;  // a real Newton's
  std::function<void(ScriptedLink&, std::uint64_t dataSoFar)> afterChunk;
  std::size_t packagesSeen = 0;

  static Bytes nameFrame(std::uint32_t dataLength = 90) {
    Bytes data(dataLength, 0);
    data[3] = 56;  // 14 longs of version info, then the name
    return dock::encodeFrame("name", data);
  }

  void attach(ScriptedLink& link, bool sendOpening = true) {
    if (sendOpening) link.queueInput(dock::encodeLongFrame("rtdk", 9));
    link.onWrite = [this](ScriptedLink& l, const Bytes& written, bool) {
      const bool inPackage = reader.inFrame() && reader.currentCommand() == "lpkg";
      reader.feed(written);
      if (inPackage && reader.inFrame() && afterChunk) afterChunk(l, reader.currentDataReceived());
      while (reader.hasFrame()) {
        dock::Frame frame = reader.next();
        if (frame.command == "dock") l.queueInput(nameFrame(nameLength));
        if (frame.command == "stim") l.queueInput(dock::encodeLongFrame("dres", 0));
        if (frame.command == "lpkg" && answerPackage) {
          const std::size_t n = packagesSeen++;
          l.queueInput(dock::encodeLongFrame("dres", n < installResults.size() ? installResults[n] : installResult));
        }
        frames.push_back(std::move(frame));
      }
    };
  }

  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const auto& f : frames) out.push_back(f.command);
    return out;
  }
};

}  // namespace skiff::test
