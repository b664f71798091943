// Child processes for end-to-end tests: the simulated Newton (which prints its device path first) and any other
// command run with a deadline. Every wait has a deadline; a child still running is killed in the destructor.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace skiff::test {

// The build directory holding skiff and newton-sim: $SKIFF_BIN_DIR at run time, else the compile-time value.
std::string binDirOr(const char* builtIn);
inline std::string binDir() {
#ifdef SKIFF_BIN_DIR
  return binDirOr(SKIFF_BIN_DIR);
#else
  return binDirOr("");
#endif
}
inline std::string binPath(const std::string& program) { return binDir() + "/" + program; }

struct CommandResult {
  int exitCode = -1;       // the exit status, 128 + signal when killed by a signal
  bool timedOut = false;   // the deadline ran out and the command was killed
  std::string out;         // everything it wrote to stdout
  std::string err;         // everything it wrote to stderr
  double cpuSeconds = 0;   // processor time (user and system) it used
};

// Runs argv[0] (a path) with the arguments, captures stdout and stderr, kills it at the deadline.
CommandResult runCommand(const std::vector<std::string>& argv, int timeoutMs);

// The info bytes of the LTs newton-sim's log (--log) says it received, repeats included: the desktop's bytes
// on the wire.
std::size_t receivedInfoBytes(const std::string& simLog);

// The desktop's LTs as newton-sim's log (--log) tells them: every one that reached the Newton (taken, or lost or
// broken by --drop and --corrupt), and the distinct ones (each next N(S) taken in order). The few LAs the desktop
// sends for the Newton's own frames count as sent too.
struct DesktopLts {
  std::size_t sent = 0;
  std::size_t distinct = 0;
};
DesktopLts desktopLts(const std::string& simLog);

class SimProcess {
 public:
  // Arguments after "newton-sim", e.g. {"--seed", "7", "echo"}. Nothing runs before start().
  explicit SimProcess(std::vector<std::string> args, std::string program = binPath("newton-sim"));
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts the simulator and reads its first line (the device path). False when it did not come in time.
  // Without `firstLineIsDevice` any program is started and nothing is waited for.
  bool start(int timeoutMs = 10000, bool firstLineIsDevice = true);
  // Collects output until stderr holds `text`; false when the deadline ran out or the program ended first.
  bool waitForError(const std::string& text, int timeoutMs);
  const std::string& device() const { return device_; }
  // Waits for the exit; the exit code (128 + signal when signalled), or nothing when the deadline ran out.
  std::optional<int> wait(int timeoutMs);
  // Stdout after the first line, and stderr, as far as collected so far (complete once wait() returned).
  const std::string& output() const { return out_; }
  const std::string& errors() const { return err_; }
  pid_t pid() const { return pid_; }

 private:
  void collect(int waitMs);

  std::vector<std::string> args_;
  std::string program_;
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string device_;
  std::string out_;
  std::string err_;
  std::optional<int> exitCode_;
};

}  // namespace skiff::test
