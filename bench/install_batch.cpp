// The command line's batch from the Newton's call to the summary line: `skiff install` of twelve 33 KB packages
// (or COUNT of SIZE_KB, the arguments) to newton-sim's dock at 230400 bit/s, window 8, behind a USB-serial adapter
// whose latency timer is 16 ms, as real programs over a paced pseudo-terminal; the wall time beside the time
// the packages' bytes take when LTs go back to back (256 info bytes in 267 on the wire).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/sample_package.h"
#include "tests/support/sim_process.h"

int main(int argc, char** argv) {
  using namespace skiff;
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 12;
  const std::size_t size = (argc > 2 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[2]))) : 33) * 1000;
  const int baud = 230400;
  const auto dir = std::filesystem::temp_directory_path() / ("skiff-bench-batch-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "out");
  std::vector<std::string> args{test::binPath("skiff"), "install", "--baud", std::to_string(baud), "--window", "8"};
  for (int i = 0; i < count; ++i) {
    const auto path = dir / ("p" + std::to_string(i) + ".pkg");
    const auto bytes = test::validPackage(size);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    args.push_back(path.string());
  }
  test::SimProcess sim({"--baud", std::to_string(baud), "--adapter-latency", "16", "--window", "8", "dock", "--out",
                        (dir / "out").string()});
  if (!sim.start()) {
    std::fprintf(stderr, "newton-sim did not start: %s\n", sim.errors().c_str());
    return 1;
  }
  args.insert(args.begin() + 2, {"--port", sim.device()});
  const auto start = std::chrono::steady_clock::now();
  const auto result = test::runCommand(args, 600000);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  (void)sim.wait(20000);
  std::filesystem::remove_all(dir);
  if (result.exitCode != 0) {
    std::fprintf(stderr, "skiff install failed: %s%s\n", result.out.c_str(), result.err.c_str());
    return 1;
  }
  const double streaming = static_cast<double>(count) * static_cast<double>(size) / (256.0 / 267.0 * baud / 10.0);
  std::printf("%d packages of %zu bytes at %d bit/s, window 8, 16 ms adapter latency\n", count, size, baud);
  std::printf("  call to summary %.1f s, streaming %.1f s: %.2f x the streaming time\n", wall, streaming,
              wall / streaming);
  return 0;
}
