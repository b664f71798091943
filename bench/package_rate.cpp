// The package stream's payload rate over a paced line: a 128 KB package through the real loader and link
// library to newton-sim's dock at 38400 bit/s (the line charges both directions, the Newton's LAs included),
// from the first data byte to the last acknowledgement. At window 1 with more background time clear and set,
// then behind a USB-serial adapter whose latency timer is 1 ms and 16 ms, at window 1 and 8. Prints each payload
// rate beside the ceiling MNP framing leaves: one LT at a time, each waiting for its LA. Then 256 KiB packages
// with V.42bis (--compress): one of text, which compresses, and one of random bytes, which does not, beside the
// random one without it, each with the desktop's bytes on the wire for each package byte.
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
constexpr std::size_t kPackageSize = 128 * 1024, kCompressedSize = 256 * 1024;
constexpr std::size_t kLaBytes = 11;  // 16 10 02, 03 05 N(R) N(k), 10 03, FCS

struct Setup {
  bool moreBackgroundTime = false;
  int window = 1;
  int adapterLatencyMs = 0;
  bool compress = false;
};

struct BenchPackage {
  const char* kind;
  std::string path;
  std::size_t size;
  double ceiling;  // bytes/s, one LT at a time, uncompressed
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

bool runOnce(const Setup& setup, const BenchPackage& package, const std::string& outDir) {
  std::filesystem::create_directories(outDir);
  const std::string logPath = outDir + "/sim.log";
  test::SimProcess sim({"--baud", std::to_string(kBaud), "--adapter-latency", std::to_string(setup.adapterLatencyMs),
                        "--log", logPath, "dock", "--out", outDir});
  if (!sim.start()) {
    std::fprintf(stderr, "newton-sim did not start: %s\n", sim.errors().c_str());
    return false;
  }
  AppState app;
  app.settings.portName = sim.device();
  app.settings.moreBackgroundTime = setup.moreBackgroundTime ? 1 : 0;
  auto link = makeDilLink();
  tuneDilLink(*link, DilTuning{setup.window, 2000, 8, setup.compress});
  link->linkStartup();
  app.pipe = link->pipeCreate();
  BenchShell shell(app);
  Runtime rt{app, *link, shell};
  bool ok = openPipe(rt, kBaud) == 0 && link->pipeListen(app.pipe, -1, 0, 0) == 0;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (ok && link->pipeState(app.pipe) != state::kCalling && Clock::now() < deadline) link->pipeIdle(app.pipe);
  ok = ok && link->pipeState(app.pipe) == state::kCalling;
  std::int32_t result = -1;
  if (ok) {
    link->pipeAccept(app.pipe);
    pumpFor(rt, 1000);
    ok = app.openFile.open(package.path, false);
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
  const double rate = static_cast<double>(package.size) / seconds;
  std::ifstream logFile(logPath);
  const std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
  const double wire = static_cast<double>(test::receivedInfoBytes(log)) / static_cast<double>(package.size);
  std::printf("%-6s %-10s window %d  adapter latency %2d ms  more background time %-5s  %6.1f s  %7.1f bytes/s  "
              "%5.1f %% of the ceiling (%5.1f %% of the raw line rate)  wire %.3f\n",
              package.kind, setup.compress ? "--compress" : "", setup.window, setup.adapterLatencyMs,
              setup.moreBackgroundTime ? "set" : "clear", seconds, rate, 100.0 * rate / package.ceiling,
              100.0 * rate / (kBaud / 10.0), wire);
  std::fflush(stdout);
  return true;
}

// Writes a package into `dir` and says what MNP framing allows for it.
BenchPackage writePackage(const std::filesystem::path& dir, const char* kind, const std::vector<std::uint8_t>& bytes) {
  const std::string path = (dir / (std::string(kind) + ".PKG")).string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const double ceiling = mnpCeiling(bytes, true) * kBaud / 10.0;
  std::printf("%s package, %zu bytes at %d bit/s (raw line rate %d bytes/s): MNP framing allows %.1f %%; one LT at "
              "a time, each acknowledged, allows %.1f %% (%.0f bytes/s)\n",
              kind, bytes.size(), kBaud, kBaud / 10, 100.0 * mnpCeiling(bytes, false), 100.0 * mnpCeiling(bytes, true),
              ceiling);
  return {kind, path, bytes.size(), ceiling};
}

}  // namespace

int main() {
  const auto dir = std::filesystem::temp_directory_path() / ("skiff-bench-package-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const BenchPackage plain = writePackage(dir, "plain", test::packageOf(kPackageSize, test::randomBytes(kPackageSize, 7)));
  const BenchPackage text = writePackage(dir, "text", test::packageOf(kCompressedSize, test::prose(kCompressedSize)));
  const BenchPackage random =
      writePackage(dir, "random", test::packageOf(kCompressedSize, test::randomBytes(kCompressedSize, 9)));
  struct Run {
    Setup setup;
    const BenchPackage& package;
  };
  const Run runs[] = {{{false, 1, 0}, plain},         {{true, 1, 0}, plain},         {{false, 1, 1}, plain},
                      {{false, 8, 1}, plain},         {{false, 1, 16}, plain},       {{false, 8, 16}, plain},
                      {{false, 1, 0, true}, text},    {{false, 8, 0, true}, text},   {{false, 1, 0, false}, random},
                      {{false, 1, 0, true}, random}};
  bool ok = true;
  int run = 0;
  for (const Run& r : runs) ok = runOnce(r.setup, r.package, (dir / std::to_string(run++)).string()) && ok;
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
