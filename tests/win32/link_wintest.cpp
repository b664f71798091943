// The Windows link library over a real COM port (under Wine: COM1 mapped to a pseudo-terminal with newton-sim
// running `echo` on the other end): handshake, then a byte-exact exchange, then disconnect.
// Usage: link_wintest [PORT] [BAUD] [BYTES]. Exit 0 when everything held.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dil/dil.h"
#include "newton/test_data.h"

namespace {

int failWith(const char* what, long value) {
  std::printf("link_wintest: FAILED %s (%ld)\n", what, value);
  std::fflush(stdout);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace skiff;
  std::string port = argc > 1 ? argv[1] : "COM1";
  long baud = argc > 2 ? std::atol(argv[2]) : 38400;
  std::size_t bytes = argc > 3 ? static_cast<std::size_t>(std::atol(argv[3])) : 65536;
  std::printf("link_wintest: start on %s at %ld\n", port.c_str(), baud);
  std::fflush(stdout);

  auto link = makeDilLink();
  link->linkStartup();
  PipeHandle pipe = link->pipeCreate();
  std::string config = port + ":" + std::to_string(baud) + ",n,8,1";
  std::int32_t result = link->CDPipeInit(pipe, "MNP", "", config.c_str(), port.c_str(), 2048, 2048);
  if (result != 0) return failWith("CDPipeInit", result);
  if (link->pipeListen(pipe, -1, 0, 0) != 0) return failWith("pipeListen", 0);
  if (link->pipeState(pipe) != state::kListening) return failWith("state after listen", link->pipeState(pipe));
  DWORD deadline = GetTickCount() + 30000;
  while (link->pipeState(pipe) != state::kCalling && static_cast<LONG>(deadline - GetTickCount()) > 0)
    link->pipeIdle(pipe);
  if (link->pipeState(pipe) != state::kCalling) return failWith("no call from the Newton, state", link->pipeState(pipe));
  link->pipeAccept(pipe);
  if (link->pipeState(pipe) != state::kConnected) return failWith("state after accept", link->pipeState(pipe));
  std::printf("link_wintest: connected\n");

  auto data = newton::patternBytes(bytes, 21);
  std::vector<std::uint8_t> echoed;
  std::vector<std::uint8_t> part(8192);
  for (std::size_t at = 0; at < data.size(); at += 2048) {
    std::int32_t length = static_cast<std::int32_t>(std::min<std::size_t>(2048, data.size() - at));
    std::int16_t written = link->pipeWrite(pipe, data.data() + at, &length, 1, 0, 0, 15000, nullptr, 0);
    if (written != 0) return failWith("pipeWrite", written);
    std::int32_t waiting = 0;
    if (link->pipeBytesAvailable(pipe, side::kInput, &waiting) == 0 && waiting > 0) {
      std::int32_t take = std::min<std::int32_t>(waiting, static_cast<std::int32_t>(part.size()));
      std::uint8_t endOfMessage = 0;
      std::int16_t got = link->pipeRead(pipe, part.data(), &take, &endOfMessage, 0, 0, 15000, nullptr, 0);
      if (got != 0) return failWith("pipeRead", got);
      echoed.insert(echoed.end(), part.begin(), part.begin() + take);
    }
  }
  while (echoed.size() < data.size()) {
    std::int32_t take = static_cast<std::int32_t>(std::min<std::size_t>(part.size(), data.size() - echoed.size()));
    std::uint8_t endOfMessage = 0;
    std::int16_t got = link->pipeRead(pipe, part.data(), &take, &endOfMessage, 0, 0, 30000, nullptr, 0);
    if (got != 0) return failWith("pipeRead of the echo", got);
    echoed.insert(echoed.end(), part.begin(), part.begin() + take);
  }
  if (echoed != data) return failWith("echo differs from what was sent, bytes", static_cast<long>(echoed.size()));
  std::uint8_t probe[2];
  std::int32_t probeLength = 2;
  std::uint8_t endOfMessage = 0;
  std::int16_t timedOut = link->pipeRead(pipe, probe, &probeLength, &endOfMessage, 0, 0, 300, nullptr, 0);
  if (timedOut != code::kTimeout) return failWith("read with nothing to come", timedOut);
  link->pipeDisconnect(pipe);
  link->pipeDispose(pipe);
  link->linkShutdown();
  std::printf("link_wintest: PASSED %zu bytes each way\n", bytes);
  return 0;
}
