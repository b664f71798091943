#include "cli/command_run.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/os_reasons.h"
#include "core/link_ops.h"
#include "core/texts.h"
#include "dil/tcp_address.h"
#include "dil/tcp_socket.h"

namespace skiff::cli {

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {
// How long the link waits for the Newton's acknowledgement. A Newton itself retries an LT 11 times at 2 s (the
// open re-creation of its MNP tool) and desktops try 3 to 5 times for about 5 s; a Newton busy with its store
// can be silent that long in the middle of a package, and 8 short tries of the adaptive timer gave up on it
// after 9 s.
constexpr int kPatienceMs = 30000;
}  // namespace

DilTuning linkTuning(const CommandLine& line) {
  DilTuning tuning;
  tuning.patienceMs = kPatienceMs;
  tuning.window = line.window;
  tuning.frameGapChars = line.frameGapChars;
  tuning.hardwareFlowControl = line.hardwareFlowControl;
  tuning.compress = line.compress;
  return tuning;
}

void complain(Command command, const std::string& text) {
  std::fprintf(stderr, "skiff %s: %s\n", commandName(command), text.c_str());
}

std::variant<CommandLine, int> takeCommandLine(Command command, int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  ParsedCommandLine parsed = parseCommandLine(command, args);
  if (!parsed.error.empty()) {
    complain(command, parsed.error);
    std::fprintf(stderr, "Run 'skiff %s --help' for its options.\n", commandName(command));
    return 2;
  }
  if (parsed.line.help) {
    std::fputs(usageText(command), stdout);
    return 0;
  }
  if (parsed.line.version) {
    std::printf("skiff %s\n", SKIFF_VERSION);
    return 0;
  }
  return std::move(parsed.line);
}

bool chooseSettings(Command command, const CommandLine& line, Settings& settings) {
  ReadSettings(settings);
  settings.portName = chosenPort(line.port, std::getenv("SKIFF_PORT"), settings.portName);
  if (settings.portName.empty()) {
    complain(command, "skiff.cfg names no port: give --port DEVICE or set SKIFF_PORT");
    return false;
  }
  if (const std::string problem = portNameProblem(settings.portName); !problem.empty()) {
    const char* variable = std::getenv("SKIFF_PORT");  // --port was checked with the options
    complain(command, (variable != nullptr && *variable != '\0' ? "SKIFF_PORT " : "skiff.cfg's port ") + problem);
    return false;
  }
  return true;
}

void explainPortFailure(Command command, std::int32_t result, const std::string& port, int systemError) {
  if (result != code::kPortUnavailable && result != code::kBadParameter) return;
  if (const auto address = dil::parseTcpPort(port)) {
    const std::string problem = dil::tcpListenProblem(*address);
    complain(command, port + ": cannot listen there: " + (problem.empty() ? "it was taken a moment ago" : problem));
  } else if (result == code::kPortUnavailable) {
    complain(command, portProblem(port, systemError));
  }
}

int exitCodeFor(const CommandOutcome& outcome, bool stopped, bool failedBefore) {
  if (outcome.result != 0) return 1;
  if (stopped) {
    if (outcome.messagesShown == 0) std::fprintf(stderr, "%s\n", LoadText(TextId::OperationCancelled).c_str());
    return 130;
  }
  return outcome.messagesShown > 0 || failedBefore ? 1 : 0;
}

}  // namespace skiff::cli
