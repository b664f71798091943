// skiff listen: the connection check. Configures the pipe, waits for the Newton, accepts it, says so,
// disconnects with an LD.
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/terminal_shell.h"
#include "core/program.h"
#include "core/pump.h"
#include "core/texts.h"
#include "dil/dil.h"

namespace skiff::cli {

namespace {
constexpr int kDefaultBaud = 38400;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void say(std::int32_t code) { std::fprintf(stderr, "%s\n", ErrorText(code).c_str()); }

// How the wait for the Newton ended.
enum class Wait { Calling, Stopped, TimedOut, LineLost };

Wait waitForCall(LinkOps& link, PipeHandle pipe, const CommandLine& line, CallWatch watch) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const DilLineStats stats = dilLineStats(link, pipe);
    const auto waitedMs = static_cast<std::uint32_t>(secondsSince(start) * 1000);
    if (const std::string hint = watch.check(waitedMs, stats.bytes, stats.frames); !hint.empty())
      std::fprintf(stderr, "%s\n", hint.c_str());
    const std::int32_t state = link.pipeState(pipe);
    if (state == state::kCalling) return Wait::Calling;
    if (state == state::kLost) return Wait::LineLost;  // the line hung up: nobody can call on it any more
    if (takeInterrupt()) return Wait::Stopped;
    if (line.timeoutSeconds && secondsSince(start) >= *line.timeoutSeconds) return Wait::TimedOut;
    link.pipeIdle(pipe);  // waits for the port a few milliseconds; never spins
  }
}

}  // namespace

int cmdListen(int argc, char** argv) {
  const auto taken = takeCommandLine(Command::Listen, argc, argv);
  if (const int* exitCode = std::get_if<int>(&taken)) return *exitCode;
  const CommandLine& line = std::get<CommandLine>(taken);

  Settings settings;
  if (!chooseSettings(Command::Listen, line, settings)) return 2;
  const std::string& port = settings.portName;
  const int baud = line.baud.value_or(kDefaultBaud);

  installInterruptHandler();
  AppState app;
  auto link = makeDilLink();
  setDilNotices(*link, [](const std::string& text) { std::fprintf(stderr, "skiff: %s\n", text.c_str()); });
  tuneDilLink(*link, linkTuning(line));
  startLink(app, *link);
  const PipeHandle pipe = app.pipe;
  auto finish = [&](int exitCode) {
    stopLink(app, *link);
    return exitCode;
  };

  const std::string config = pipeConfigText(port, baud);
  std::int32_t result = link->CDPipeInit(pipe, "MNP", "", config.c_str(), port.c_str(), 2048, 2048);
  if (result == code::kOk) result = link->pipeListen(pipe, -1, 0, 0);
  if (result == code::kPortUnavailable) {
    explainPortFailure(Command::Listen, result, port, dilPortSystemError(*link, pipe));
    return finish(1);
  }
  if (result != code::kOk) {
    std::fprintf(stderr, "%s\n", ShowErrorText(result, "CDPipeInit error").c_str());
    say(result);
    return finish(1);
  }
  std::fprintf(stderr, "%s\n", LoadText(TextId::LookingForNewton).c_str());
  sayListenAddress(*link, pipe, stderr);

  switch (waitForCall(*link, pipe, line, CallWatch(baud, line.baud.has_value()))) {
    case Wait::Calling:
      break;
    case Wait::Stopped:
      std::fprintf(stderr, "%s\n", LoadText(TextId::OperationCancelled).c_str());
      return finish(130);
    case Wait::TimedOut:
      say(code::kTimeout);
      if (baud != kDefaultBaud && dilLineStats(*link, pipe).frames == 0)
        std::fprintf(stderr, "No call came at %d bit/s: the Newton's connection speed may differ.\n", baud);
      return finish(1);
    case Wait::LineLost:
      say(code::kDisconnected);
      complain(Command::Listen, "the line on " + port + " hung up while waiting for the Newton");
      return finish(1);
  }
  link->pipeAccept(pipe);
  const std::int32_t state = link->pipeState(pipe);
  if (state != state::kConnected && state != state::kOutputBusy) {
    say(code::kDisconnected);
    return finish(1);
  }
  const std::string address = dilListenAddress(*link, pipe);
  if (address.empty()) {
    std::printf("Connected to the Newton on %s at %d bit/s.\n", port.c_str(), baud);
  } else {
    std::printf("Connected to the Newton on TCP %s.\n", address.c_str());
  }
  std::fflush(stdout);
  link->pipeDisconnect(pipe);
  std::puts("Disconnected.");
  return finish(0);
}

}  // namespace skiff::cli
