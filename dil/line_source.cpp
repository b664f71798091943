#include "dil/line_source.h"

#include "core/link_ops.h"
#include "dil/serial.h"
#include "dil/tcp_address.h"
#include "dil/tcp_source.h"

namespace skiff::dil {

namespace {

class SerialSource final : public LineSource {
 public:
  SerialSource(std::string portName, int baud, SerialOptions options)
      : portName_(std::move(portName)), baud_(baud), options_(options) {}
  // A new configuration opens the port afresh, at its speed.
  bool serves(const std::string&) const override { return false; }
  // A port that failed stays as it is: listening on it then ends as a lost line at once.
  std::int32_t prepare() override {
    if (port_) return code::kOk;
    failure_ = {};
    port_ = openSerialPort(portName_, baud_, &failure_, options_);
    return port_ ? code::kOk : failure_.code;
  }
  void hangUp() override { port_.reset(); }
  std::optional<Caller> poll(int maxWaitMs) override {
    if (!port_) {
      idleWait(maxWaitMs);
      return std::nullopt;
    }
    return Caller{Framing::Mnp, port_.get()};
  }
  void dropCaller(CallMissed) override {}
  bool singleLine() const override { return true; }
  int systemError() const override { return failure_.systemError; }

 private:
  std::string portName_;
  int baud_;
  SerialOptions options_;
  std::unique_ptr<SerialPort> port_;
  PortFailure failure_;  // why the port last failed to open
};

}  // namespace

std::unique_ptr<LineSource> makeLineSource(const std::string& portName, int baud, const SerialOptions& serial,
                                           int openingWaitMs, const Notice* notice) {
  if (!isTcpPort(portName)) return std::make_unique<SerialSource>(portName, baud, serial);
  auto address = parseTcpPort(portName);
  if (!address) return nullptr;
  return std::make_unique<TcpSource>(portName, *address, openingWaitMs, notice);
}

}  // namespace skiff::dil
