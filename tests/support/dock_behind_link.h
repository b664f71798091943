// The package tests' Newton: the simulated Newton's own dock (newton::DockProtocol, with its fault knobs) behind
// the scripted link, joined in memory. What the desktop writes goes to the dock, what the dock sends waits as the
// link's input, and its hang-up drops the link. Also a package file on disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "newton/dock_protocol.h"
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

struct DockBehindLink {
  std::unique_ptr<newton::DockProtocol> dock;
  std::vector<std::string> log;  // the dock's log lines
  std::vector<Bytes> packages;   // every package the dock stored, in order
  // After each write, with the package bytes the dock has seen over the session: a test's event or fault.
  std::function<void(ScriptedLink&, std::int64_t packageBytes)> afterWrite;
  // Tests whose packages are patterns, not packages: the dock installs whatever comes, unless told otherwise.
  bool installsAnything = false;

  void attach(ScriptedLink& link, newton::DockFaults faults = {}, bool opening = true) {
    if (installsAnything && !faults.result) faults.result = 0;
    attach(link, std::make_unique<newton::DockProtocol>(faults, "Skiff's Newton"), opening);
  }
  // Any dock (a Newton OS 2.x one with stores to back up, say); `clock` gives its time at each idle of the link.
  void attach(ScriptedLink& link, std::unique_ptr<newton::DockProtocol> newDock, bool opening = true,
              const std::uint32_t* clock = nullptr) {
    dock = std::move(newDock);
    link.onWrite = [this](ScriptedLink& l, const Bytes& written, bool) {
      perform(l, dock->feed(written));
      if (afterWrite) afterWrite(l, dock->packageBytesSeen());
    };
    if (clock != nullptr) link.onIdle = [this, clock](ScriptedLink& l) { perform(l, dock->tick(*clock)); };
    if (opening) perform(link, dock->start());
  }
  void perform(ScriptedLink& link, const std::vector<newton::DockAction>& actions) {
    for (const auto& action : actions) {
      if (action.kind == newton::DockAction::Send || action.kind == newton::DockAction::Post)
        link.queueInput(action.bytes);
      if (action.kind == newton::DockAction::Log) log.push_back(action.text);
      if (action.kind == newton::DockAction::PackageReceived) packages.push_back(action.bytes);
      if (action.kind == newton::DockAction::Hangup) link.connected = false;
    }
  }
  // The commands of the frames the dock received whole, in order.
  const std::vector<std::string>& commands() const { return dock->received(); }
  bool logged(const std::string& line) const {
    for (const auto& l : log)
      if (l == line) return true;
    return false;
  }
};

}  // namespace skiff::test
