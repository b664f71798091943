// POSIX serial port: termios raw 8N1, non-blocking descriptor, poll for waiting.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if __has_include(<linux/serial.h>)
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "core/link_ops.h"
#include "dil/serial.h"

namespace skiff::dil {

namespace {

constexpr int kWriteStallMs = 2000;  // a line that takes nothing for this long has failed

speed_t speedFor(int baud) {
  struct Entry {
    int baud;
    speed_t speed;
  };
  static const Entry table[] = {
      {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
      {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
      {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
#ifdef B57600
      {57600, B57600},
#endif
#ifdef B115200
      {115200, B115200},
#endif
#ifdef B230400
      {230400, B230400},
#endif
#ifdef B460800
      {460800, B460800},
#endif
#ifdef B921600
      {921600, B921600},
#endif
#ifdef B1000000
      {1000000, B1000000},
#endif
#ifdef B2000000
      {2000000, B2000000},
#endif
#ifdef B4000000
      {4000000, B4000000},
#endif
  };
  for (const auto& entry : table)
    if (entry.baud == baud) return entry.speed;
  return B0;
}

class PosixPort final : public SerialPort {
 public:
  PosixPort(int fd, int baud) : fd_(fd), baud_(baud) {}
  ~PosixPort() override {
    // Let the last frame (an LD) leave, but never hang on a line that does not drain.
    for (int waited = 0; waited < 500 && !failed_ && outputQueued() > 0; waited += 5) usleep(5000);
    close(fd_);
  }

  long readSome(std::span<std::uint8_t> out) override {
    if (failed_) return -1;
    ssize_t n = read(fd_, out.data(), out.size());
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno != EAGAIN && errno != EINTR) failed_ = true;  // EIO: the device went away
    if (hungUp_) failed_ = true;  // what came before the hang-up has been read
    return failed_ ? -1 : 0;
  }

  bool writeAll(std::span<const std::uint8_t> bytes) override {
    const std::int64_t now = nowUs();
    onTheWireUntilUs_ = std::max(onTheWireUntilUs_, now) + static_cast<std::int64_t>(bytes.size()) * 10'000'000 / baud_;
    std::size_t done = 0;
    int stalledMs = 0;
    while (done < bytes.size() && !failed_) {
      ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        stalledMs = 0;
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        failed_ = true;
      } else {
        if (stalledMs >= kWriteStallMs) failed_ = true;
        pollfd fds{fd_, POLLOUT, 0};
        poll(&fds, 1, 10);
        stalledMs += 10;
      }
    }
    return !failed_;
  }

  void waitReadable(std::int64_t us) override {
    if (us <= 0) return;
    timespec wait{static_cast<time_t>(us / 1'000'000), static_cast<long>(us % 1'000'000) * 1000};
    // A failed or hung-up line polls ready at once for ever: the wait takes its whole time instead, so that a
    // caller idling a dead link does not spin.
    if (failed_ || hungUp_) {
      nanosleep(&wait, nullptr);
      return;
    }
    pollfd fds{fd_, POLLIN, 0};
    // A hang-up (the other end closed, an adapter pulled): note it, so that the next read reports the failure
    // instead of nothing.
    if (ppoll(&fds, 1, &wait, nullptr) > 0 && (fds.revents & (POLLHUP | POLLERR | POLLNVAL))) hungUp_ = true;
  }

  // What the driver still holds, or what the line cannot have carried yet at its speed, whichever is more: a
  // pseudo-terminal, or a USB adapter with a buffer of its own, says "empty" while the bytes are still on their
  // way, and the link would put a whole window into that buffer, ahead of any go-back.
  std::size_t outputQueued() override {
    const std::int64_t leftUs = onTheWireUntilUs_ - nowUs();
    const std::size_t byClock = leftUs > 0 ? static_cast<std::size_t>(leftUs * baud_ / 10'000'000) + 1 : 0;
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) return byClock;
    return std::max(byClock, static_cast<std::size_t>(queued));
  }

 private:
  int fd_;
  int baud_;
  std::int64_t onTheWireUntilUs_ = 0;  // when the last byte written has left the line, at the port's speed
  bool failed_ = false;
  bool hungUp_ = false;
};

// A USB-serial adapter holds received bytes up to its latency timer (16 ms on FTDI chips), and at window 1
// every LT waits for an LA: ask the driver to hand bytes on at once. Best effort: a port that refuses (a
// pseudo-terminal, a driver without the flag, a user without the right) works as it is.
void askForLowLatency(int fd) {
#if defined(TIOCGSERIAL) && defined(TIOCSSERIAL) && defined(ASYNC_LOW_LATENCY)
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &serial);
#else
  (void)fd;
#endif
}

}  // namespace

bool baudSupported(int baud) { return baud > 0 && speedFor(baud) != B0; }

void idleWait(int ms) {
  if (ms > 0) usleep(static_cast<useconds_t>(ms) * 1000);
}

std::string systemPortName(std::string_view portName) {
  if (portName.size() >= 4 && portName.size() <= 6 && portName.substr(0, 3) == "COM") {
    int number = 0;
    for (char c : portName.substr(3)) {
      if (c < '0' || c > '9') return std::string(portName);
      number = number * 10 + (c - '0');
    }
    if (number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  }
  return std::string(portName);
}

std::unique_ptr<SerialPort> openSerialPort(std::string_view portName, int baud, PortFailure* failure,
                                           const SerialOptions& options) {
  speed_t speed = speedFor(baud);
  if (speed == B0) {
    *failure = {code::kBadParameter, 0};
    return nullptr;
  }
  std::string path = systemPortName(portName);
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *failure = {code::kPortUnavailable, errno};
    return nullptr;
  }
  // Fails with the system's error, the port closed.
  auto unavailable = [&](int systemError) {
    close(fd);
    *failure = {code::kPortUnavailable, systemError};
    return nullptr;
  };
  termios tio{};
  // Another program holding the port (advisory lock) or a descriptor that is no terminal: unavailable.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return unavailable(errno == EWOULDBLOCK ? EBUSY : errno);
  if (tcgetattr(fd, &tio) != 0) return unavailable(errno);
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
  tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  if (options.hardwareFlowControl) tio.c_cflag |= CRTSCTS;
#else
  if (options.hardwareFlowControl) {
    close(fd);
    *failure = {code::kBadParameter, 0};  // this system's terminals have no RTS/CTS handshake
    return nullptr;
  }
#endif
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return unavailable(errno);
  askForLowLatency(fd);
  tcflush(fd, TCIOFLUSH);
  return std::make_unique<PosixPort>(fd, baud);
}

}  // namespace skiff::dil
