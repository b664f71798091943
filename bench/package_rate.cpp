// The package stream's payload rate over a paced line, through the real loader and link library to newton-sim's
// dock (the line charges both directions, the Newton's LAs included), from the first data byte to the last
// acknowledgement. First the Package command's way: 128 KB at 38400 bit/s, at window 1 with more background
// time clear and set, then behind a USB-serial adapter whose latency timer is 1 ms and 16 ms, at window 1 and 8,
// beside the ceiling of one LT at a time, each waiting for its LA. Then the command line's way (the next chunk
// written while the last one waits for its acknowledgements): a 1 MiB package (or SIZE KiB, the first argument)
// at 115200 and 230400 bit/s, windows 1 and 8, adapter latency 0, 1 and 16 ms, beside the streaming ceiling
// (LTs back to back), with the time from the Newton's call to its install result. Then the 128 KB package over
// loopback TCP, unpaced: MNP carried as the emulator's serial driver does, at window 1 and 8, and raw dock frames
// as from a Newton on the network. Then 256 KiB packages with V.42bis (--compress) at 38400: one of text, which
// compresses, and one of random bytes, which does not, beside the random one without it, each with the desktop's
// bytes on the wire for each package byte. Last, a damaged line beside the clean one (the only rows with the
// argument "damaged").
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include <unistd.h>

