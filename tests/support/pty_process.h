// A command run on a pseudo-terminal of its own, as a user runs it in a terminal window: its standard input,
// output and error are the terminal, it is the terminal's foreground process, and typing Ctrl-C there sends it
// SIGINT. Its output is collected as it comes; every wait has a deadline; a child still running at the end is
// killed.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace skiff::test {

class PtyProcess {
 public:
  // argv[0] is a path; the command runs in `directory` (empty: the current one).
  explicit PtyProcess(std::vector<std::string> argv, std::string directory = "");
  ~PtyProcess();
  PtyProcess(const PtyProcess&) = delete;
  PtyProcess& operator=(const PtyProcess&) = delete;

  bool start();
  // Collects output until `text` has appeared in it; false when the deadline ran out or the command ended first.
  bool waitFor(const std::string& text, int timeoutMs);
  // Bytes typed at the terminal ("\x03" is Ctrl-C).
  void type(const std::string& bytes);
  // Waits for the exit and collects the rest of the output: the exit code (128 + signal when signalled), or
  // nothing when the deadline ran out.
  std::optional<int> wait(int timeoutMs);
  // Everything the command wrote, as the terminal passed it on (line ends arrive as CR LF).
  const std::string& output() const { return output_; }
  pid_t pid() const { return pid_; }
  // Processor time (user and system) of the command, once it has exited.
  double cpuSeconds() const { return cpuSeconds_; }

 private:
  void collect(int waitMs);
  bool reap();  // true once the command has exited

  std::vector<std::string> argv_;
  std::string directory_;
  pid_t pid_ = -1;
  int master_ = -1;
  std::string output_;
  std::optional<int> exitCode_;
  double cpuSeconds_ = 0;
};

// A pseudo-terminal as a serial line nobody calls on: the desktop opens `device()`; hangUp() closes this end,
// as a Newton's cable pulled out or the other program ending would. Not inherited by child processes.
class PtyLine {
 public:
  PtyLine();
  ~PtyLine() { hangUp(); }
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;
  const std::string& device() const { return device_; }
  void hangUp();

 private:
  int master_ = -1;
  std::string device_;
};

// Processor time (user and system) a running process has used so far, from /proc; -1 when it cannot be read.
double runningCpuSeconds(pid_t pid);

}  // namespace skiff::test
