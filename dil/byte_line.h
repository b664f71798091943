// The line as the link sees it: non-blocking reads, whole writes, a bounded wait for input, and a clock. The
// desktop's serial ports, its TCP connections and the simulated Newton's paced pseudo-terminal implement it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace skiff::mnp {

class ByteLine {
 public:
  virtual ~ByteLine() = default;
  // Bytes that have arrived, up to out.size(), without waiting; 0 when none, -1 when the line failed.
  virtual long readSome(std::span<std::uint8_t> out) = 0;
  // Hands all bytes to the line; false when the line failed.
  virtual bool writeAll(std::span<const std::uint8_t> bytes) = 0;
  // Waits up to us microseconds for input (or, on Windows, a window message); returns early when something came.
  virtual void waitReadable(std::int64_t us) = 0;
  // Hands over as many bytes as the line takes now, without waiting; -1 when the line failed. Lines that only
  // write whole take them all.
  virtual long writeSome(std::span<const std::uint8_t> bytes) {
    return writeAll(bytes) ? static_cast<long>(bytes.size()) : -1;
  }
  // Waits up to us microseconds for input (when `input`) or room for output (when `output`); neither: sleeps.
  // Lines that cannot wait for room wait for input either way.
  virtual void waitFor(std::int64_t us, bool input, bool output) {
    (void)input;
    (void)output;
    waitReadable(us);
  }
  // Bytes written but not yet on the wire, when the platform can tell; 0 otherwise.
  virtual std::size_t outputQueued() { return 0; }
  virtual std::int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace skiff::mnp
