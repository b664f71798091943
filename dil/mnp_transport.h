// An MNP endpoint's data phase as the pipe's transport.
#pragma once

#include "dil/mnp_endpoint.h"
#include "dil/transport.h"

namespace skiff::dil {

class MnpTransport final : public Transport {
 public:
  explicit MnpTransport(mnp::Endpoint& endpoint) : link_(endpoint) {}
  void service(int maxWaitMs) override { link_.service(maxWaitMs); }
  bool progressed() const override { return link_.progressed(); }
  bool lost() const override { return link_.down() != mnp::LinkDown::None; }
  bool awaitingAck() const override { return link_.awaitingAck(); }
  bool peerBusy() const override { return link_.peerBusy(); }
  std::size_t available() const override { return link_.available(); }
  std::size_t take(std::span<std::uint8_t> out, bool* endOfMessage) override { return link_.take(out, endOfMessage); }
  void discardInput() override { link_.discardInput(); }
  void queue(std::span<const std::uint8_t> bytes, bool endOfMessage) override { link_.queue(bytes, endOfMessage); }
  void pushOut() override { link_.pushOut(); }
  bool partialPending() const override { return link_.partialPending(); }
  std::uint64_t queuedTotal() const override { return link_.queuedTotal(); }
  std::uint64_t ackedTotal() const override { return link_.ackedTotal(); }
  std::size_t unsent() const override { return link_.unsent(); }

 private:
  mnp::Endpoint& link_;
};

}  // namespace skiff::dil
