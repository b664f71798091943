// TCP for the link: a listening socket and its connections, one backend per OS (tcp_posix.cpp; tcp_win32.cpp
// refuses, since the Windows program keeps its serial ports). Non-blocking throughout; every wait is bounded.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "dil/byte_line.h"
#include "dil/tcp_address.h"

namespace skiff::dil {

// One connection as a line. A read after the peer closed reports the failure (-1) once what it sent is read.
class TcpConnection : public mnp::ByteLine {
 public:
  // Where the other end is, "127.0.0.1:40312".
  virtual const std::string& peer() const = 0;
  // Closing then lets the last bytes reach the peer: the sending side is shut first, and what the peer still
  // sends is read and dropped until it closes too (at most half a second), so that nothing unread turns the
  // close into a reset that could lose them. Without it the connection is simply closed (a refusal).
  virtual void closeGently() = 0;
};

class TcpListener {
 public:
  virtual ~TcpListener() = default;
  // A caller that is waiting, taken without waiting; none when nobody waits.
  virtual std::unique_ptr<TcpConnection> acceptOne() = 0;
  // The address it listens on, with the port the system chose for port 0: "127.0.0.1:3679".
  virtual std::string address() const = 0;
  // Waits up to us microseconds for a new caller or for input on one of `connections` (taken from this listener).
  virtual void waitForActivity(std::span<TcpConnection* const> connections, std::int64_t us) = 0;
};

// Listens on the address. Nothing when it cannot; *error is then -97 (the address is in use or not this
// machine's), -28706 (a host that does not resolve) or -28102 (no TCP in this program).
std::unique_ptr<TcpListener> openTcpListener(const TcpAddress& address, std::int32_t* error);
// Why listening on the address fails, in the system's words ("Address already in use"); empty when it works now.
std::string tcpListenProblem(const TcpAddress& address);

// Connects to a listener, waiting up to timeoutMs; nothing when it cannot. The simulated Newton's end.
std::unique_ptr<TcpConnection> connectTcp(const TcpAddress& address, int timeoutMs);

}  // namespace skiff::dil
