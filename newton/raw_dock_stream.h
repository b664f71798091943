// A Newton docking over the network: its Dock connects to the desktop over TCP and sends dock frames as they
// are, without MNP (TCP already delivers in order and whole). The application roles see the same stream as
// over an MNP link.
#pragma once

#include <cstdio>

#include "dil/raw_transport.h"
#include "newton/newton_stream.h"

namespace skiff::newton {

class RawDockStream final : public NewtonStream {
 public:
  RawDockStream(mnp::ByteLine& line, std::FILE* log);

  bool read(std::span<std::uint8_t> out, int timeoutMs) override;
  long readSome(std::span<std::uint8_t> out, int timeoutMs) override;
  bool write(std::span<const std::uint8_t> message) override;
  void disconnect() override { closed_ = true; }  // the connection is closed when the call ends
  bool connected() const override { return !closed_ && !stream_.lost(); }
  void log(const std::string& line) override;

 private:
  // Services the stream until `done` or the link is gone, for at most timeoutMs; whether `done` came true.
  template <class Done>
  bool serviceUntil(Done done, int timeoutMs);

  mnp::ByteLine& line_;
  dil::RawTransport stream_;
  std::FILE* log_;
  std::int64_t startUs_;
  bool closed_ = false;
};

}  // namespace skiff::newton
