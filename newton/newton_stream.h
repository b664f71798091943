// The byte stream a simulated Newton application sees once the MNP link is up: the joined payloads of the
// desktop's LT frames in, and messages out (each message ends its LT frames, as a Newton's applications do).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace skiff::newton {

class NewtonStream {
 public:
  virtual ~NewtonStream() = default;
  // Reads exactly `out.size()` bytes; false on time-out or when the link is gone.
  virtual bool read(std::span<std::uint8_t> out, int timeoutMs) = 0;
  // Reads whatever has arrived, up to out.size(), waiting at most timeoutMs for the first byte; -1 when gone.
  virtual long readSome(std::span<std::uint8_t> out, int timeoutMs) = 0;
  // Sends one message and waits until the desktop has taken it; false when the link is gone.
  virtual bool write(std::span<const std::uint8_t> message) = 0;
  // Sends one message of a stream (a soup's entries): it waits only while much is still unacknowledged, so the
  // line stays busy as a Newton keeps it; false when the link is gone.
  virtual bool post(std::span<const std::uint8_t> message) { return write(message); }
  // Sends an LD and ends the link.
  virtual void disconnect() = 0;
  virtual bool connected() const = 0;
  // Appends one line to the simulator's machine-readable log.
  virtual void log(const std::string& line) = 0;
};

}  // namespace skiff::newton
