#include "tests/support/scripted_link.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace skiff::test {

namespace {
LinkCall named(const char* op) {
  LinkCall call;
  call.op = op;
  return call;
}
}  // namespace

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }
std::string textOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

void ScriptedLink::queueInput(std::string_view bytes) { input_.insert(input_.end(), bytes.begin(), bytes.end()); }
void ScriptedLink::queueInput(const Bytes& bytes) { input_.insert(input_.end(), bytes.begin(), bytes.end()); }
void ScriptedLink::failRead(int index, std::int16_t result) { readFailures_[index] = result; }
void ScriptedLink::failWrite(int index, std::int16_t result) { writeFailures_[index] = result; }

std::vector<std::string> ScriptedLink::ops() const {
  std::vector<std::string> names;
  for (const auto& call : calls) names.push_back(call.op);
  return names;
}

std::vector<Bytes> ScriptedLink::written() const {
  std::vector<Bytes> out;
  for (const auto& call : calls)
    if (call.op == "pipeWrite" && call.result == 0) out.push_back(call.bytes);
  return out;
}

std::vector<std::pair<Bytes, int>> ScriptedLink::writesWithFlags() const {
  std::vector<std::pair<Bytes, int>> out;
  for (const auto& call : calls)
    if (call.op == "pipeWrite" && call.result == 0) out.emplace_back(call.bytes, call.endOfMessage);
  return out;
}

std::vector<Bytes> ScriptedLink::messages() const {
  std::vector<Bytes> out;
  Bytes message;
  for (const auto& call : calls) {
    if (call.op != "pipeWrite" || call.result != 0) continue;
    message.insert(message.end(), call.bytes.begin(), call.bytes.end());
    if (call.endOfMessage == 1) out.push_back(std::exchange(message, {}));
  }
  if (!message.empty()) out.push_back(message);
  return out;
}

Bytes ScriptedLink::allWritten() const {
  Bytes out;
  for (const auto& bytes : written()) out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

int ScriptedLink::count(std::string_view op) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const LinkCall& c) { return c.op == op; }));
}

void ScriptedLink::releaseCompletions() {
  auto pending = std::move(completions_);
  completions_.clear();
  for (const auto& p : pending) p.completion(0, p.refCon);
}

void ScriptedLink::linkStartup() { calls.push_back(named("linkStartup")); }

PipeHandle ScriptedLink::pipeCreate() {
  calls.push_back(named("pipeCreate"));
  return reinterpret_cast<PipeHandle>(&pipeObject_);
}

void ScriptedLink::linkRegisterApp(PipeHandle, void*) { calls.push_back(named("linkRegisterApp")); }

std::int32_t ScriptedLink::CDPipeInit(PipeHandle, const char*, const char*, const char* config, const char* portName,
                                      std::int32_t, std::int32_t) {
  LinkCall call = named("CDPipeInit");
  call.result = initResult;
  call.config = std::string(config) + "|" + portName;
  calls.push_back(std::move(call));
  return initResult;
}

std::int16_t ScriptedLink::pipeListen(PipeHandle, std::int32_t, std::int32_t, std::int32_t) {
  LinkCall call = named("pipeListen");
  call.result = listenResult;
  calls.push_back(std::move(call));
  return listenResult;
}

std::int32_t ScriptedLink::pipeState(PipeHandle) {
  const std::int32_t answer = connected ? stateAnswer : state::kIdle;
  LinkCall call = named("pipeState");
  call.result = answer;
  calls.push_back(std::move(call));
  return answer;
}

void ScriptedLink::pipeAccept(PipeHandle) {
  connected = true;
  stateAnswer = state::kConnected;
  calls.push_back(named("pipeAccept"));
}

void ScriptedLink::pipeIdle(PipeHandle) {
  ++idleCount;
  if (recordIdle) calls.push_back(named("pipeIdle"));
  if (onIdle) onIdle(*this);
  if (holdCompletions) return;
  // In the order of the writes: one whose time has not come holds back those after it.
  std::size_t due = 0;
  while (due < completions_.size() && completions_[due].dueAtIdle <= idleCount) ++due;
  std::vector<Pending> ready(completions_.begin(), completions_.begin() + static_cast<long>(due));
  completions_.erase(completions_.begin(), completions_.begin() + static_cast<long>(due));
  for (const auto& p : ready) p.completion(0, p.refCon);
}

