#include "newton/paced_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace skiff::newton {

namespace {
constexpr std::int64_t kMaxLateUs = 50'000;  // line time a late wake-up may still claim
constexpr std::size_t kMaxQueued = 1 << 20;
constexpr std::size_t kUsbPacketData = 62;  // an FTDI adapter's 64-byte USB packet less its two status bytes

void makeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &tio);
}
}  // namespace

PacedLine::PacedLine(int fd, int baud) : fd_(fd), baud_(baud) {
  rxClockUs_ = txClockUs_ = nowUs();
}

PacedLine::~PacedLine() {
  for (int waited = 0; waited < 1000 && !(tx_.empty() && held_.empty()) && !failed_; waited += 2) waitReadable(2000);
}

std::size_t PacedLine::allowance(std::int64_t& clockUs) {
  if (baud_ <= 0) return static_cast<std::size_t>(-1);
  std::int64_t now = nowUs();
  clockUs = std::max(clockUs, now - kMaxLateUs);
  return static_cast<std::size_t>((now - clockUs) / byteUs());
}

long PacedLine::readSome(std::span<std::uint8_t> out) {
  if (failed_) return -1;
  pushOut();
  if (baud_ > 0) {
    // While nothing waits the line is quiet and banks no time: the next bytes take their full time from now.
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) == 0 && waiting <= 0) {
      rxClockUs_ = nowUs();
      return 0;
    }
  }
  std::size_t n = std::min(out.size(), allowance(rxClockUs_));
  if (n == 0) return 0;
  ssize_t got = read(fd_, out.data(), n);
  if (got > 0) {
    if (baud_ > 0) rxClockUs_ += got * byteUs();
    return static_cast<long>(got);
  }
  // EIO on a master whose slave is closed for a moment is no failure: the desktop may open it again.
  if (got < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) failed_ = true;
  return failed_ ? -1 : 0;
}

bool PacedLine::writeAll(std::span<const std::uint8_t> bytes) {
  if (failed_ || tx_.size() + bytes.size() > kMaxQueued) return false;
  if (tx_.empty()) txClockUs_ = std::max(txClockUs_, nowUs());  // a quiet line banks no time
  tx_.insert(tx_.end(), bytes.begin(), bytes.end());
  pushOut();
  return !failed_;
}

std::size_t PacedLine::deliver(std::deque<std::uint8_t>& bytes, std::size_t count) {
  std::size_t done = 0;
  while (done < count && !failed_) {
    const std::size_t n = std::min<std::size_t>(count - done, 4096);
    std::uint8_t chunk[4096];
    std::copy_n(bytes.begin(), n, chunk);
    const ssize_t put = write(fd_, chunk, n);
    if (put <= 0) {
      if (put < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) failed_ = true;
      break;
    }
    bytes.erase(bytes.begin(), bytes.begin() + put);
    done += static_cast<std::size_t>(put);
  }
  return done;
}

void PacedLine::pushOut() {
  while (!tx_.empty() && !failed_) {
    // The bytes whose line time has come have crossed the line: to the desktop, or into its adapter.
    const std::size_t n = std::min(tx_.size(), allowance(txClockUs_));
    if (n == 0) break;
    std::size_t crossed = n;
    if (latencyUs_ <= 0) {
      crossed = deliver(tx_, n);
    } else {
      if (held_.empty()) burstAtUs_ = nowUs() + latencyUs_;
      held_.insert(held_.end(), tx_.begin(), tx_.begin() + static_cast<long>(n));
      tx_.erase(tx_.begin(), tx_.begin() + static_cast<long>(n));
    }
    if (baud_ > 0) txClockUs_ += static_cast<std::int64_t>(crossed) * byteUs();
    if (crossed < n) return;  // the descriptor takes no more now
  }
  if (!held_.empty() && (held_.size() >= kUsbPacketData || nowUs() >= burstAtUs_)) {
    deliver(held_, held_.size());
    if (!held_.empty()) burstAtUs_ = nowUs() + latencyUs_;
  }
}

void PacedLine::waitReadable(std::int64_t us) {
  pushOut();
  if (us <= 0) return;
  std::int64_t now = nowUs();
  std::int64_t wait = us;
  // Wake for the next byte of line time when output waits, or when input waits for its line time.
  if (!tx_.empty() && baud_ > 0) wait = std::min(wait, std::max<std::int64_t>(txClockUs_ + byteUs() - now, 50));
  if (!held_.empty()) wait = std::min(wait, std::max<std::int64_t>(burstAtUs_ - now, 50));
  int waiting = 0;
  bool mayRead = allowance(rxClockUs_) > 0 || ioctl(fd_, FIONREAD, &waiting) != 0 || waiting == 0;
  if (!mayRead) wait = std::min(wait, std::max<std::int64_t>(rxClockUs_ + byteUs() - now, 50));
  pollfd fds{fd_, static_cast<short>(mayRead ? POLLIN : 0), 0};
  timespec ts{static_cast<time_t>(wait / 1'000'000), static_cast<long>(wait % 1'000'000) * 1000};
  ppoll(&fds, 1, &ts, nullptr);
  pushOut();
}

int openPseudoTerminal(std::string* slavePath) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return -1;
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    close(master);
    return -1;
  }
  const char* name = ptsname(master);
  if (name == nullptr) {
    close(master);
    return -1;
  }
  *slavePath = name;
  int slave = open(name, O_RDWR | O_NOCTTY);
  if (slave >= 0) makeRaw(slave);  // no echo, no line editing, before any byte crosses; kept open on purpose
  makeRaw(master);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return master;
}

int openDevice(const std::string& path, int baud) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  makeRaw(fd);
  termios tio{};
  if (tcgetattr(fd, &tio) == 0) {
    speed_t speed = baud == 9600 ? B9600 : baud == 19200 ? B19200 : baud == 2400 ? B2400 : baud == 57600 ? B57600
                                                                                      : B38400;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tcsetattr(fd, TCSANOW, &tio);
  }
  return fd;
}

}  // namespace skiff::newton
