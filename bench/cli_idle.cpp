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
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pty_process.h"
#include "tests/support/sample_package.h"
#include "tests/support/sim_process.h"

namespace {

namespace fs = std::filesystem;
using skiff::test::PtyProcess;
using skiff::test::SimProcess;

double gWindowSeconds = 5;

std::string skiff() { return skiff::test::binPath("skiff"); }

struct Folder {
  fs::path path;
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "skiff-idle-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string file(const std::string& name, const std::string& bytes) const {
    std::ofstream((path / name).string(), std::ios::binary) << bytes;
    return (path / name).string();
  }
};

void report(const char* state, double cpu, double wall) {
  if (cpu < 0 || wall <= 0) {
    std::printf("%-62s (not measured)\n", state);
    return;
  }
  std::printf("%-62s %6.2f %% of one core (%.3f s of processor in %.1f s)\n", state, 100.0 * cpu / wall, cpu, wall);
}

// Waits for `marker` in the command's output, then measures the state for the window.
void measureWhile(const char* state, PtyProcess& command, const std::string& marker) {
  if (!command.waitFor(marker, 60000)) {
    std::printf("%-62s (never reached: %s)\n", state, marker.c_str());
    return;
  }
  const double before = skiff::test::runningCpuSeconds(command.pid());
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(gWindowSeconds));
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

void connectionWaits(const Folder& folder) {
  const std::string note = folder.file("todo.txt", "Buy rope\n");
  {
    skiff::test::PtyLine line;
    PtyProcess send({skiff(), "send", "--port", line.device(), note}, folder.path.string());
    send.start();
    measureWhile("send: waiting for the Newton to call", send, "Looking for Newton...");
  }
  const auto bytes = skiff::test::minimalPackage();
  const std::string package = folder.file("test.pkg", std::string(bytes.begin(), bytes.end()));
  skiff::test::PtyLine line;
  PtyProcess install({skiff(), "install", "--port", line.device(), package}, folder.path.string());
  install.start();
  measureWhile("install: waiting for the Newton to call", install, "Looking for Newton...");
  // The line hangs up while the command waits for a call: the wait goes on (the user stops it) without spinning.
  line.hangUp();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  measureWhile("install: waiting for a call on a line that hung up", install, "Looking for Newton...");
}

void transferStates(const Folder& folder) {
  const std::string bitmap = folder.file("sea.bmp", std::string(1200, 'b'));
  {
    // No reply to the first chunk: the session waits 2 x 30 s for it.
    SimProcess sim({"companion", "--out", (folder.path / "silent").string(), "--no-reply", "12"});
    sim.start();
    PtyProcess send({skiff(), "send", "--port", sim.device(), bitmap}, folder.path.string());
    send.start();
    measureWhile("send: waiting for a silent Newton's reply", send, "Transferring byte");
  }
  {
    SimProcess sim({"companion", "--out", (folder.path / "done").string()});
    sim.start();
    PtyProcess send({skiff(), "send", "--port", sim.device(), bitmap}, folder.path.string());
    send.start();
    measureWhile("send: the closing pause (\"Disconnecting...\")", send, "Disconnecting...");
  }
  {
    SimProcess sim({"--baud", "9600", "companion", "--out", (folder.path / "dropped").string()});
    sim.start();
    const std::string big = folder.file("big.bmp", std::string(30000, 'g'));
    PtyProcess send({skiff(), "send", "--port", sim.device(), big}, folder.path.string());
    send.start();
    if (send.waitFor("Transferring byte", 60000)) {
      kill(sim.pid(), SIGKILL);  // the Newton's end of the line closes: the line hangs up
      measureUntilExit("send: after the line hung up during the data", send);
    }
  }
  const auto bytes = skiff::test::minimalPackage();
  const std::string package = folder.file("test.pkg", std::string(bytes.begin(), bytes.end()));
  {
    SimProcess sim({"dock", "--out", (folder.path / "dock").string()});
    sim.start();
    PtyProcess install({skiff(), "install", "--port", sim.device(), package}, folder.path.string());
    install.start();
    measureWhile("install: the closing pauses (\"Disconnecting...\")", install, "Disconnecting...");
  }
  SimProcess sim({"dock", "--out", (folder.path / "dock2").string()});
  sim.start();
  PtyProcess install({skiff(), "install", "--port", sim.device(), package}, folder.path.string());
  install.start();
  if (install.waitFor("Disconnecting...", 60000)) {
    kill(sim.pid(), SIGKILL);
    measureUntilExit("install: after the line hung up in the closing pauses", install);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) gWindowSeconds = std::max(0.5, std::atof(argv[1]));
  std::printf("processor use of skiff while it waits (budget: under 1 %% of one core in every state)\n");
  Folder folder;
  listenStates();
  connectionWaits(folder);
  transferStates(folder);
  return 0;
}
