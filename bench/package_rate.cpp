// The package stream's payload rate over a paced line: a 128 KB package through the real loader and link
// library to newton-sim's dock at 38400 bit/s (the line charges both directions, the Newton's LAs included),
// from the first data byte to the last acknowledgement. At window 1 with more background time clear and set,
// then behind a USB-serial adapter whose latency timer is 1 ms and 16 ms, at window 1 and 8. Prints each payload
// rate beside the ceiling MNP framing leaves: one LT at a time, each waiting for its LA. Then the same package
// over loopback TCP, unpaced: MNP carried as the emulator's serial driver does, at window 1 and 8, and raw dock
// frames as from a Newton on the network.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include <unistd.h>

#include "dil/dil.h"
#include "link/pump.h"
#include "package/package_loader.h"
#include "tests/support/sample_package.h"
#include "tests/support/sim_process.h"
#include "ui/status_display.h"

namespace {

using namespace skiff;
using Clock = std::chrono::steady_clock;

constexpr int kBaud = 38400;
constexpr std::size_t kPackageSize = 128 * 1024;
constexpr std::size_t kLaBytes = 11;  // 16 10 02, 03 05 N(R) N(k), 10 03, FCS

enum class Line { Serial, MnpOverTcp, RawDockOverTcp };

struct Setup {
  bool moreBackgroundTime = false;
  int window = 1;
  int adapterLatencyMs = 0;
  Line line = Line::Serial;
};

// Just enough of a shell: no windows, real time, and the moments the stream starts and ends.
class BenchShell final : public ShellOps {
 public:
  explicit BenchShell(AppState& app) : app_(app) {}
  Clock::time_point streamStart{}, streamEnd{};
  bool started = false, ended = false;

  PumpPass takeMessage(int*) override { return PumpPass::Idle; }
  void postQuit(int) override {}
  std::uint32_t tickCount() override {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
  }
  void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void openStatus() override { status_.open(tickCount()); }
  void showStatusNow() override {
    status_.refresh();
    // The first count is taken just before the first chunk goes; "Disconnecting..." follows the last drain.
    if (!started && app_.transferPhase > 0) {
      started = true;
      streamStart = Clock::now();
    }
    if (!ended && app_.statusText == "Disconnecting...") {
      ended = true;
      streamEnd = Clock::now();
    }
  }
  void closeStatusNow() override { status_.closeForFailure(); }
  void messageBox(std::string_view text, std::string_view, BoxIcon, BoxOwner) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
  void beep() override {}
  bool chooseFiles(const OpenFileRequest&, OpenFileResult*) override { return false; }
  int runConnectionDialog() override { return 5; }