#include "core/pump.h"
#include "dil/dil.h"
#include "package/package_command.h"
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
  int baud = kBaud;
  bool batch = false;        // the command line's batch; else the Package command's load
  bool streamAhead = false;  // the batch writes the next chunk while the last one waits for its LAs
  Line line = Line::Serial;
  bool compress = false;
  double damage = 0;         // the fraction of LTs and LAs, each way, the line damages or loses (half each)
  int retransmitFloorMs = -1;  // 2000: the timer fixed at its ceiling, as it was before it followed the line
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
    if (!ended && (app_.statusText == "Disconnecting..." || app_.statusText == "Installing on the Newton...")) {
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

std::vector<std::uint8_t> benchPackage(std::size_t size) {
  std::vector<std::uint8_t> bytes = test::validPackage(size);
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

struct Figures {
  double wirePerByte = 0;    // the desktop's LT info bytes for each package byte
  double ltsPerDistinct = 0; // the desktop's LTs, repeats included, for each distinct one
  double streamSeconds = 0;
  double rate = 0;           // payload bytes a second while the package streamed
  double callToResult = 0;   // from the Newton's call to its install result
};

std::optional<Figures> runOnce(const Setup& setup, const std::string& packagePath, std::size_t size,
                               const std::string& outDir) {
  AppState app;
  app.settings.moreBackgroundTime = setup.moreBackgroundTime ? 1 : 0;
  auto link = makeDilLink();
  DilTuning tuning;
  tuning.window = setup.window;
  tuning.compress = setup.compress;
  tuning.retransmitFloorMs = setup.retransmitFloorMs;
  tuneDilLink(*link, tuning);
  link->linkStartup();
  app.pipe = link->pipeCreate();
  BenchShell shell(app);
  Runtime rt{app, *link, shell};
  std::vector<std::string> simArgs{"--baud", std::to_string(setup.baud), "--adapter-latency",
                                   std::to_string(setup.adapterLatencyMs)};
  if (setup.line != Line::Serial) {
    // The listener is open from the pipe's configuration on, so the simulated Newton can connect at once.
    app.settings.portName = "tcp:127.0.0.1:0";
    if (openPipe(rt, setup.baud) != 0) return std::nullopt;
    simArgs = {"--tcp-connect", dilListenAddress(*link, app.pipe)};
    if (setup.line == Line::RawDockOverTcp) simArgs.push_back("--raw-dock");
  }
  if (setup.damage > 0) {
    const std::string half = std::to_string(setup.damage / 2);
    simArgs.insert(simArgs.end(), {"--corrupt", half, "--drop", half, "--seed", "3"});
  }
  const std::string logPath = outDir + ".log";
  for (const char* word : {"--log", logPath.c_str(), "dock", "--out"}) simArgs.emplace_back(word);
  simArgs.push_back(outDir);
  test::SimProcess sim(simArgs);
  if (!sim.start()) {
    std::fprintf(stderr, "newton-sim did not start: %s\n", sim.errors().c_str());
    return std::nullopt;
  }
  bool ok = true;
  if (setup.line == Line::Serial) {
    app.settings.portName = sim.device();
    ok = openPipe(rt, setup.baud) == 0;
  }
  ok = ok && link->pipeListen(app.pipe, -1, 0, 0) == 0;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (ok && link->pipeState(app.pipe) != state::kCalling && Clock::now() < deadline) link->pipeIdle(app.pipe);
  ok = ok && link->pipeState(app.pipe) == state::kCalling;
  const Clock::time_point called = Clock::now();
  Clock::time_point resulted{};
  std::int32_t result = -1;
  if (ok) {
    link->pipeAccept(app.pipe);
    pumpFor(rt, 1000);
    if (setup.batch) {
      PackageBatch batch;
      batch.streamAhead = setup.streamAhead;
      batch.packages.push_back({packagePath, "BENCH.PKG"});
      batch.onOutcome = [&](std::size_t, const PackageOutcome& outcome) {
        if (outcome.fate == PackageFate::Installed) resulted = Clock::now();
      };
      result = runPackageBatch(rt, batch);
    } else {
      ok = app.openFile.open(packagePath, false);
      if (ok) result = runPackageLoad(rt);
      resulted = Clock::now();
    }
  }
  link->pipeDisconnect(app.pipe);
  link->pipeDispose(app.pipe);
  link->linkShutdown();
  sim.wait(30000);
  if (!ok || result != 0 || !shell.ended || resulted == Clock::time_point{}) {
    std::fprintf(stderr, "load failed: result %d\n", static_cast<int>(result));
    return std::nullopt;
  }
  Figures figures;
  figures.streamSeconds = std::chrono::duration<double>(shell.streamEnd - shell.streamStart).count();
  figures.rate = static_cast<double>(size) / figures.streamSeconds;
  figures.callToResult = std::chrono::duration<double>(resulted - called).count();
  std::ifstream logFile(logPath);
  const std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
  figures.wirePerByte = static_cast<double>(test::receivedInfoBytes(log)) / static_cast<double>(size);
  const test::DesktopLts lts = test::desktopLts(log);
  figures.ltsPerDistinct = lts.distinct > 0 ? static_cast<double>(lts.sent) / static_cast<double>(lts.distinct) : 0;
  return figures;
}

bool packageCommandRows(const std::string& dir) {
  const auto package = benchPackage(kPackageSize);
  const std::string path = dir + "/BENCH.PKG";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
  std::printf("package stream, %zu bytes at %d bit/s (raw line rate %d bytes/s)\n", package.size(), kBaud,
              kBaud / 10);
  const double ceiling = mnpCeiling(package, true) * kBaud / 10.0;
  std::printf("MNP framing allows %.1f %%; one LT at a time, each acknowledged, allows %.1f %% (%.0f bytes/s)\n",
              100.0 * mnpCeiling(package, false), 100.0 * mnpCeiling(package, true), ceiling);
  const Setup setups[] = {{false, 1, 0}, {true, 1, 0}, {false, 1, 1}, {false, 8, 1}, {false, 1, 16}, {false, 8, 16}};
  bool ok = true;
  int run = 0;
  for (const Setup& setup : setups) {
    const auto figures = runOnce(setup, path, package.size(), dir + "/" + std::to_string(run++));
    if (!figures) {
      ok = false;
      continue;
    }
    std::printf("window %d  adapter latency %2d ms  more background time %-5s  %6.1f s  %7.1f bytes/s  "
                "%5.1f %% of the ceiling (%5.1f %% of the raw line rate)\n",
                setup.window, setup.adapterLatencyMs, setup.moreBackgroundTime ? "set" : "clear",
                figures->streamSeconds, figures->rate, 100.0 * figures->rate / ceiling,
                100.0 * figures->rate / (kBaud / 10.0));
    std::fflush(stdout);
  }
  return ok;
}

bool highSpeedRows(const std::string& dir, std::size_t size) {
  const auto package = benchPackage(size);
  const std::string path = dir + "/FAST.PKG";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
  std::printf("\ncommand line, %zu bytes streamed ahead; the streaming ceiling is %.1f %% of the raw line rate\n",
              package.size(), 100.0 * mnpCeiling(package, false));
  bool ok = true;
  int run = 100;
  for (int baud : {115200, 230400}) {
    const double ceiling = mnpCeiling(package, false) * baud / 10.0;
    std::printf("%d bit/s: raw line rate %d bytes/s, streaming ceiling %.0f bytes/s\n", baud, baud / 10, ceiling);
    for (int window : {1, 8}) {
      for (int latency : {0, 1, 16}) {
        // At window 8 behind the slowest adapter, also chunk by chunk (each chunk's LAs awaited before the next
        // is written), to show what streaming ahead is for.
        for (bool ahead : {true, false}) {
          if (!ahead && (window != 8 || latency != 16)) continue;
          const Setup setup{false, window, latency, baud, true, ahead};
          const auto figures = runOnce(setup, path, package.size(), dir + "/" + std::to_string(run++));
          if (!figures) {
            ok = false;
            continue;
          }
          std::printf("  window %d  adapter latency %2d ms%s  %6.1f s streaming  %8.1f bytes/s  %5.1f %% of the "
                      "ceiling  call to result %6.1f s\n",
                      window, latency, ahead ? "" : " chunk by chunk", figures->streamSeconds, figures->rate,
                      100.0 * figures->rate / ceiling, figures->callToResult);
          std::fflush(stdout);
        }
      }
    }
  }
  return ok;
}

// A damaged line: the Package command's way at 38400 bit/s, window 1, with 0, 2, 5 and 10 % of the LTs and LAs
// lost or damaged each way (half of them each), beside the clean rate. What costs the time there is how soon an
// LT whose LA did not come goes again.
bool damagedLineRows(const std::string& dir) {
  const auto package = benchPackage(32 * 1024);
  const std::string path = dir + "/DAMAGED.PKG";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
  std::printf("\ndamaged line, %zu bytes at %d bit/s, window 1 (frames lost or damaged, each way)\n", package.size(),
              kBaud);
  bool ok = true;
  double clean = 0;
  int run = 400;
  struct Row {
    double damage;
    int floorMs;
  };
  // The last row keeps the timer at 2 s, as it was before it followed the line.
  for (const Row row : {Row{0.0, -1}, Row{0.02, -1}, Row{0.05, -1}, Row{0.10, -1}, Row{0.10, 2000}}) {
    Setup setup;
    setup.damage = row.damage;
    setup.retransmitFloorMs = row.floorMs;
    const auto figures = runOnce(setup, path, package.size(), dir + "/" + std::to_string(run++));
    if (!figures) {
      ok = false;
      continue;
    }
    if (row.damage == 0) clean = figures->rate;
    std::printf("  %4.1f %% of frames  timer %-14s  %6.1f s  %7.1f bytes/s  %5.1f %% of the clean rate  "
                "%4.2f LTs per distinct one\n",
                100.0 * row.damage, row.floorMs < 0 ? "follows line" : "fixed at 2 s", figures->streamSeconds,
                figures->rate, clean > 0 ? 100.0 * figures->rate / clean : 0.0, figures->ltsPerDistinct);
    std::fflush(stdout);
  }
  // The command line's way (streaming ahead) on the worst line: window 8 goes back once for each loss, so it
  // sends few repeats and is not slower than window 1. A package of text, so that --compress has work to do.
  const auto text = test::packageOf(48 * 1024, test::prose(48 * 1024));
  const std::string textPath = dir + "/DAMAGED-TEXT.PKG";
  std::ofstream(textPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size()));
  std::printf("command line, %zu bytes of text at %d bit/s, 10 %% of frames lost or damaged each way\n",
              text.size(), kBaud);
  for (const auto& [window, compress] : {std::pair{1, false}, {8, false}, {1, true}, {8, true}}) {
    Setup setup{false, window, 0, kBaud, true, true};
    setup.compress = compress;
    setup.damage = 0.10;
    const auto figures = runOnce(setup, textPath, text.size(), dir + "/" + std::to_string(run++));
    if (!figures) {
      ok = false;
      continue;
    }
    std::printf("  window %d %-10s  %6.1f s  %7.1f bytes/s  %4.2f LTs per distinct one\n", window,
                compress ? "--compress" : "", figures->streamSeconds, figures->rate, figures->ltsPerDistinct);
    std::fflush(stdout);
  }
  return ok;
}

}  // namespace

