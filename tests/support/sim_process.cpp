#include "tests/support/sim_process.h"

#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace skiff::test {

namespace {

// Forks and execs argv with stdout and stderr on fresh pipes; stdin is /dev/null.
pid_t spawn(const std::vector<std::string>& argv, int* outFd, int* errFd) {
  int out[2], err[2];
  if (pipe(out) != 0) return -1;
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    return -1;
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return -1;
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  *outFd = out[0];
  *errFd = err[0];
  return pid;
}

// Moves what is readable from fd into text; closes fd (sets -1) at end of file.
void drain(int& fd, std::string& text) {
  if (fd < 0) return;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      close(fd);
      fd = -1;
    }
    return;
  }
}

// One poll of both pipes for up to waitMs, then drains them.
void pollPipes(int& outFd, int& errFd, std::string& out, std::string& err, int waitMs) {
  pollfd fds[2];
  int n = 0;
  if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
  if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
  if (n == 0) {
    if (waitMs > 0) usleep(static_cast<useconds_t>(std::min(waitMs, 5) * 1000));
    return;
  }
  poll(fds, static_cast<nfds_t>(n), waitMs);
  drain(outFd, out);
  drain(errFd, err);
}

}  // namespace

std::string binDirOr(const char* builtIn) {
  const char* fromEnv = std::getenv("SKIFF_BIN_DIR");
  if (fromEnv != nullptr && *fromEnv != '\0') return fromEnv;
  return builtIn;
}

CommandResult runCommand(const std::vector<std::string>& argv, int timeoutMs) {
  CommandResult result;
  int outFd = -1, errFd = -1;
  pid_t pid = spawn(argv, &outFd, &errFd);
  if (pid < 0) return result;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  bool exited = false;
  while (!exited) {
    pollPipes(outFd, errFd, result.out, result.err, std::min(msLeft(deadline), 20));
    rusage usage{};
    if (wait4(pid, &status, WNOHANG, &usage) == pid) {
      result.cpuSeconds = processorSeconds(usage);
      exited = true;
    } else if (msLeft(deadline) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timedOut = true;
      exited = true;
    }
  }
  // The child is gone; take what is left in the pipes (grandchildren may hold them open, so bounded).
  auto tail = Clock::now() + std::chrono::milliseconds(200);
  while ((outFd >= 0 || errFd >= 0) && msLeft(tail) > 0) pollPipes(outFd, errFd, result.out, result.err, 20);
  if (outFd >= 0) close(outFd);
  if (errFd >= 0) close(errFd);
  result.exitCode = exitCodeOf(status);
  return result;
}

SimProcess::SimProcess(std::vector<std::string> args, std::string program)
    : args_(std::move(args)), program_(std::move(program)) {}

SimProcess::~SimProcess() {
  if (pid_ > 0 && !exitCode_) killAndReap(pid_);
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

bool SimProcess::start(int timeoutMs, bool firstLineIsDevice) {
  std::vector<std::string> argv{program_};
  argv.insert(argv.end(), args_.begin(), args_.end());
  pid_ = spawn(argv, &outFd_, &errFd_);
  if (pid_ < 0 || !firstLineIsDevice) return pid_ > 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto newline = out_.find('\n');
    if (newline != std::string::npos) {
      device_ = out_.substr(0, newline);
      out_.erase(0, newline + 1);
      return !device_.empty();
    }
    if (msLeft(deadline) == 0 || (outFd_ < 0 && errFd_ < 0)) return false;
    collect(std::min(msLeft(deadline), 20));
    int status = 0;
    if (!exitCode_ && waitpid(pid_, &status, WNOHANG) == pid_) exitCode_ = exitCodeOf(status);
    if (exitCode_ && outFd_ < 0) return false;
  }
}

bool SimProcess::waitForError(const std::string& text, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (err_.find(text) == std::string::npos) {
    if (msLeft(deadline) == 0 || errFd_ < 0) return false;
    collect(std::min(msLeft(deadline), 20));
  }
  return true;
}

void SimProcess::collect(int waitMs) { pollPipes(outFd_, errFd_, out_, err_, waitMs); }

std::optional<int> SimProcess::wait(int timeoutMs) {
  if (pid_ <= 0) return std::nullopt;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!exitCode_) {
    collect(std::min(msLeft(deadline), 20));
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exitCode_ = exitCodeOf(status);
    } else if (msLeft(deadline) == 0) {
      return std::nullopt;
    }
  }
  auto tail = Clock::now() + std::chrono::milliseconds(200);
  while ((outFd_ >= 0 || errFd_ >= 0) && msLeft(tail) > 0) collect(20);
  return exitCode_;
}

std::size_t receivedInfoBytes(const std::string& simLog) {
  std::size_t total = 0;
  std::istringstream lines(simLog);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t lt = line.find(" rx LT ");
    const std::size_t length = lt == std::string::npos ? lt : line.find("len=", lt);
    if (length != std::string::npos) total += std::stoul(line.substr(length + 4));
  }
  return total;
}

DesktopLts desktopLts(const std::string& simLog) {
  DesktopLts counts;
  unsigned expected = 1;
  std::istringstream lines(simLog);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t lt = line.find(" rx LT ns=");
    if (lt != std::string::npos) {
      ++counts.sent;
      if (std::stoul(line.substr(lt + 10)) == expected) {
        ++counts.distinct;
        expected = (expected + 1) % 256;
      }
    } else if (line.ends_with(" fault rx-drop") || line.ends_with(" fault rx-corrupt")) {
      ++counts.sent;
    }
  }
  return counts;
}

}  // namespace skiff::test
