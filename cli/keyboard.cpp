// skiff keyboard: this computer's keyboard typing at the Newton's insertion point. On a terminal the keys go as
// they are typed (the terminal raw meanwhile, and as it was afterwards); any other standard input is typed as
// it stands.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/raw_terminal.h"
#include "cli/secure_command.h"
#include "core/connect.h"
#include "keyboard/keyboard_run.h"

namespace skiff::cli {

namespace {

constexpr Command kKeyboard = Command::Keyboard;
constexpr std::size_t kReadPiece = 4096;  // what one pass of the session takes of the input at most

// What standard input has ready, without waiting.
keyboard::KeyboardInput readReady(int fd) {
  keyboard::KeyboardInput input;
  pollfd ready{fd, POLLIN, 0};
  if (poll(&ready, 1, 0) <= 0 || (ready.revents & (POLLIN | POLLHUP | POLLERR)) == 0) return input;
  char piece[kReadPiece];
  const ssize_t n = read(fd, piece, sizeof piece);
  if (n > 0) {
    input.bytes.assign(piece, static_cast<std::size_t>(n));
  } else if (n == 0) {
    input.ended = true;
  } else if (errno != EAGAIN && errno != EINTR) {
    input.problem = std::string("standard input: ") + std::strerror(errno);
  }
  return input;
}

// "Typed 1,204 characters and 3 keys."
std::string typedLine(const keyboard::KeyboardOutcome& outcome) {
  const auto plural = [](std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string text = "Typed " + plural(outcome.characters, "character", "characters");
  if (outcome.keys > 0) text += " and " + plural(outcome.keys, "key", "keys");
  return text + ".";
}

// The end in words, on stderr; the exit code.
int tellTheEnd(const keyboard::KeyboardOutcome& outcome, bool fromTerminal, bool stopped) {
  using keyboard::KeyboardEnd;
  switch (outcome.end) {
    case KeyboardEnd::Ended:
      return 0;
    case KeyboardEnd::Unacknowledged:
      std::fprintf(stderr, "The Newton did not acknowledge the end of the keys; the last ones may not have reached it\n");
      return 1;
    case KeyboardEnd::Stopped:
      std::fprintf(stderr, "Stopped before the end of the input\n");
      return 130;
    case KeyboardEnd::NewtonCancelled:
      std::fprintf(stderr, "The Newton ended the keyboard\n");
      return fromTerminal ? 0 : 1;
    case KeyboardEnd::InputFailed:
      complain(kKeyboard, outcome.problem);
      return 1;
    case KeyboardEnd::PasswordRejected:
      std::fprintf(stderr, "%s\n", kPasswordMismatch);
      return 1;
    case KeyboardEnd::OldNewton:
      std::fprintf(stderr, "%s\n", kOldNewton);
      return 1;
    case KeyboardEnd::LinkLost:
      if (!outcome.problem.empty()) complain(kKeyboard, outcome.problem);
      return stopped ? 130 : 1;
  }
  return 1;
}

}  // namespace

int cmdKeyboard(int argc, char** argv) {
  const auto taken = takeCommandLine(kKeyboard, argc, argv);
  if (const int* exitCode = std::get_if<int>(&taken)) return *exitCode;
  const CommandLine& line = std::get<CommandLine>(taken);

  AppState app;
  std::string password;
  if (!prepareSecureCommand(kKeyboard, line, app, &password)) return 2;

  RawTerminal raw;
  keyboard::KeyboardJob job;
  job.password = password;
  job.fromTerminal = isatty(STDIN_FILENO) != 0;
  job.begin = [&](std::string* problem) {
    if (!job.fromTerminal) {
      std::fprintf(stderr, "Typing standard input into the Newton...\n");
      return true;
    }
    // Raw first: a key typed as soon as this shows already goes to the Newton (a Ctrl-C too).
    if (!raw.enter(STDIN_FILENO, problem)) return false;
    std::fprintf(stderr, "Typing into the Newton where its insertion point is; Ctrl-] or Ctrl-C ends.\n");
    return true;
  };
  job.read = [] { return readReady(STDIN_FILENO); };
  job.end = [&] { raw.leave(); };

  keyboard::KeyboardOutcome result;
  bool ran = false;
  TerminalCommand command;
  command.link = linkTuning(line);
  command.callWatch = CallWatch(app.settings.packageBaud, line.baud.has_value());
  command.run = [&](Runtime& rt) {
    bool connected = false;
    const SessionRun session = runConnected(rt, ConnectionPlan{app.settings.packageBaud, 1}, connected, [&] {
      ran = true;
      return keyboard::runKeyboard(rt, job, result);
    });
    if (!session.ended) return session.result;
    return session.ended->how == Connection::Stopped ? 0 : session.ended->code;
  };
  const CommandOutcome outcome = runTerminalCommand(app, command);
  raw.leave();
  explainPortFailure(kKeyboard, outcome.result, app.settings.portName, outcome.portError);
  const bool stopped = outcome.stopped || app.abortRequested;
  if (!ran) return exitCodeFor(outcome, stopped, true);
  const int exitCode = tellTheEnd(result, job.fromTerminal, stopped);
  if (result.characters > 0 || result.keys > 0 || exitCode == 0) std::printf("%s\n", typedLine(result).c_str());
  return outcome.result != 0 ? 1 : exitCode;
}

}  // namespace skiff::cli