bool compressionRows(const std::string& dir) {
  constexpr std::size_t kSize = 256 * 1024;
  struct Kind {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  const Kind kinds[] = {{"text", test::packageOf(kSize, test::prose(kSize))},
                        {"random", test::packageOf(kSize, test::randomBytes(kSize, 9))}};
  std::printf("\nV.42bis, %zu-byte packages at %d bit/s (raw line rate %d bytes/s)\n", kSize, kBaud, kBaud / 10);
  bool ok = true;
  int run = 300;
  for (const Kind& kind : kinds) {
    const std::string path = dir + "/" + kind.name + ".PKG";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(kind.bytes.data()), static_cast<std::streamsize>(kind.bytes.size()));
    for (const bool compress : {false, true}) {
      for (const int window : {1, 8}) {
        if (window == 8 && !compress) continue;
        Setup setup{false, window, 0};
        setup.compress = compress;
        const auto figures = runOnce(setup, path, kind.bytes.size(), dir + "/" + std::to_string(run++));
        if (!figures) {
          ok = false;
          continue;
        }
        std::printf("  %-6s %-10s window %d  %6.1f s  %8.1f bytes/s  %5.2f x the raw line rate  wire %.3f\n",
                    kind.name, compress ? "--compress" : "", window, figures->streamSeconds, figures->rate,
                    figures->rate / (kBaud / 10.0), figures->wirePerByte);
        std::fflush(stdout);
      }
    }
  }
  return ok;
}

