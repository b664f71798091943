// Wall time and payload rate of one 100 KB binary file sent by the Download command at 19200 bit/s to the
// simulated companion over a paced pseudo-terminal, split into the pauses the protocol prescribes and the rest.
// Usage: download_rate [KILOBYTES]   (default 100)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "core/connection_dialog.h"
#include "core/texts.h"
#include "dil/dil.h"
#include "tests/support/sim_process.h"
#include "transfer/download_command.h"
#include "ui/status_display.h"

namespace {

using namespace skiff;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A headless shell that charges the wall time to the stage the status text names, and keeps the time spent in
// the pause that neither pumps nor idles apart.
class BenchShell final : public ShellOps {
 public:
  BenchShell(AppState& app, LinkOps& link) : app_(app), link_(link), last_(Clock::now()) {}

  std::map<std::string, double> stageSeconds;
  double sleptSeconds = 0;
  double connectSeconds = 0;

  // The time since the last call goes to the stage that was shown then.
  void charge() {
    const auto now = Clock::now();
    stageSeconds[stage_] += std::chrono::duration<double>(now - last_).count();
    last_ = now;
    stage_ = app_.statusText;
  }
  PumpPass takeMessage(int*) override {
    charge();
    return PumpPass::Idle;
  }
  void postQuit(int) override {}
  std::uint32_t tickCount() override {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
  }
  void sleepMs(int ms) override {
    charge();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    sleptSeconds += secondsSince(start);
    last_ = Clock::now();
  }
  void openStatus() override {
    charge();
    status_.open(tickCount());
  }
  void showStatusNow() override {
    charge();
    status_.refresh();
  }
  void closeStatusNow() override { status_.closeForFailure(); }
  void messageBox(std::string_view text, std::string_view, BoxIcon, BoxOwner) override {
    std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
  }
  void beep() override {}
  bool chooseFiles(const OpenFileRequest&, OpenFileResult*) override { return false; }
  int runConnectionDialog() override {
    const auto start = Clock::now();
    Runtime rt{app_, link_, *this};
    ConnectionDialog dialog;
    ConnectionStep step = connectionOpened(rt, dialog);
    while (!step.endCode) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kConnectionPollMs));
      step = connectionTick(rt, dialog);
    }
    connectSeconds += secondsSince(start);
    last_ = Clock::now();
    return *step.endCode;
  }

 private:
  AppState& app_;
  LinkOps& link_;
  BlankCanvas canvas_;
  StatusDisplay status_{app_, canvas_, 4, 8};
  Clock::time_point last_;
  std::string stage_;
};

}  // namespace

int main(int argc, char** argv) {
  const long kilobytes = argc > 1 ? std::atol(argv[1]) : 100;
  const std::size_t size = static_cast<std::size_t>(kilobytes) * 1024;
  const auto dir = std::filesystem::temp_directory_path() / "skiff-bench-download";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "payload.bmp").string();
  {
    std::ofstream out(path, std::ios::binary);
    unsigned x = 12345;
    for (std::size_t i = 0; i < size; ++i) {
      x = x * 1103515245u + 12345u;
      out.put(static_cast<char>(x >> 16));
    }
  }

  test::SimProcess sim({"--baud", "19200", "companion", "--out", (dir / "newton").string()},
                       test::binPath("newton-sim"));
  if (!sim.start()) {
    std::fprintf(stderr, "download_rate: newton-sim did not start (build it first)\n");
    return 1;
  }

  AppState app;
  app.settings.portName = sim.device();
  auto link = makeDilLink();
  link->linkStartup();
  app.pipe = link->pipeCreate();
  BenchShell shell(app, *link);
  Runtime rt{app, *link, shell};

  const auto start = Clock::now();
  const std::int32_t result = runDownloadSelection(rt, {false, {{path, "payload.bmp"}}});
  shell.charge();
  const double total = secondsSince(start);
  link->pipeDispose(app.pipe);
  link->linkShutdown();
  const auto simExit = sim.wait(30000);

  const double lengthPause = shell.stageSeconds[LoadText(TextId::CalculatingFileLength)];  // "Calculating file length...": the 2-3 s pause
  const double batchEnd = shell.stageSeconds[LoadText(TextId::Disconnecting)];     // "Disconnecting...": DONE, its reply, 5 s pump
  const double fixed = lengthPause + shell.sleptSeconds + batchEnd;
  const double transfer = total - shell.connectSeconds - fixed;
  const double lineBytesPerSecond = 19200.0 / 10;

  std::printf("download of %zu bytes at 19200 bit/s (paced line, 8N1: %.0f B/s raw)\n", size, lineBytesPerSecond);
  std::printf("  result                    %d (newton-sim exit %d)\n", result, simExit ? *simExit : -1);
  std::printf("  wall time, whole command  %8.2f s\n", total);
  std::printf("  connection wait           %8.2f s\n", shell.connectSeconds);
  std::printf("  pause before the length   %8.2f s   (2 to 3 s by whole seconds, pumping)\n", lengthPause);
  std::printf("  pause after the last reply%8.2f s   (1 to 2 s, no pumping)\n", shell.sleptSeconds);
  std::printf("  end of the batch          %8.2f s   (DONE, its reply, 5 s pumping)\n", batchEnd);
  std::printf("  fixed pauses together     %8.2f s\n", fixed);
  std::printf("  the rest (exchange+data)  %8.2f s\n", transfer);
  std::printf("  payload rate, whole       %8.0f B/s\n", static_cast<double>(size) / total);
  std::printf("  payload rate, the rest    %8.0f B/s   (%.0f%% of the raw line)\n", static_cast<double>(size) / transfer,
              100.0 * static_cast<double>(size) / transfer / lineBytesPerSecond);
  return result == 0 ? 0 : 1;
}
