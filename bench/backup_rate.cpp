// The backup's rate of entry bytes from the Newton, through the real programs over a paced pseudo-terminal:
// `skiff backup` from newton-sim's backup role with about ENTRIES generated entries a soup (the first argument,
// default 60), beside the streaming ceiling of the line (256 info bytes in 267 on the wire, one way), from skiff's
// start to its end. Rows: 38400 bit/s at window 1; 230400 at window 8 behind a USB adapter whose latency timer is
// 16 ms; 38400 at window 8 without and with --compress; then an incremental backup of the unchanged Newton and one
// after 20 changes, beside the full one; and the peak resident size of the programs so far.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "tests/support/sim_process.h"

namespace {

using namespace skiff;

struct Row {
  const char* name;
  int baud;
  int window;
  int latencyMs;
  bool compress;
  std::vector<std::string> newtonExtra;  // e.g. an edit between runs
  bool keepArchive;                      // back up onto the archive of the row before
};

struct Figures {
  double seconds = 0;
  std::int64_t entryBytes = 0;  // received in the run
  long peakKb = 0;
  bool ok = false;
};

std::int64_t bytesOfLastRun(const std::string& path) {
  auto archive = archive::Archive::openForReading(path);
  if (!archive.ok()) return 0;
  const auto runs = archive->runs();
  if (!runs.ok() || runs->empty()) return 0;
  const auto soups = archive->soups(runs->back().id);
  std::int64_t bytes = 0;
  for (const auto& soup : *soups) bytes += soup.counts.bytes;
  return bytes;
}

Figures run(const Row& row, int entries, const std::filesystem::path& dir) {
  Figures f;
  const std::string archivePath = (dir / "bench.newton-backup").string();
  if (!row.keepArchive) std::filesystem::remove(archivePath);
  std::vector<std::string> args{"--baud", std::to_string(row.baud), "--window", "8", "--adapter-latency",
                                std::to_string(row.latencyMs), "backup", "--out", (dir / "out").string(),
                                "--entries", std::to_string(entries)};
  args.insert(args.end(), row.newtonExtra.begin(), row.newtonExtra.end());
  test::SimProcess sim(args);
  if (!sim.start()) return f;
  std::vector<std::string> skiff{test::binPath("skiff"), "backup", "--port", sim.device(), "--baud",
                                 std::to_string(row.baud), "--window", std::to_string(row.window)};
  if (row.compress) skiff.push_back("--compress");
  skiff.push_back(archivePath);
  const auto start = std::chrono::steady_clock::now();
  const auto result = test::runCommand(skiff, 3'600'000);
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  (void)sim.wait(20000);
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  f.peakKb = usage.ru_maxrss;  // the largest child so far: skiff or newton-sim
  f.entryBytes = bytesOfLastRun(archivePath);
  f.ok = result.exitCode == 0;
  if (!f.ok) std::fprintf(stderr, "%s: skiff backup failed: %s%s\n", row.name, result.out.c_str(), result.err.c_str());
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  const auto dir = std::filesystem::temp_directory_path() / ("skiff-bench-backup-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "out");
  const std::vector<Row> rows = {
      {"full, 38400, window 1", 38400, 1, 0, false, {}, false},
      {"full, 230400, window 8, 16 ms adapter", 230400, 8, 16, false, {}, false},
      {"full, 38400, window 8", 38400, 8, 0, false, {}, false},
      {"full, 38400, window 8, --compress", 38400, 8, 0, true, {}, false},
      {"incremental, nothing changed", 38400, 8, 0, false, {"--clock", "64871000"}, true},
      {"incremental, 20 changed", 38400, 8, 0, false, {"--clock", "64872000", "--edit", "Notes:changed=20"}, true},
  };
  double fullSeconds = 0, plainRate = 0;
  bool ok = true;
  std::printf("%-40s %9s %11s %9s %8s %9s\n", "backup", "seconds", "entry bytes", "B/s", "ceiling", "peak KB");
  for (const Row& row : rows) {
    const Figures f = run(row, entries, dir);
    ok = ok && f.ok;
    const double ceiling = 256.0 / 267.0 * row.baud / 10.0;
    const double rate = f.seconds > 0 ? static_cast<double>(f.entryBytes) / f.seconds : 0;
    std::printf("%-40s %9.1f %11lld %9.0f %7.0f%% %9ld", row.name, f.seconds, static_cast<long long>(f.entryBytes),
                rate, 100 * rate / ceiling, f.peakKb);
    if (!row.keepArchive && row.window == 8 && !row.compress && row.latencyMs == 0) {
      fullSeconds = f.seconds;
      plainRate = rate;
    }
    if (row.compress && plainRate > 0) std::printf("  %.2f x the rate without --compress", rate / plainRate);
    if (row.keepArchive && fullSeconds > 0) std::printf("  %.2f of the full backup's time", f.seconds / fullSeconds);
    std::printf("\n");
  }
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
