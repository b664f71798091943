#include "tests/support/pty_process.h"

#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>

namespace skiff::test {

PtyProcess::PtyProcess(std::vector<std::string> argv, std::string directory)
    : argv_(std::move(argv)), directory_(std::move(directory)) {}

PtyProcess::~PtyProcess() {
  if (pid_ > 0 && !exitCode_) killAndReap(pid_);
  if (master_ >= 0) close(master_);
}

bool PtyProcess::start() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
  const std::string slave = ptsname(master_);
  std::vector<char*> args;
  for (const auto& a : argv_) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    // A session of its own whose controlling terminal is the new one: Ctrl-C typed there reaches it.
    setsid();
    const int fd = open(slave.c_str(), O_RDWR);
    if (fd < 0) _exit(127);
    ioctl(fd, TIOCSCTTY, 0);
    dup2(fd, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    if (fd > 2) close(fd);
    if (!directory_.empty() && chdir(directory_.c_str()) != 0) _exit(127);
    signal(SIGINT, SIG_DFL);
    execv(args[0], args.data());
    _exit(127);
  }
  if (pid_ < 0) return false;
  fcntl(master_, F_SETFL, O_NONBLOCK);
  return true;
}

void PtyProcess::collect(int waitMs) {
  pollfd fds{master_, POLLIN, 0};
  poll(&fds, 1, waitMs);
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return;  // nothing now, or the terminal hung up (EIO) once the command ended
    output_.append(buffer, static_cast<std::size_t>(n));
  }
}

bool PtyProcess::reap() {
  if (exitCode_) return true;
  int status = 0;
  rusage usage{};
  if (wait4(pid_, &status, WNOHANG, &usage) != pid_) return false;
  cpuSeconds_ = processorSeconds(usage);
  exitCode_ = exitCodeOf(status);
  collect(0);
  return true;
}

bool PtyProcess::waitFor(const std::string& text, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (output_.find(text) == std::string::npos) {
    if (msLeft(deadline) == 0 || reap()) return output_.find(text) != std::string::npos;
    collect(std::min(msLeft(deadline), 20));
  }
  return true;
}

void PtyProcess::type(const std::string& bytes) {
  if (write(master_, bytes.data(), bytes.size()) < 0) return;
}

std::optional<int> PtyProcess::wait(int timeoutMs) {
  if (pid_ <= 0) return std::nullopt;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!reap()) {
    if (msLeft(deadline) == 0) return std::nullopt;
    collect(std::min(msLeft(deadline), 20));
  }
  return exitCode_;
}

PtyLine::PtyLine() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) device_ = ptsname(master_);
}

void PtyLine::hangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

double runningCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The name in parentheses may hold spaces: the fields are counted from its closing parenthesis.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 14) utime = std::stoll(field);
    if (index == 15) {
      stime = std::stoll(field);
      return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
  }
  return -1;
}

}  // namespace skiff::test
