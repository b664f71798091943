// The data path under a connected pipe: bytes written are queued, sent and at some point acknowledged; bytes
// received wait until they are read. An MNP link (the serial line, or its bytes carried over TCP) and a raw
// stream (dock frames over TCP, which already delivers in order and whole) both provide it, so the pipe's read,
// write, flush and byte counts hold the same for either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace skiff::dil {

class Transport {
 public:
  virtual ~Transport() = default;

  // Reads and sends what the line allows, runs the timers; waits up to maxWaitMs when nothing happened.
  virtual void service(int maxWaitMs) = 0;
  // Whether the last service pass read, sent or learned anything.
  virtual bool progressed() const = 0;
  // The link is gone: the peer ended it, the line failed, or the peer took nothing for too long.
  virtual bool lost() const = 0;
  // Whether sent bytes wait for the peer (a wait on the line then ends when it answers).
  virtual bool awaitingAck() const = 0;
  // Whether the peer has said it can take nothing now (MNP's credit 0); time it holds the line shut is not the
  // line's fault, so the callers' time-outs do not count it.
  virtual bool peerBusy() const { return false; }

  virtual std::size_t available() const = 0;
  // Moves up to out.size() received bytes; *endOfMessage tells whether the last one ended a message.
  virtual std::size_t take(std::span<std::uint8_t> out, bool* endOfMessage) = 0;
  virtual void discardInput() = 0;

  virtual void queue(std::span<const std::uint8_t> bytes, bool endOfMessage) = 0;
  virtual void pushOut() = 0;               // what is queued goes now, without waiting for more
  virtual bool partialPending() const = 0;  // queued bytes wait for more or a push
  virtual std::uint64_t queuedTotal() const = 0;
  virtual std::uint64_t ackedTotal() const = 0;
  virtual std::size_t unsent() const = 0;
  std::size_t unacknowledged() const { return static_cast<std::size_t>(queuedTotal() - ackedTotal()); }
};

}  // namespace skiff::dil
