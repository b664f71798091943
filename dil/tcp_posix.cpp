// POSIX TCP: non-blocking sockets, poll for waiting, no SIGPIPE (MSG_NOSIGNAL).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/link_ops.h"
#include "dil/tcp_socket.h"

namespace skiff::dil {

namespace {

constexpr int kWriteStallMs = 2000;    // a connection that takes nothing of a frame for this long has failed
constexpr int kGentleCloseMs = 500;    // the longest a gentle close waits for the peer to close too
constexpr int kBacklog = 4;
constexpr std::int64_t kAcceptBackoffUs = 100'000;  // after a failed accept (no descriptors left, say)

std::int64_t monotonicUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

timespec asTimespec(std::int64_t us) {
  return timespec{static_cast<time_t>(us / 1'000'000), static_cast<long>(us % 1'000'000) * 1000};
}

void sleepUs(std::int64_t us) {
  if (us <= 0) return;
  const timespec wait = asTimespec(us);
  nanosleep(&wait, nullptr);
}

std::string socketName(const sockaddr* address, socklen_t length) {
  char host[NI_MAXHOST] = "?", service[NI_MAXSERV] = "?";
  getnameinfo(address, length, host, sizeof host, service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
  const bool v6 = std::strchr(host, ':') != nullptr;
  return (v6 ? "[" + std::string(host) + "]" : std::string(host)) + ":" + service;
}

struct Resolved {
  addrinfo* list = nullptr;
  int error = 0;
  ~Resolved() {
    if (list) freeaddrinfo(list);
  }
};

void resolve(const TcpAddress& address, bool passive, Resolved* out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
  const std::string port = std::to_string(address.port);
  out->error = getaddrinfo(address.host.c_str(), port.c_str(), &hints, &out->list);
}

class PosixConnection final : public TcpConnection {
 public:
  PosixConnection(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // frames are small and each waits for an answer
  }
  ~PosixConnection() override {
    if (gentle_ && !failed_) {
      shutdown(fd_, SHUT_WR);
      std::uint8_t sink[512];
      for (const std::int64_t end = monotonicUs() + kGentleCloseMs * 1000; monotonicUs() < end;) {
        const ssize_t n = recv(fd_, sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
        if (n < 0) {
          pollfd fds{fd_, POLLIN, 0};
          poll(&fds, 1, 20);
        }
      }
    }
    close(fd_);
  }

  int descriptor() const { return fd_; }
  const std::string& peer() const override { return peer_; }
  void closeGently() override { gentle_ = true; }

  long readSome(std::span<std::uint8_t> out) override {
    if (failed_) return -1;
    if (out.empty()) return 0;
    const ssize_t n = recv(fd_, out.data(), out.size(), 0);
    if (n > 0) return static_cast<long>(n);
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) failed_ = true;  // closed or reset
    return failed_ ? -1 : 0;
  }

  long writeSome(std::span<const std::uint8_t> bytes) override {
    if (failed_) return -1;
    if (bytes.empty()) return 0;
    const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) failed_ = true;
    return failed_ ? -1 : 0;
  }

  bool writeAll(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    int stalledMs = 0;
    while (done < bytes.size() && !failed_) {
      const long n = writeSome(bytes.subspan(done));
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        stalledMs = 0;
      } else if (n == 0) {
        if (stalledMs >= kWriteStallMs) failed_ = true;
        pollfd fds{fd_, POLLOUT, 0};
        poll(&fds, 1, 10);
        stalledMs += 10;
      }
    }
    return !failed_;
  }

  void waitReadable(std::int64_t us) override { waitFor(us, true, false); }

  void waitFor(std::int64_t us, bool input, bool output) override {
    if (us <= 0) return;
    // A closed connection polls ready at once for ever: the wait takes its whole time instead.
    if (failed_ || (!input && !output)) {
      sleepUs(us);
      return;
    }
    pollfd fds{fd_, static_cast<short>((input ? POLLIN : 0) | (output ? POLLOUT : 0)), 0};
    const timespec wait = asTimespec(us);
    ppoll(&fds, 1, &wait, nullptr);
  }

