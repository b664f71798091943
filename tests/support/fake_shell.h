// A recording shell on a virtual clock: message boxes, beeps, status dialogs and their lines, scripted window
// events (a Close, a quit) at given times, scripted file choices and connection-dialog answers.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/shell_ops.h"
#include "tests/support/virtual_clock.h"
#include "ui/status_display.h"

namespace skiff::test {

struct ShownBox {
  std::string text;
  std::string caption;
  BoxIcon icon;
};

class FakeShell : public ShellOps, private StatusCanvas {
 public:
  FakeShell(AppState& app, VirtualClock& clock) : app_(app), clock_(clock) {}

  // --- scripting ---
  std::uint32_t msPerPass = 1;  // virtual time one pump pass takes
  // Runs `event` during the first pump pass at or after `atMs`; the pass counts as a dispatched message.
  void at(std::uint32_t atMs, std::function<void()> event);
  void quitAt(std::uint32_t atMs, int code = 0);
  std::deque<OpenFileResult> fileChoices;     // each chooseFiles takes the next; none left: cancelled
  std::deque<int> connectionAnswers;          // each runConnectionDialog takes the next; none left: 5
  std::function<void()> onConnectionDialog;   // runs inside runConnectionDialog (e.g. to mark the link up)

  // --- what happened ---
  std::vector<ShownBox> boxes;
  std::vector<OpenFileRequest> fileRequests;
  int beeps = 0;
  int connectionDialogs = 0;
  int statusDialogsCreated = 0;
  int postedQuits = 0;
  std::vector<std::string> countLines;   // every count line a status refresh produced
  std::vector<std::string> statusLines;  // every status line a status refresh produced
  bool statusOpen() const { return status_.isOpen(); }

  // --- ShellOps ---
  PumpPass takeMessage(int* quitCode) override;
  void postQuit(int code) override;
  std::uint32_t tickCount() override { return clock_.now; }
  void sleepMs(int ms) override { clock_.advance(static_cast<std::uint32_t>(ms)); }
  void openStatus() override;
  void showStatusNow() override { status_.refresh(); }
  void closeStatusNow() override { status_.closeForFailure(); }
  void messageBox(std::string_view text, std::string_view caption, BoxIcon icon, BoxOwner owner) override;
  void beep() override { ++beeps; }
  bool chooseFiles(const OpenFileRequest& request, OpenFileResult* result) override;
  int runConnectionDialog() override;

 private:
  struct Event {
    std::uint32_t atMs;
    std::function<void()> run;
    bool quit = false;
    int quitCode = 0;
  };
  // --- StatusCanvas: every frame recorded ---
  void draw(const StatusFrame& frame) override;
  void hide() override {}

  AppState& app_;
  VirtualClock& clock_;
  std::vector<Event> events_;
  StatusDisplay status_{app_, *this, 8, 16};  // the system font's base units on Windows
  int quitsQueued_ = 0;
};

}  // namespace skiff::test
