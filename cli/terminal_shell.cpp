#include "cli/terminal_shell.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "core/abort_request.h"
#include "core/connection_dialog.h"
#include "core/pump.h"
#include "core/texts.h"
#include "dil/dil.h"

namespace skiff::cli {

namespace {

volatile std::sig_atomic_t gPresses = 0;      // Ctrl-C presses so far
volatile std::sig_atomic_t gUntaken = 0;      // the first press, until the shell takes it
volatile std::sig_atomic_t gOpenLineFd = -1;  // where a status line waits for its end, or -1

extern "C" void onSigint(int) {
  if (gPresses != 0) {
    // The user insists. The status line gets its end, so that the shell's prompt starts on a line of its own.
    if (gOpenLineFd >= 0) {
      [[maybe_unused]] const ssize_t written = write(gOpenLineFd, "\n", 1);
    }
    _exit(130);
  }
  gPresses = 1;
  gUntaken = 1;
}

constexpr const char* kQuitHint = "(press Ctrl-C again to quit at once)";

constexpr std::uint32_t kPlainCountEveryMs = 1000;
constexpr int kBarCells = 30;

std::uint32_t millisecondsSinceStart() {
  static const auto start = std::chrono::steady_clock::now();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

void installInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = onSigint;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

bool takeInterrupt() {
  if (gUntaken == 0) return false;
  gUntaken = 0;
  return true;
}

FirstPress firstPressMeans(const AppState& app) {
  return stopGoesToTransfer(app) ? FirstPress::AskToStop : FirstPress::Quit;
}

std::string progressBarText(int barUnits, int width) {
  int filled = static_cast<int>(static_cast<long long>(barUnits) * width / 158);
  if (filled < 0) filled = 0;
  if (filled > width) filled = width;
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(width - filled), '-') + "]";
}

TerminalShell::TerminalShell(AppState& app, LinkOps& link, std::FILE* statusOut, std::FILE* messageOut,
                             std::optional<bool> statusIsTerminal)
    : app_(app), link_(link), statusOut_(statusOut), messageOut_(messageOut) {
  terminal_ = statusIsTerminal ? *statusIsTerminal : isatty(fileno(statusOut)) != 0;
  millisecondsSinceStart();
}

std::uint32_t TerminalShell::tickCount() { return millisecondsSinceStart(); }

void TerminalShell::sleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TerminalShell::tellAborting() {
  // A download runs on until it ends or the link fails, as on Windows (a batch that stops between files starts
  // no further file); the user may still insist.
  std::fprintf(messageOut_, "ABORTING... %s\n", kQuitHint);
  std::fflush(messageOut_);
}

PumpPass TerminalShell::takeMessage(int* quitCode) {
  if (quitsPosted_ > 0) {
    --quitsPosted_;
    *quitCode = quitCode_;
    return PumpPass::Quit;
  }
  if (takeInterrupt()) {
    // As Close on the main window while bytes are counted: the status display ends, the engine is told.
    if (requestAbort(app_, *this)) {
      tellAborting();
      return PumpPass::Dispatched;
    }
    // Idle or setting up: Close ends the program, which the nested pump sees as the quit message.
    endStatusLine();
    std::fprintf(messageOut_, "Stopping... %s\n", kQuitHint);
    std::fflush(messageOut_);
    *quitCode = 130;
    return PumpPass::Quit;
  }
  return status_.refreshIfDue(tickCount()) ? PumpPass::Dispatched : PumpPass::Idle;
}

void TerminalShell::postQuit(int code) {
  ++quitsPosted_;
  quitCode_ = code;
}

void TerminalShell::openStatus() {
  endStatusLine();  // an earlier file's display gives way to the new one
  nameBatchFile();
  lastStage_.clear();
  lastCount_.clear();
  status_.open(tickCount());
}

void TerminalShell::endStatusLine() {
  if (lineDrawn_) std::fputc('\n', statusOut_);
  lineDrawn_ = false;
  gOpenLineFd = -1;
  std::fflush(statusOut_);
}

// A batch names each file as it starts, "todo.txt (1 of 4)"; a reconnect for the same file does not name it
// again, and the session that only ends a batch names nothing.
void TerminalShell::nameBatchFile() {
  const BatchProgress& progress = app_.batch;
  if (progress.fileCount < 2 || !app_.fileOpened || progress.fileNumber == namedFile_) return;
  namedFile_ = progress.fileNumber;
  std::fprintf(statusOut_, "%s (%d of %d)\n", app_.fileName.c_str(), progress.fileNumber, progress.fileCount);
  std::fflush(statusOut_);
}

void TerminalShell::draw(const StatusFrame& frame) {
  if (frame.opening) return;  // the engine's first refresh follows at once, with the stage and the spinner
  if (terminal_) {
    std::string line = "\r\x1b[K" + frame.statusLine;
    if (!frame.countLine.empty()) line += "   " + frame.countLine;
    if (frame.bar) line += " " + progressBarText(frame.bar->width, kBarCells);
    std::fputs(line.c_str(), statusOut_);
    lineDrawn_ = true;
    gOpenLineFd = fileno(statusOut_);
    std::fflush(statusOut_);
    return;
  }
  // Plain lines: each stage once, and the count at most once a second (and when it reaches the total).
  if (app_.statusText != lastStage_) {
    lastStage_ = app_.statusText;
    std::fprintf(statusOut_, "%s\n", lastStage_.c_str());
  }
  const bool complete = app_.bytesTotal > 0 && app_.transferPhase >= app_.bytesTotal;
  if (!frame.countLine.empty() && frame.countLine != lastCount_ &&
      (complete || lastCount_.empty() || tickCount() - lastCountAt_ >= kPlainCountEveryMs)) {
    lastCount_ = frame.countLine;
    lastCountAt_ = tickCount();
    std::fprintf(statusOut_, "%s\n", lastCount_.c_str());
  }
  std::fflush(statusOut_);
}

void TerminalShell::messageBox(std::string_view text, std::string_view, BoxIcon, BoxOwner) {
  ++messagesShown_;
  endStatusLine();  // the message starts on a line of its own
  std::fprintf(messageOut_, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(messageOut_);
}

void TerminalShell::note(std::string_view text) {
  endStatusLine();
  std::fprintf(messageOut_, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(messageOut_);
}

void TerminalShell::linkNotice(const std::string& text) { note("skiff: " + text); }

void sayListenAddress(LinkOps& link, PipeHandle pipe, std::FILE* out) {
  const std::string address = dilListenAddress(link, pipe);
  if (address.empty()) return;
  std::fprintf(out, "Listening on %s (TCP)\n", address.c_str());
  std::fflush(out);
}

void TerminalShell::beep() {
  std::fputc('\a', messageOut_);
  std::fflush(messageOut_);
}

bool TerminalShell::chooseFiles(const OpenFileRequest&, OpenFileResult* result) {
  if (!selection_) return false;
  *result = std::move(*selection_);
  selection_.reset();
  return true;
}

// The connection dialog without a window: the same decisions (core/connection_dialog.h) every 250 ms, the pipe
// serviced in between (a call or a lost line is acted on at once), and Ctrl-C, even one pressed just before the
// wait began, as its STOP button.
int TerminalShell::runConnectionDialog() {
  std::fprintf(messageOut_, "%s\n", LoadText(TextId::LookingForNewton).c_str());
  std::fflush(messageOut_);
  sayListenAddress(link_, app_.pipe, messageOut_);
  Runtime rt{app_, link_, *this};
  ConnectionDialog dialog;
  ConnectionStep step = connectionOpened(rt, dialog);
  const std::uint32_t waitStart = tickCount();
  while (!step.endCode) {
    if (callWatch_) {
      const DilLineStats line = dilLineStats(link_, app_.pipe);
      const std::string hint = callWatch_->check(tickCount() - waitStart, line.bytes, line.frames);
      if (!hint.empty()) {
        std::fprintf(messageOut_, "%s\n", hint.c_str());
        std::fflush(messageOut_);
      }
    }
    // Between the dialog's ticks the pipe is serviced (each idle waits on the port a few milliseconds), and a
    // Newton's call is answered at once: a Newton tries its link request only a few times.
    const std::uint32_t tickStart = tickCount();
    while (tickCount() - tickStart < static_cast<std::uint32_t>(kConnectionPollMs)) {
      if (takeInterrupt()) {
        connectionStopped_ = true;
        return *connectionCommand(rt, dialog, kStopButton)->endCode;
      }
      link_.pipeIdle(app_.pipe);
      const std::int32_t pipeState = link_.pipeState(app_.pipe);
      if (pipeState == state::kCalling || pipeState == state::kLost) break;
    }
    step = connectionTick(rt, dialog);
  }
  return *step.endCode;
}

}  // namespace skiff::cli
