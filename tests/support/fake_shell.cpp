#include "tests/support/fake_shell.h"

#include <algorithm>

namespace skiff::test {

void FakeShell::at(std::uint32_t atMs, std::function<void()> event) {
  events_.push_back({atMs, std::move(event)});
}

void FakeShell::quitAt(std::uint32_t atMs, int code) { events_.push_back({atMs, nullptr, true, code}); }

PumpPass FakeShell::takeMessage(int* quitCode) {
  clock_.advance(msPerPass);
  if (quitsQueued_ > 0) {
    --quitsQueued_;
    *quitCode = 0;
    return PumpPass::Quit;
  }
  for (auto it = events_.begin(); it != events_.end(); ++it) {
    if (it->atMs > clock_.now) continue;
    Event event = std::move(*it);
    events_.erase(it);
    if (event.quit) {
      *quitCode = event.quitCode;
      return PumpPass::Quit;
    }
    event.run();
    return PumpPass::Dispatched;
  }
  // The status dialog's own 500 ms timer.
  if (liveDialog_ != 0 && clock_.now - lastStatusTick_ >= 500) {
    lastStatusTick_ = clock_.now;
    statusTick(liveDialog_);
    return PumpPass::Dispatched;
  }
  return PumpPass::Idle;
}

void FakeShell::postQuit(int) {
  ++postedQuits;
  ++quitsQueued_;
}

WindowRef FakeShell::createStatusDialog() {
  ++statusDialogsCreated;
  liveDialog_ = nextDialog_++;
  lastStatusTick_ = clock_.now;
  if (statusAbortCheck(app_)) {
    liveDialog_ = 0;
  } else {
    statusOnOpen(app_, statusModel_);
  }
  return reinterpret_cast<WindowRef>(nextDialog_ - 1);
}

void FakeShell::statusTick(std::uintptr_t dialog) {
  if (dialog != liveDialog_ || dialog == 0) return;  // messages to a closed dialog have no effect
  if (statusAbortCheck(app_)) {
    liveDialog_ = 0;
    return;
  }
  const StatusRefresh refresh = statusOnTimer(app_, statusModel_, 8, 16);
  if (refresh.close) {
    liveDialog_ = 0;
    return;
  }
  countLines.push_back(refresh.countLine);
  statusLines.push_back(refresh.statusLine);
}

void FakeShell::sendStatusTimer(WindowRef dialog) { statusTick(reinterpret_cast<std::uintptr_t>(dialog)); }

void FakeShell::sendStatusClose(WindowRef dialog) {
  const auto handle = reinterpret_cast<std::uintptr_t>(dialog);
  if (handle != liveDialog_ || handle == 0) return;
  if (statusAbortCheck(app_)) {
    liveDialog_ = 0;
    return;
  }
  statusOnCloseMessage(app_);
  liveDialog_ = 0;
}

void FakeShell::messageBox(std::string_view text, std::string_view caption, BoxIcon icon, WindowRef) {
  boxes.push_back({std::string(text), std::string(caption), icon});
}

bool FakeShell::chooseFiles(const OpenFileRequest& request, OpenFileResult* result) {
  fileRequests.push_back(request);
  if (fileChoices.empty()) return false;
  *result = std::move(fileChoices.front());
  fileChoices.pop_front();
  return true;
}

int FakeShell::runConnectionDialog() {
  ++connectionDialogs;
  if (onConnectionDialog) onConnectionDialog();
  if (connectionAnswers.empty()) return 5;
  const int answer = connectionAnswers.front();
  connectionAnswers.pop_front();
  return answer;
}

}  // namespace skiff::test
