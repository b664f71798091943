// Link benchmark: payload throughput desktop -> Newton over a paced line (38400 and 9600 bit/s, window 1 and 8)
// as a share of the raw line rate; processor time per MiB on an unpaced line; processor use of a listening
// pipe that nobody calls, over ten seconds. Prints figures, asserts nothing.
// Usage: link_throughput [--quick]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dil/dil.h"
#include "newton/test_data.h"
#include "tests/support/sim_process.h"

using namespace skiff;

namespace {

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double cpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
  bool ok = false;
  double elapsed = 0;
  double desktopCpu = 0;
  double newtonCpu = 0;
};

// Sends `bytes` to newton-sim's sink in 2048-byte messages; the time from the first write to the last
// acknowledgement.
Run sendToSink(int simBaud, int desktopBaud, int window, std::size_t bytes) {
  Run run;
  setenv("SKIFF_MNP_WINDOW", std::to_string(window).c_str(), 1);
  std::vector<std::string> args;
  if (simBaud > 0) args = {"--baud", std::to_string(simBaud)};
  args.insert(args.end(), {"sink", "--expect", std::to_string(bytes)});
  test::SimProcess sim(args);
  if (!sim.start()) return run;
  auto link = makeDilLink();
  PipeHandle pipe = link->pipeCreate();
  std::string config = sim.device() + ":" + std::to_string(desktopBaud) + ",n,8,1";
  if (link->CDPipeInit(pipe, "MNP", "", config.c_str(), sim.device().c_str(), 2048, 2048) != 0) return run;
  link->pipeListen(pipe, -1, 0, 0);
  double deadline = seconds() + 20;
  while (link->pipeState(pipe) != state::kCalling && seconds() < deadline) link->pipeIdle(pipe);
  link->pipeAccept(pipe);
  if (link->pipeState(pipe) != state::kConnected) return run;
  // Ordinary data: about one byte in 256 is the escape 10 (the test pattern has far more).
  std::vector<std::uint8_t> data(bytes);
  std::uint32_t state = 12345;
  for (auto& byte : data) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  double cpu0 = cpuSeconds(RUSAGE_SELF), t0 = seconds();
  bool ok = true;
  for (std::size_t at = 0; at < bytes && ok; at += 2048) {
    std::int32_t length = static_cast<std::int32_t>(std::min<std::size_t>(2048, bytes - at));
    ok = link->pipeWrite(pipe, data.data() + at, &length, 1, 0, 0, 60000, nullptr, 0) == 0;
  }
  run.elapsed = seconds() - t0;
  run.desktopCpu = cpuSeconds(RUSAGE_SELF) - cpu0;
  link->pipeDisconnect(pipe);
  double children0 = cpuSeconds(RUSAGE_CHILDREN);
  run.ok = ok && sim.wait(30000).value_or(-1) == 0;
  run.newtonCpu = cpuSeconds(RUSAGE_CHILDREN) - children0;
  link->pipeDispose(pipe);
  return run;
}

void throughput(int baud, int window, std::size_t bytes) {
  Run run = sendToSink(baud, baud, window, bytes);
  double rate = static_cast<double>(bytes) / run.elapsed;
  double raw = baud / 10.0;
  std::printf("paced %6d bit/s  window %d  %7zu bytes  %6.1f s  %7.1f B/s  %5.1f %% of the raw line rate%s\n",
              baud, window, bytes, run.elapsed, rate, 100.0 * rate / raw, run.ok ? "" : "  (FAILED)");
  std::fflush(stdout);
}

void processorPerMiB() {
  const std::size_t bytes = 1 << 20;
  Run run = sendToSink(0, 230400, 1, bytes);
  std::printf("unpaced pty, window 1, 1 MiB: %.2f s, desktop processor %.3f s per MiB, newton-sim %.3f s%s\n",
              run.elapsed, run.desktopCpu, run.newtonCpu, run.ok ? "" : "  (FAILED)");
  std::fflush(stdout);
}

void idleListening(double duration) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(master);
  unlockpt(master);
  std::string slave = ptsname(master);
  auto link = makeDilLink();
  PipeHandle pipe = link->pipeCreate();
  std::string config = slave + ":38400,n,8,1";
  link->CDPipeInit(pipe, "MNP", "", config.c_str(), slave.c_str(), 2048, 2048);
  link->pipeListen(pipe, -1, 0, 0);
  long calls = 0;
  double cpu0 = cpuSeconds(RUSAGE_SELF), t0 = seconds();
  while (seconds() - t0 < duration) {
    link->pipeIdle(pipe);
    ++calls;
  }
  double cpu = cpuSeconds(RUSAGE_SELF) - cpu0, wall = seconds() - t0;
  std::printf("idle listening pipe: %.1f s, %ld pipeIdle calls (%.2f ms each), processor %.3f s = %.2f %% of one core\n",
              wall, calls, 1000.0 * wall / static_cast<double>(calls), cpu, 100.0 * cpu / wall);
  link->pipeDisconnect(pipe);
  link->pipeDispose(pipe);
  close(master);
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  std::printf("MNP link benchmark (figures only)\n");
  std::size_t at38400 = quick ? 16384 : 65536, at9600 = quick ? 4096 : 16384;
  throughput(38400, 1, at38400);
  throughput(38400, 8, at38400);
  throughput(9600, 1, at9600);
  throughput(9600, 8, at9600);
  processorPerMiB();
  idleListening(quick ? 2.0 : 10.0);
  return 0;
}
