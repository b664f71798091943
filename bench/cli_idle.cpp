// Processor use of the command line in each state where it waits: for a Newton to call, for a silent Newton's
// reply, in the closing pauses, and on a line that hung up. Each is run as a user runs it (skiff on a terminal
// of its own, the real link library, newton-sim or a bare pseudo-terminal as the line), and measured from
// /proc over a few seconds of the state.
// Usage: cli_idle [SECONDS]   (default 5: the window each waiting state is measured over; /proc counts in
// hundredths of a second, so 5 s resolve 0.2 % of a core)
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pty_process.h"
#include "tests/support/sample_package.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"

namespace {

using skiff::test::PtyProcess;
using skiff::test::SimProcess;
using skiff::test::TempDir;

double gWindowSeconds = 5;

std::string skiff() { return skiff::test::binPath("skiff"); }

void report(const char* state, double cpu, double wall) {
  if (cpu < 0 || wall <= 0) {
    std::printf("%-62s (not measured)\n", state);
    return;
  }
  std::printf("%-62s %6.2f %% of one core (%.3f s of processor in %.1f s)\n", state, 100.0 * cpu / wall, cpu, wall);
}

// Waits for `marker` in the command's output, then measures the state for the window.
// The state is measured from half a second after it began: the link answers quickly for 20 ms after the last
// exchange (docs/link-library.md, "No dead line time"), which is the end of the step before, not waiting. A
// state that lasts only so long (the closing pauses) is measured for at most `longest` seconds.
void measureWhile(const char* state, PtyProcess& command, const std::string& marker, double longest = 1e9) {
  if (!command.waitFor(marker, 60000)) {
    std::printf("%-62s (never reached: %s)\n", state, marker.c_str());
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double before = skiff::test::runningCpuSeconds(command.pid());
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(std::min(gWindowSeconds, longest)));
  const double after = skiff::test::runningCpuSeconds(command.pid());
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  report(state, before < 0 || after < 0 ? -1 : after - before, wall);
}

// A state the command leaves by ending: how long it took from now, and its processor time over its whole run
// (a loop on a dead line would show as seconds of both).
void measureUntilExit(const char* state, PtyProcess& command) {
  const auto start = std::chrono::steady_clock::now();
  if (!command.wait(60000)) {
    std::printf("%-62s (did not end within 60 s)\n", state);
    return;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-62s ended after %.2f s; %.3f s of processor for the whole run\n", state, wall,
              command.cpuSeconds());
}

void listenStates() {
  skiff::test::PtyLine line;
  PtyProcess listen({skiff(), "listen", "--port", line.device()});
  listen.start();
  measureWhile("listen: waiting for the Newton to call", listen, "Looking for Newton...");
  line.hangUp();
  measureUntilExit("listen: after the line hung up", listen);
}

void connectionWaits(const TempDir& folder) {
  const std::string note = folder.file("todo.txt", "Buy rope\n");
  {
    skiff::test::PtyLine line;
    PtyProcess send({skiff(), "send", "--port", line.device(), note}, folder.path());
    send.start();
    measureWhile("send: waiting for the Newton to call", send, "Looking for Newton...");
  }
  const auto bytes = skiff::test::minimalPackage();
  const std::string package = folder.file("test.pkg", std::string(bytes.begin(), bytes.end()));
  skiff::test::PtyLine line;
  PtyProcess install({skiff(), "install", "--port", line.device(), package}, folder.path());
  install.start();
  measureWhile("install: waiting for the Newton to call", install, "Looking for Newton...");
  // The line hangs up while the command waits for a call: the wait ends with the loss, never spinning.
  line.hangUp();
  measureUntilExit("install: after the line hung up while waiting", install);
}

// skiff COMMAND FILE on a terminal of its own, against a simulated Newton started with `simArgs`; `measure`
// runs while both are up.
void againstNewton(const TempDir& folder, const std::vector<std::string>& simArgs, const char* command,
                   const std::string& file, const std::function<void(PtyProcess&, SimProcess&)>& measure) {
  SimProcess sim(simArgs);
  if (!sim.start()) return;
  PtyProcess run({skiff(), command, "--port", sim.device(), file}, folder.path());
  run.start();
  measure(run, sim);
}

// Once `marker` shows, the Newton's end of the line closes (the line hangs up); then until the command ends.
std::function<void(PtyProcess&, SimProcess&)> hangUpAt(const char* state, const char* marker) {
  return [state, marker](PtyProcess& run, SimProcess& sim) {
    if (!run.waitFor(marker, 60000)) return;
    kill(sim.pid(), SIGKILL);
    measureUntilExit(state, run);
  };
}

std::function<void(PtyProcess&, SimProcess&)> whileShowing(const char* state, const char* marker,
                                                           double longest = 1e9) {
  return [=](PtyProcess& run, SimProcess&) { measureWhile(state, run, marker, longest); };
}

void transferStates(const TempDir& folder) {
  const std::string bitmap = folder.file("sea.bmp", std::string(1200, 'b'));
  const std::string out = folder.path() + "/newton";
  // No reply to the first chunk: the session waits 2 x 30 s for it.
  againstNewton(folder, {"companion", "--out", out, "--no-reply", "12"}, "send", bitmap,
                whileShowing("send: waiting for a silent Newton's reply", "Transferring byte"));
  againstNewton(folder, {"companion", "--out", out}, "send", bitmap,
                whileShowing("send: the closing pause (\"Disconnecting...\")", "Disconnecting...", 4));
  againstNewton(folder, {"--baud", "9600", "companion", "--out", out}, "send",
                folder.file("big.bmp", std::string(30000, 'g')),
                hangUpAt("send: after the line hung up during the data", "Transferring byte"));
  const auto bytes = skiff::test::minimalPackage();
  const std::string package = folder.file("test.pkg", std::string(bytes.begin(), bytes.end()));
  againstNewton(folder, {"dock", "--out", out}, "install", package,
                whileShowing("install: the first closing pause (\"Disconnecting...\")", "Disconnecting...", 2));
  againstNewton(folder, {"dock", "--out", out}, "install", package,
                hangUpAt("install: after the line hung up in the closing pauses", "Disconnecting..."));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) gWindowSeconds = std::max(0.5, std::atof(argv[1]));
  std::printf("processor use of skiff while it waits (budget: under 1 %% of one core in every state)\n");
  TempDir folder;
  listenStates();
  connectionWaits(folder);
  transferStates(folder);
  return 0;
}
