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
  // The status display's own 500 ms timer.
  return status_.refreshIfDue(clock_.now) ? PumpPass::Dispatched : PumpPass::Idle;
}

void FakeShell::postQuit(int) {
  ++postedQuits;
  ++quitsQueued_;
}

void FakeShell::openStatus() {
  ++statusDialogsCreated;
  status_.open(clock_.now);
}

void FakeShell::draw(const StatusFrame& frame) {
  if (frame.opening) return;
  countLines.push_back(frame.countLine);
  statusLines.push_back(frame.statusLine);
}

void FakeShell::messageBox(std::string_view text, std::string_view caption, BoxIcon icon, BoxOwner) {
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
