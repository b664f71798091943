// V.42bis data compression for the MNP link, without any I/O: one encoder per direction sending, one decoder per
// direction receiving, each a continuous stream across LT boundaries. Both start in transparent mode with the
// escape character 00; the encoder enters compressed mode (codewords packed least significant bit first) when
// that pays, and flushes at the end of every message so that the peer can decode all of it.
// Memory: the dictionary of the agreed size, allocated once; nothing is allocated per byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dil/v42bis_dictionary.h"

namespace skiff::v42bis {

using Bytes = std::vector<std::uint8_t>;

// Transparent mode: after the escape character.
inline constexpr std::uint8_t kEnterCompressed = 0, kEscapedData = 1, kReset = 2;
// Compressed mode: the control codewords.
inline constexpr std::uint16_t kEnterTransparent = 0, kFlush = 1, kStepUp = 2;
inline constexpr std::uint8_t kEscapeStep = 51;  // the escape character moves on by this after each use
inline constexpr unsigned kFirstCodewordBits = 9;

// The bits a codeword of the agreed size needs at most; the bits `value` needs (9 at least).
unsigned maxCodewordBits(const Params& params);
unsigned bitWidth(std::uint32_t value);

class Encoder {
 public:
  // Automatic: every 64 characters, at the end of a string, the encoder compares what they cost in the mode in
  // use with what they would have cost in the other, and changes mode when that pays. Manual: modes change
  // only through the calls below.
  enum class Choice { Automatic, Manual };
  explicit Encoder(const Params& params, Choice choice = Choice::Automatic);

  // Appends the wire bytes for `input` to `out` (at most a few bytes for each character).
  void encode(std::span<const std::uint8_t> input, Bytes& out);
  void put(std::uint8_t c, Bytes& out);
  // Ends the message: in compressed mode the open string's codeword, FLUSH and zero bits to the octet.
  void flush(Bytes& out);
  // ESC ECM; and the open string's codeword, ETM and zero bits to the octet.
  void enterCompressed(Bytes& out);
  void enterTransparent(Bytes& out);

  bool compressed() const { return compressed_; }
  // Whether bytes taken in are not all on the wire yet (an open string, or bits short of an octet).
  bool holding() const;
  std::uint64_t modeChanges() const { return modeChanges_; }

 private:
  void send(std::uint16_t codeword, Bytes& out);
  void sendBits(std::uint32_t value, unsigned bits, Bytes& out);
  void padToOctet(Bytes& out);
  void chooseMode(Bytes& out);

  Dictionary dictionary_;
  Choice choice_;
  unsigned maxBits_;
  bool compressed_ = false;
  std::uint8_t escape_ = 0;
  unsigned bits_ = kFirstCodewordBits;        // C2
  std::uint32_t threshold_ = 1u << kFirstCodewordBits;  // C3
  std::uint32_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;
  // The compressibility test: what each mode would have cost for the recent characters.
  std::int64_t transparentCost_ = 0, compressedCost_ = 0;
  unsigned sinceTest_ = 0;
  std::uint64_t modeChanges_ = 0;
};

class Decoder {
 public:
  enum class Status { Ok, Failed };
  explicit Decoder(const Params& params);

  // Appends the characters `wire` carries to `out`. At the first error the stream is broken for good: it
  // returns Failed now and ever after, and `out` gets nothing more.
  Status decode(std::span<const std::uint8_t> wire, Bytes& out);
  bool failed() const { return failed_; }
  // The most characters `wireBytes` can carry (on any input): for bounding the receiver.
  std::size_t outputBound(std::size_t wireBytes) const;

  bool compressed() const { return compressed_; }
  std::uint64_t flushes() const { return flushes_; }
  std::uint64_t stepUps() const { return stepUps_; }
  std::uint64_t recycled() const { return dictionary_.recycled(); }

 private:
  bool transparentByte(std::uint8_t byte, Bytes& out);
  bool codeword(std::uint16_t code, Bytes& out);
  void character(std::uint8_t c, Bytes& out);
  void dropPartialOctet() {
    bitBuffer_ >>= bitCount_ % 8;
    bitCount_ -= bitCount_ % 8;
  }

  Dictionary dictionary_;
  Params params_;
  unsigned maxBits_;
  bool compressed_ = false;
  bool failed_ = false;
  bool afterEscape_ = false;
  std::uint8_t escape_ = 0;
  unsigned bits_ = kFirstCodewordBits;
  std::uint32_t threshold_ = 1u << kFirstCodewordBits;
  std::uint32_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;
  std::uint64_t flushes_ = 0, stepUps_ = 0;
  std::array<std::uint8_t, 256> spelled_{};
};

}  // namespace skiff::v42bis
