// The shell operations on a terminal: the status dialog becomes a status line (redrawn in place on a terminal,
// plain lines otherwise; a batch names each file as it starts), message boxes go to stderr, Ctrl-C plays the
// part of the main window's Close, and the connection wait is the connection dialog's decisions without a
// window.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/call_watch.h"
#include "core/shell_ops.h"
#include "ui/status_display.h"

namespace skiff::cli {

// Ctrl-C: the first press sets a flag the shell acts on at its next pump pass; any later press ends the process
// at once with exit code 130, in whatever phase (a blocked link call cannot be interrupted otherwise).
void installInterruptHandler();
bool takeInterrupt();   // true once, for the first press

// What the first press means now: a transfer is asked to stop (as Close during a transfer on Windows), or the
// command ends (as Close while idle or setting up). A batch that stops between files (`send`) takes the press
// as a request to stop in every phase of a file, its opening pause included.
enum class FirstPress { AskToStop, Quit };
FirstPress firstPressMeans(const AppState& app);

class TerminalShell final : public ShellOps, private StatusCanvas {
 public:
  // Status goes to `statusOut`, message texts to `messageOut`. `statusIsTerminal` chooses the in-place status
  // line; by default it is whether `statusOut` is a terminal.
  TerminalShell(AppState& app, LinkOps& link, std::FILE* statusOut = stderr, std::FILE* messageOut = stderr,
                std::optional<bool> statusIsTerminal = std::nullopt);

  // What the connection wait says when the call does not come as it should.
  void watchCalls(const CallWatch& watch) { callWatch_ = watch; }
  // What chooseFiles hands back (once); none: the dialog counts as cancelled.
  void setSelection(OpenFileResult selection) { selection_ = std::move(selection); }

  int messagesShown() const { return messagesShown_; }     // every message box is a report of a failure
  bool connectionStopped() const { return connectionStopped_; }  // the user stopped a connection wait
  // Ends a status line left on the terminal, so that whatever is written next starts on a line of its own.
  void endStatusLine();
  // A line from the link library (a TCP caller refused), on a line of its own with the message texts.
  void linkNotice(const std::string& text);
  // A line about how the transfer goes (not a report of a failure), on a line of its own.
  void note(std::string_view text);

  // --- ShellOps ---
  PumpPass takeMessage(int* quitCode) override;
  void postQuit(int code) override;
  std::uint32_t tickCount() override;
  void sleepMs(int ms) override;
  void openStatus() override;
  void showStatusNow() override { status_.refresh(); }
  void closeStatusNow() override { status_.closeForFailure(); }
  void messageBox(std::string_view text, std::string_view caption, BoxIcon icon, BoxOwner owner) override;
  void beep() override;
  bool chooseFiles(const OpenFileRequest& request, OpenFileResult* result) override;
  int runConnectionDialog() override;

 private:
  // --- StatusCanvas: the status display as a line ---
  void draw(const StatusFrame& frame) override;
  void hide() override { endStatusLine(); }
  void nameBatchFile();
  void tellAborting();

  AppState& app_;
  LinkOps& link_;
  std::FILE* statusOut_;
  std::FILE* messageOut_;
  bool terminal_;

  std::optional<OpenFileResult> selection_;
  std::optional<CallWatch> callWatch_;
  int messagesShown_ = 0;
  bool connectionStopped_ = false;
  int quitsPosted_ = 0;
  int quitCode_ = 0;

  // The status display: base units of 4 x 8 make the bar's width come out in dialog units (158 when full).
  StatusDisplay status_{app_, *this, 4, 8};
  bool lineDrawn_ = false;        // a status line is on the terminal without its line end
  std::string lastStage_;         // plain mode: the last stage text printed
  std::string lastCount_;         // plain mode: the last count line printed
  std::uint32_t lastCountAt_ = 0;
  int namedFile_ = 0;             // the batch's file number last named
};

// On a tcp: port, the line after "Looking for Newton..." that names where the pipe listens: "Listening on
// 127.0.0.1:3679 (TCP)". Nothing for a serial port.
void sayListenAddress(LinkOps& link, PipeHandle pipe, std::FILE* out);

// The progress bar as characters: `width` cells, filled in proportion to a bar `barUnits` long (158 is full).
std::string progressBarText(int barUnits, int width);

}  // namespace skiff::cli