bool tcpRows(const std::string& dir) {
  const auto package = benchPackage(kPackageSize);
  const std::string path = dir + "/TCP.PKG";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
  std::printf("\nloopback TCP, %zu bytes, unpaced\n", package.size());
  const Setup setups[] = {{false, 1, 0, kBaud, false, false, Line::MnpOverTcp},
                          {false, 8, 0, kBaud, false, false, Line::MnpOverTcp},
                          {false, 1, 0, kBaud, false, false, Line::RawDockOverTcp}};
  bool ok = true;
  int run = 200;
  for (const Setup& setup : setups) {
    const auto figures = runOnce(setup, path, package.size(), dir + "/" + std::to_string(run++));
    if (!figures) {
      ok = false;
      continue;
    }
    std::printf("  %-15s window %d  %6.3f s  %9.0f bytes/s\n",
                setup.line == Line::RawDockOverTcp ? "raw dock frames" : "MNP", setup.window, figures->streamSeconds,
                figures->rate);
    std::fflush(stdout);
  }
  return ok;
}

int main(int argc, char** argv) {
  // "damaged" as the first argument runs only the damaged-line rows.
  const bool damagedOnly = argc > 1 && std::string(argv[1]) == "damaged";
  const std::size_t fastKib =
      argc > 1 && !damagedOnly ? static_cast<std::size_t>(std::max(1L, std::atol(argv[1]))) : 1024;
  const auto dir = std::filesystem::temp_directory_path() / ("skiff-bench-package-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const bool slow = std::getenv("SKIFF_BENCH_FAST_ONLY") == nullptr && !damagedOnly;
  bool ok = !slow || packageCommandRows(dir.string());
  if (!damagedOnly) {
    ok = highSpeedRows(dir.string(), fastKib * 1024) && ok;
    ok = compressionRows(dir.string()) && ok;
    ok = tcpRows(dir.string()) && ok;
  }
  ok = damagedLineRows(dir.string()) && ok;
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
