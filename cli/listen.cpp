// skiff listen: the connection check. Configures the pipe, waits for the Newton, accepts it, says so,
// disconnects with an LD.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "dil/dil.h"
#include "link/pump.h"
#include "ui/texts.h"

namespace skiff::cli {

namespace {

constexpr int kLookingForNewton = 64;

void listenUsage(std::FILE* out) {
  std::fputs(
      "usage: skiff listen --port DEVICE [--baud N] [--timeout SECONDS]\n"
      "Checks the connection to a Newton: opens the serial port, waits until the Newton calls (tap Connect\n"
      "on the Newton), accepts it, reports the connection and disconnects again.\n\n"
      "  --port DEVICE      the serial port: a device path such as /dev/ttyUSB0 (COM1..COM4 also work)\n"
      "  --baud N           line speed in bit/s (default 38400, the Newton's built-in serial speed)\n"
      "  --timeout SECONDS  give up when no Newton called in this time (default: wait for ever)\n\n"
      "Exit code 0 when the Newton connected; otherwise the error is printed and the exit code is 1.\n",
      out);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int fail(std::int32_t code) {
  std::fprintf(stderr, "%s\n", ErrorText(code).c_str());
  return 1;
}

}  // namespace

int cmdListen(int argc, char** argv) {
  std::string port;
  long baud = 38400;
  double timeout = -1;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      listenUsage(stdout);
      return 0;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "skiff listen: %s needs a value\n", option.c_str());
      listenUsage(stderr);
      return 2;
    }
    const char* value = argv[++i];
    char* end = nullptr;
    if (option == "--port") {
      port = value;
    } else if (option == "--baud") {
      baud = std::strtol(value, &end, 10);
      if (*end != '\0' || baud <= 0) {
        std::fprintf(stderr, "skiff listen: bad baud '%s'\n", value);
        return 2;
      }
    } else if (option == "--timeout") {
      timeout = std::strtod(value, &end);
      if (*end != '\0' || timeout < 0) {
        std::fprintf(stderr, "skiff listen: bad timeout '%s'\n", value);
        return 2;
      }
    } else {
      std::fprintf(stderr, "skiff listen: unknown option %s\n", option.c_str());
      listenUsage(stderr);
      return 2;
    }
  }
  if (port.empty()) {
    std::fputs("skiff listen: --port DEVICE is needed\n", stderr);
    listenUsage(stderr);
    return 2;
  }

  auto link = makeDilLink();
  link->linkStartup();
  PipeHandle pipe = link->pipeCreate();
  link->linkRegisterApp(pipe, nullptr);
  std::string config = pipeConfigText(port, static_cast<std::int32_t>(baud));
  std::int32_t result = link->CDPipeInit(pipe, "MNP", "", config.c_str(), port.c_str(), 2048, 2048);
  if (result == code::kOk) result = link->pipeListen(pipe, -1, 0, 0);
  if (result != code::kOk) {
    std::fprintf(stderr, "%s\n", ShowErrorText(result, "CDPipeInit error").c_str());
    link->pipeDispose(pipe);
    link->linkShutdown();
    return fail(result);
  }
  std::printf("%s\n", LoadText(kLookingForNewton).c_str());
  std::fflush(stdout);

  auto start = std::chrono::steady_clock::now();
  while (link->pipeState(pipe) != state::kCalling) {
    if (timeout >= 0 && secondsSince(start) >= timeout) {
      link->pipeDisconnect(pipe);
      link->pipeDispose(pipe);
      link->linkShutdown();
      return fail(code::kTimeout);
    }
    link->pipeIdle(pipe);
  }
  link->pipeAccept(pipe);
  std::int32_t state = link->pipeState(pipe);
  int exitCode = 0;
  if (state == state::kConnected || state == state::kOutputBusy) {
    std::printf("Connected to the Newton on %s at %ld bit/s.\n", port.c_str(), baud);
  } else {
    exitCode = fail(code::kDisconnected);
  }
  link->pipeDisconnect(pipe);
  if (exitCode == 0) std::puts("Disconnected.");
  link->pipeDispose(pipe);
  link->linkShutdown();
  return exitCode;
}

}  // namespace skiff::cli
