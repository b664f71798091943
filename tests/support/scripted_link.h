// A scripted peer behind the link operations: records every call in order, delivers queued input, fails the
// calls a test names, and lets a test answer each write (a companion or dock model in a few lines).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/link_ops.h"
#include "tests/support/virtual_clock.h"

namespace skiff::test {

using Bytes = std::vector<std::uint8_t>;
Bytes bytesOf(std::string_view text);
std::string textOf(const Bytes& bytes);

struct LinkCall {
  std::string op;           // "pipeWrite", "pipeRead", "pipeFlush", "pipeBytesAvailable", ...
  Bytes bytes;              // bytes written, or bytes a read delivered
  std::int32_t length = 0;  // bytes asked for (reads), count answered (pipeBytesAvailable)
  std::int32_t timeoutMs = 0;
  int endOfMessage = -1;    // writes
  int side = 0;             // pipeFlush, pipeBytesAvailable
  bool async = false;       // a write with a completion routine
  std::int32_t result = 0;
  std::string config;       // CDPipeInit: configuration text, then the port name after a '|'
};

class ScriptedLink : public LinkOps {
 public:
  explicit ScriptedLink(VirtualClock& clock) : clock_(clock) {}

  // --- scripting ---
  void queueInput(std::string_view bytes);
  void queueInput(const Bytes& bytes);
  void failRead(int index, std::int16_t result);    // the index-th pipeRead (0-based) returns result
  void failWrite(int index, std::int16_t result);   // the index-th pipeWrite (0-based) returns result
  // Called after each accepted write; may queue the peer's answer.
  std::function<void(ScriptedLink&, const Bytes& written, bool endOfMessage)> onWrite;
  // Called at each pipeIdle: the peer's time passes (a Newton streaming entries, say).
  std::function<void(ScriptedLink&)> onIdle;

  std::int32_t initResult = 0;
  std::int16_t listenResult = 0;
  std::int32_t stateAnswer = state::kConnected;  // what pipeState answers while connected
  std::int32_t outputPendingAnswer = 0;          // what pipeBytesAvailable(2) answers
  bool connected = true;                         // pipeDisconnect clears it; reads and writes then fail
  bool holdCompletions = false;                  // completion routines wait until released
  int completionDelayIdles = 0;                  // a completion runs at this many pipeIdle calls after its write
  bool recordIdle = false;                       // pipeIdle calls go into `calls` too

  // --- what happened ---
  std::vector<LinkCall> calls;
  int idleCount = 0;
  std::vector<int> completionsOutstandingAtWrite;  // for each asynchronous write: earlier ones not yet completed
  std::vector<std::string> ops() const;           // op names in order
  std::vector<Bytes> written() const;             // every written buffer in order
  std::vector<std::pair<Bytes, int>> writesWithFlags() const;
  // What went on the line as messages: the bytes of the writes up to each one that ended a message (the MNP link
  // frames a message into LTs of its own).
  std::vector<Bytes> messages() const;
  Bytes allWritten() const;
  int count(std::string_view op) const;
  void releaseCompletions();

  // --- LinkOps ---
  void linkStartup() override;
  PipeHandle pipeCreate() override;
  void linkRegisterApp(PipeHandle, void*) override;
  std::int32_t CDPipeInit(PipeHandle, const char*, const char*, const char* config, const char* portName,
                          std::int32_t, std::int32_t) override;
  std::int16_t pipeListen(PipeHandle, std::int32_t, std::int32_t, std::int32_t) override;
  std::int32_t pipeState(PipeHandle) override;
  void pipeAccept(PipeHandle) override;
  void pipeIdle(PipeHandle) override;
  std::int32_t pipeBytesAvailable(PipeHandle, int whichSide, std::int32_t* count) override;
  std::int16_t pipeRead(PipeHandle, void* buffer, std::int32_t* length, std::uint8_t* endOfMessage, std::int32_t,
                        std::int32_t, std::int32_t timeoutMs, PipeCompletion, std::intptr_t) override;
  std::int16_t pipeWrite(PipeHandle, const void* buffer, std::int32_t* length, std::uint8_t endOfMessage,
                         std::int32_t, std::int32_t, std::int32_t timeoutMs, PipeCompletion completion,
                         std::intptr_t refCon) override;
  std::int16_t pipeFlush(PipeHandle, int whichSide) override;
  void pipeDisconnect(PipeHandle) override;
  void pipeDispose(PipeHandle) override;
  void linkShutdown() override;

 private:
  struct Pending {
    PipeCompletion completion;
    std::intptr_t refCon;
    std::size_t bytes;
    int dueAtIdle;
  };

  VirtualClock& clock_;
  std::deque<std::uint8_t> input_;
  std::map<int, std::int16_t> readFailures_;
  std::map<int, std::int16_t> writeFailures_;
  int reads_ = 0;
  int writes_ = 0;
  std::vector<Pending> completions_;
  int pipeObject_ = 0;
};

}  // namespace skiff::test
