#include "cli/raw_terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace skiff::cli {

namespace {

// What the handlers need, set before they are installed (they may run at any moment after).
int gFd = -1;
termios gFound{};
termios gRaw{};
volatile std::sig_atomic_t gActive = 0;
std::terminate_handler gPreviousTerminate = nullptr;

// The signals that end the program, interrupt it or stop it, and the handlers they had.
constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTSTP,
                            SIGTTIN, SIGTTOU, SIGCONT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction gPrevious[kSignalCount];

int indexOf(int signal) {
  for (int i = 0; i < kSignalCount; ++i)
    if (kSignals[i] == signal) return i;
  return 0;
}

void restoreFound() {
  if (gActive != 0) tcsetattr(gFd, TCSANOW, &gFound);
}

void onSignal(int signal);

void install(int signal) {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

// Only async-signal-safe calls: tcsetattr, sigaction, raise.
void onSignal(int signal) {
  const int saved = errno;
  if (signal == SIGCONT) {
    // Back from a stop: raw again, and ready for the next stop.
    if (gActive != 0) tcsetattr(gFd, TCSANOW, &gRaw);
    for (const int stop : {SIGTSTP, SIGTTIN, SIGTTOU}) install(stop);
    errno = saved;
    return;
  }
  restoreFound();
  const struct sigaction& previous = gPrevious[indexOf(signal)];
  const bool plainHandler = (previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL &&
                            previous.sa_handler != SIG_IGN;
  if (signal == SIGINT && plainHandler) {
    previous.sa_handler(signal);  // the command line's own Ctrl-C: the keys end, or the program at once
  } else if (signal == SIGTSTP || signal == SIGTTIN || signal == SIGTTOU) {
    struct sigaction standard {};  // the stop itself; SIGCONT brings raw mode back
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
    raise(signal);
  } else {
    sigaction(signal, &previous, nullptr);  // the ending takes the course it would have taken
    raise(signal);
  }
  errno = saved;
}

void onTerminate() {
  restoreFound();
  gActive = 0;
  if (gPreviousTerminate != nullptr) gPreviousTerminate();
  std::abort();
}

void atExit() {
  restoreFound();
  gActive = 0;
}

}  // namespace

bool RawTerminal::enter(int fd, std::string* problem) {
  if (gActive != 0) {
    *problem = "the terminal is raw already";
    return false;
  }
  termios found{};
  if (tcgetattr(fd, &found) != 0) {
    *problem = std::string("the terminal's settings: ") + std::strerror(errno);
    return false;
  }
  termios raw = found;
  cfmakeraw(&raw);
  raw.c_oflag = found.c_oflag;  // what is written still looks as before
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  gFd = fd;
  gFound = found;
  gRaw = raw;
  static const bool registered = std::atexit(atExit) == 0;
  (void)registered;
  gPreviousTerminate = std::set_terminate(onTerminate);
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], nullptr, &gPrevious[i]);
  gActive = 1;
  for (const int signal : kSignals) install(signal);
  if (tcsetattr(fd, TCSANOW, &raw) != 0) {
    *problem = std::string("the terminal will not go raw: ") + std::strerror(errno);
    leave();
    return false;
  }
  return true;
}

void RawTerminal::leave() {
  if (gActive == 0) return;
  restoreFound();
  gActive = 0;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
  std::set_terminate(gPreviousTerminate);
}

}  // namespace skiff::cli