 private:
  int fd_;
  std::string peer_;
  bool failed_ = false;
  bool gentle_ = false;
};

class PosixListener final : public TcpListener {
 public:
  explicit PosixListener(int fd) : fd_(fd) {}
  ~PosixListener() override { close(fd_); }

  std::unique_ptr<TcpConnection> acceptOne() override {
    if (monotonicUs() < backoffUntilUs_) return nullptr;
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const int fd = accept4(fd_, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) return std::make_unique<PosixConnection>(fd, socketName(reinterpret_cast<sockaddr*>(&from), length));
    // A caller that cannot be taken now (no descriptor left) keeps the socket readable: wait a little before
    // trying again rather than spin on it.
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
      backoffUntilUs_ = monotonicUs() + kAcceptBackoffUs;
    return nullptr;
  }

  std::string address() const override {
    sockaddr_storage own{};
    socklen_t length = sizeof own;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&own), &length) != 0) return "?";
    return socketName(reinterpret_cast<sockaddr*>(&own), length);
  }

  void waitForActivity(std::span<TcpConnection* const> connections, std::int64_t us) override {
    if (us <= 0) return;
    std::vector<pollfd> fds;
    fds.reserve(connections.size() + 1);
    const bool backingOff = monotonicUs() < backoffUntilUs_;
    if (!backingOff) fds.push_back({fd_, POLLIN, 0});
    for (TcpConnection* connection : connections)
      fds.push_back({static_cast<PosixConnection*>(connection)->descriptor(), POLLIN, 0});
    if (backingOff) us = std::min(us, backoffUntilUs_ - monotonicUs() + 1000);
    const timespec wait = asTimespec(us);
    ppoll(fds.data(), fds.size(), &wait, nullptr);
  }

 private:
  int fd_;
  std::int64_t backoffUntilUs_ = 0;
};

// A bound and listening socket, or -1 with errno (or *resolveError) saying why.
int listenOn(const TcpAddress& address, int* resolveError) {
  Resolved resolved;
  resolve(address, true, &resolved);
  *resolveError = resolved.error;
  if (resolved.error != 0) return -1;
  int lastErrno = EADDRNOTAVAIL;
  for (addrinfo* at = resolved.list; at != nullptr; at = at->ai_next) {
    const int fd = socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
    if (fd < 0) {
      lastErrno = errno;
      continue;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);  // a new run right after the last one may bind
    if (bind(fd, at->ai_addr, at->ai_addrlen) == 0 && listen(fd, kBacklog) == 0) return fd;
    lastErrno = errno;
    close(fd);
  }
  errno = lastErrno;
  return -1;
}

}  // namespace

std::unique_ptr<TcpListener> openTcpListener(const TcpAddress& address, std::int32_t* error) {
  int resolveError = 0;
  const int fd = listenOn(address, &resolveError);
  if (fd < 0) {
    *error = resolveError != 0 ? code::kBadParameter : code::kPortUnavailable;
    return nullptr;
  }
  return std::make_unique<PosixListener>(fd);
}

std::string tcpListenProblem(const TcpAddress& address) {
  int resolveError = 0;
  const int fd = listenOn(address, &resolveError);
  if (fd >= 0) {
    close(fd);
    return {};
  }
  if (resolveError != 0) return gai_strerror(resolveError);
  return std::strerror(errno);
}

std::unique_ptr<TcpConnection> connectTcp(const TcpAddress& address, int timeoutMs) {
  Resolved resolved;
  resolve(address, false, &resolved);
  if (resolved.error != 0) return nullptr;
  for (addrinfo* at = resolved.list; at != nullptr; at = at->ai_next) {
    const int fd = socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
    if (fd < 0) continue;
    int failure = 0;
    if (connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
      failure = errno;
      if (failure == EINPROGRESS) {
        pollfd fds{fd, POLLOUT, 0};
        socklen_t length = sizeof failure;
        failure = ETIMEDOUT;
        if (poll(&fds, 1, timeoutMs) > 0) getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length);
      }
    }
    if (failure == 0) return std::make_unique<PosixConnection>(fd, socketName(at->ai_addr, at->ai_addrlen));
    close(fd);
  }
  return nullptr;
}

}  // namespace skiff::dil
