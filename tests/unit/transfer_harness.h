// A transfer on the bench: a fresh state, the scripted link answered by the companion application's protocol
// (the same one newton-sim plays), the fake shell on a virtual clock, and files in a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/shell_ops.h"
#include "newton/companion_protocol.h"
#include "tests/support/fake_shell.h"
#include "tests/support/scripted_link.h"
#include "transfer/transfer_session.h"
#include "tests/support/temp_dir.h"

namespace skiff::test {

// The time of each link call, in the order of `calls`.
class TimedLink : public ScriptedLink {
 public:
  explicit TimedLink(VirtualClock& clock) : ScriptedLink(clock), clock_(clock) {}
  std::vector<std::uint32_t> times;
  std::int16_t pipeRead(PipeHandle p, void* b, std::int32_t* l, std::uint8_t* e, std::int32_t x, std::int32_t y,
                        std::int32_t t, PipeCompletion c, std::intptr_t r) override {
    times.resize(calls.size(), clock_.now);
    const auto result = ScriptedLink::pipeRead(p, b, l, e, x, y, t, c, r);
    times.resize(calls.size(), clock_.now);
    return result;
  }
  std::int16_t pipeWrite(PipeHandle p, const void* b, std::int32_t* l, std::uint8_t e, std::int32_t x,
                         std::int32_t y, std::int32_t t, PipeCompletion c, std::intptr_t r) override {
    times.resize(calls.size(), clock_.now);
    const auto result = ScriptedLink::pipeWrite(p, b, l, e, x, y, t, c, r);
    times.resize(calls.size(), clock_.now);
    return result;
  }
  void pipeDisconnect(PipeHandle p) override {
    times.resize(calls.size(), clock_.now);
    ScriptedLink::pipeDisconnect(p);
    times.resize(calls.size(), clock_.now);
  }
  // Time of the index-th call named `op`.
  std::uint32_t timeOf(const std::string& op, int index = 0) {
    times.resize(calls.size(), clock_.now);
    for (std::size_t i = 0; i < calls.size(); ++i)
      if (calls[i].op == op && index-- == 0) return times[i];
    ADD_FAILURE() << "no call " << op;
    return 0;
  }

 private:
  VirtualClock& clock_;
};

struct TransferBench {
  VirtualClock clock;
  AppState app;
  TimedLink link{clock};
  FakeShell shell{app, clock};
  Runtime rt{app, link, shell};
  FileToSend file;  // what prepare() hands the session
  TempDir dir;
  newton::CompanionProtocol companion;
  std::vector<newton::ReceivedFile> received;
  int batchesDone = 0;

  explicit TransferBench(newton::CompanionFaults faults = {}) : companion(faults) {
    app.pipe = link.pipeCreate();
    link.calls.clear();
    link.onWrite = [this](ScriptedLink& peer, const Bytes& written, bool) {
      for (auto& action : companion.feed(written)) {
        if (action.kind == newton::CompanionAction::Reply) peer.queueInput(action.reply);
        if (action.kind == newton::CompanionAction::FileDone) received.push_back(*action.file);
        if (action.kind == newton::CompanionAction::BatchDone) ++batchesDone;
      }
    };
  }

  // The file as the Download command gives it to the session, opened.
  void prepare(const std::string& name, const std::string& bytes, std::int32_t kind, const std::string& header = "",
               bool last = true) {
    const std::string path = dir.file(name, bytes);
    file = FileToSend{kind, name, "", "WINDOWS\x04", "WINDOWS\x04", header, true, last};
    ASSERT_TRUE(app.openFile.open(path, kind == kText));
  }
};

inline std::string hexOf(const Bytes& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

}  // namespace skiff::test