std::int32_t ScriptedLink::pipeBytesAvailable(PipeHandle, int whichSide, std::int32_t* count) {
  std::int32_t answer = 0;
  if (connected && whichSide == side::kInput) answer = static_cast<std::int32_t>(input_.size());
  // Output: what a test says, and the bytes of the writes whose completion has not run (not acknowledged yet).
  if (connected && whichSide == side::kOutput) {
    answer = outputPendingAnswer;
    for (const auto& p : completions_) answer += static_cast<std::int32_t>(p.bytes);
  }
  *count = answer;
  LinkCall call = named("pipeBytesAvailable");
  call.length = answer;
  call.side = whichSide;
  calls.push_back(std::move(call));
  return 0;
}

std::int16_t ScriptedLink::pipeRead(PipeHandle, void* buffer, std::int32_t* length, std::uint8_t* endOfMessage,
                                    std::int32_t, std::int32_t, std::int32_t timeoutMs, PipeCompletion,
                                    std::intptr_t) {
  const int index = reads_++;
  LinkCall call = named("pipeRead");
  call.length = *length;
  call.timeoutMs = timeoutMs;
  std::int16_t result = 0;
  if (auto it = readFailures_.find(index); it != readFailures_.end()) {
    result = it->second;
  } else if (!connected) {
    result = static_cast<std::int16_t>(code::kNotReady);
  } else if (*length < 0 || input_.size() < static_cast<std::size_t>(*length)) {
    result = static_cast<std::int16_t>(code::kTimeout);
  }
  if (result == code::kTimeout) clock_.advance(static_cast<std::uint32_t>(timeoutMs));
  if (result != 0) {
    *length = 0;
  } else {
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::int32_t i = 0; i < *length; ++i) {
      out[i] = input_.front();
      call.bytes.push_back(input_.front());
      input_.pop_front();
    }
  }
  if (endOfMessage != nullptr) *endOfMessage = 1;
  call.result = result;
  calls.push_back(std::move(call));
  return result;
}

std::int16_t ScriptedLink::pipeWrite(PipeHandle, const void* buffer, std::int32_t* length,
                                     std::uint8_t endOfMessage, std::int32_t, std::int32_t, std::int32_t timeoutMs,
                                     PipeCompletion completion, std::intptr_t refCon) {
  const int index = writes_++;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  LinkCall call = named("pipeWrite");
  call.bytes = Bytes(in, in + std::max<std::int32_t>(*length, 0));
  call.timeoutMs = timeoutMs;
  call.endOfMessage = endOfMessage;
  call.async = completion != nullptr;
  std::int16_t result = 0;
  if (auto it = writeFailures_.find(index); it != writeFailures_.end()) {
    result = it->second;
  } else if (!connected) {
    result = static_cast<std::int16_t>(code::kNotReady);
  }
  call.result = result;
  const Bytes bytes = call.bytes;
  calls.push_back(std::move(call));
  if (result != 0) return result;
  if (completion != nullptr) {
    completionsOutstandingAtWrite.push_back(static_cast<int>(completions_.size()));
    completions_.push_back({completion, refCon, bytes.size(), idleCount + completionDelayIdles});
  }
  if (onWrite) onWrite(*this, bytes, endOfMessage != 0);
  return 0;
}

std::int16_t ScriptedLink::pipeFlush(PipeHandle, int whichSide) {
  if (whichSide == side::kInput) input_.clear();
  LinkCall call = named("pipeFlush");
  call.side = whichSide;
  calls.push_back(std::move(call));
  return 0;
}

void ScriptedLink::pipeDisconnect(PipeHandle) {
  connected = false;
  calls.push_back(named("pipeDisconnect"));
}

void ScriptedLink::pipeDispose(PipeHandle) { calls.push_back(named("pipeDispose")); }
void ScriptedLink::linkShutdown() { calls.push_back(named("linkShutdown")); }

}  // namespace skiff::test
