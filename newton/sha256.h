// SHA-256, for the simulated Newton's log of what it received.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace skiff::newton {

class Sha256 {
 public:
  Sha256();
  void update(std::span<const std::uint8_t> bytes);
  std::array<std::uint8_t, 32> finish();  // the object is spent afterwards

 private:
  void block(const std::uint8_t* p);
  std::array<std::uint32_t, 8> h_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;
};

// Lower-case hex of the digest of `bytes`.
std::string sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace skiff::newton
