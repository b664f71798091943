// The TCP listener as a pipe's line source. Each caller is heard until its first bytes say what it is (an MNP
// frame: the serial line carried over TCP; "newtdock": raw dock frames), or refused with a notice when they say
// anything else, say nothing within the wait, or the caller hangs up first. A few callers may be heard at once,
// so that one stray connection does not keep a Newton out; while one is served, anyone else is refused at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dil/line_source.h"
#include "dil/tcp_address.h"
#include "dil/tcp_socket.h"

namespace skiff::dil {

class TcpSource final : public LineSource {
 public:
  static constexpr std::size_t kMaxHeard = 4;  // callers heard at once before more are refused

  TcpSource(std::string portName, TcpAddress address, int openingWaitMs, const Notice* notice);
  ~TcpSource() override;

  bool serves(const std::string& portName) const override { return portName == portName_; }
  std::int32_t prepare() override;
  void hangUp() override;
  std::optional<Caller> poll(int maxWaitMs) override;
  void refuseNewcomers() override;
  void dropCaller(CallMissed why) override;
  bool singleLine() const override { return false; }
  std::string listenAddress() const override { return listener_ ? listener_->address() : std::string(); }

 private:
  struct Heard {
    std::unique_ptr<TcpConnection> connection;
    std::vector<std::uint8_t> firstBytes;
    std::int64_t sinceUs;
  };
  class CallerLine;

  void takeNewcomers();
  // One pass over the callers being heard; the one whose first bytes were recognised, else nothing.
  std::optional<Caller> hearAll();
  bool stillHeard(Heard& heard, std::optional<Framing>* framing);  // false: refused and to be dropped
  void say(const std::string& text) const;
  void refuse(TcpConnection& connection, const std::string& why) const;
  std::string waitText() const;

  std::string portName_;
  TcpAddress address_;
  std::int64_t waitUs_;
  const Notice* notice_;
  std::unique_ptr<TcpListener> listener_;
  std::vector<Heard> heard_;
  std::unique_ptr<CallerLine> caller_;
  Framing framing_ = Framing::Mnp;
};

}  // namespace skiff::dil