 private:
  AppState& app_;
  BlankCanvas canvas_;
  StatusDisplay status_{app_, canvas_, 4, 8};
};

std::vector<std::uint8_t> benchPackage() {
  std::vector<std::uint8_t> bytes = test::validPackage(kPackageSize);
  std::mt19937 random(7);
  for (std::size_t i = 124; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(random());
  return bytes;
}

// The share of the line MNP leaves for payload: 256-byte LT info fields, each framed by SYN DLE STX, a 3-byte
// header, DLE ETX and the FCS, with every 10 byte doubled. With a window of one LT (the desktop's offer), each
// LT also waits for its 11-byte LA. The gap of eight character times after each LT passes while the LA is on
// the line, so it costs nothing more.
double mnpCeiling(const std::vector<std::uint8_t>& payload, bool stopAndWait) {
  std::size_t escapes = 0;
  for (auto b : payload) escapes += b == 0x10;
  const double perByte = 1.0 + static_cast<double>(escapes) / static_cast<double>(payload.size());
  const double lt = 256.0 * perByte + 3 + 3 + 2 + 2;
  return 256.0 / (stopAndWait ? lt + static_cast<double>(kLaBytes) : lt);
}

bool runOnce(const Setup& setup, double ceiling, const std::string& packagePath, const std::string& outDir) {
  AppState app;
  app.settings.moreBackgroundTime = setup.moreBackgroundTime ? 1 : 0;
  auto link = makeDilLink();
  tuneDilLink(*link, DilTuning{setup.window, 2000, 8});
  link->linkStartup();
  app.pipe = link->pipeCreate();
  BenchShell shell(app);
  Runtime rt{app, *link, shell};
  std::vector<std::string> simArgs{"--baud", std::to_string(kBaud), "--adapter-latency",
                                   std::to_string(setup.adapterLatencyMs)};
  if (setup.line != Line::Serial) {
    // The listener is open from the pipe's configuration on, so the simulated Newton can connect at once.
    app.settings.portName = "tcp:127.0.0.1:0";
    if (openPipe(rt, kBaud) != 0) return false;
    simArgs = {"--tcp-connect", dilListenAddress(*link, app.pipe)};
    if (setup.line == Line::RawDockOverTcp) simArgs.push_back("--raw-dock");
  }
  for (const char* word : {"dock", "--out"}) simArgs.emplace_back(word);
  simArgs.push_back(outDir);
  test::SimProcess sim(simArgs);
  if (!sim.start()) {
    std::fprintf(stderr, "newton-sim did not start: %s\n", sim.errors().c_str());
    return false;
  }
  bool ok = true;
  if (setup.line == Line::Serial) {
    app.settings.portName = sim.device();
    ok = openPipe(rt, kBaud) == 0;
  }
  ok = ok && link->pipeListen(app.pipe, -1, 0, 0) == 0;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (ok && link->pipeState(app.pipe) != state::kCalling && Clock::now() < deadline) link->pipeIdle(app.pipe);
  ok = ok && link->pipeState(app.pipe) == state::kCalling;
  std::int32_t result = -1;
  if (ok) {
    link->pipeAccept(app.pipe);
    pumpFor(rt, 1000);
    ok = app.openFile.open(packagePath, false);
    if (ok) result = runPackageLoad(rt);
  }
  link->pipeDisconnect(app.pipe);
  link->pipeDispose(app.pipe);
  link->linkShutdown();
  sim.wait(30000);
  if (!ok || result != 0 || !shell.ended) {
    std::fprintf(stderr, "load failed: result %d\n", static_cast<int>(result));
    return false;
  }
  const double seconds = std::chrono::duration<double>(shell.streamEnd - shell.streamStart).count();
  const double rate = static_cast<double>(kPackageSize) / seconds;
  if (setup.line != Line::Serial) {
    std::printf("loopback TCP, %-15s window %d  %6.3f s  %9.0f bytes/s\n",
                setup.line == Line::RawDockOverTcp ? "raw dock frames" : "MNP", setup.window, seconds, rate);
    std::fflush(stdout);
    return true;
  }
  std::printf("window %d  adapter latency %2d ms  more background time %-5s  %6.1f s  %7.1f bytes/s  "
              "%5.1f %% of the ceiling (%5.1f %% of the raw line rate)\n",
              setup.window, setup.adapterLatencyMs, setup.moreBackgroundTime ? "set" : "clear", seconds, rate,
              100.0 * rate / ceiling, 100.0 * rate / (kBaud / 10.0));
  std::fflush(stdout);
  return true;
}

}  // namespace

int main() {
  const auto dir = std::filesystem::temp_directory_path() / ("skiff-bench-package-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto package = benchPackage();
  const std::string path = (dir / "BENCH.PKG").string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
  std::printf("package stream, %zu bytes at %d bit/s (raw line rate %d bytes/s)\n", package.size(), kBaud,
              kBaud / 10);
  const double ceiling = mnpCeiling(package, true) * kBaud / 10.0;
  std::printf("MNP framing allows %.1f %%; one LT at a time, each acknowledged, allows %.1f %% (%.0f bytes/s)\n",
              100.0 * mnpCeiling(package, false), 100.0 * mnpCeiling(package, true), ceiling);
  const Setup setups[] = {{false, 1, 0},
                          {true, 1, 0},
                          {false, 1, 1},
                          {false, 8, 1},
                          {false, 1, 16},
                          {false, 8, 16},
                          {false, 1, 0, Line::MnpOverTcp},
                          {false, 8, 0, Line::MnpOverTcp},
                          {false, 1, 0, Line::RawDockOverTcp}};
  bool ok = true;
  int run = 0;
  for (const Setup& setup : setups) ok = runOnce(setup, ceiling, path, (dir / std::to_string(run++)).string()) && ok;
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
