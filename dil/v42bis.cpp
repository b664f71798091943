#include "dil/v42bis.h"

#include <algorithm>

namespace skiff::v42bis {

namespace {
// The compressibility test looks at the last this many characters; a mode change must save more than it costs
// (the escape and ECM going in, ETM and padding coming back).
constexpr unsigned kTestInterval = 64;
constexpr std::int64_t kSwitchCost = 32;
}  // namespace

unsigned bitWidth(std::uint32_t value) {
  unsigned bits = kFirstCodewordBits;
  while ((1u << bits) <= value) ++bits;
  return bits;
}

unsigned maxCodewordBits(const Params& params) { return bitWidth(params.codewords - 1u); }

// --- encoder ----------------------------------------------------------------------------------------------------

Encoder::Encoder(const Params& params, Choice choice)
    : dictionary_(params), choice_(choice), maxBits_(maxCodewordBits(params)) {}

bool Encoder::holding() const { return compressed_ && (dictionary_.stringOpen() || bitCount_ > 0); }

void Encoder::encode(std::span<const std::uint8_t> input, Bytes& out) {
  for (std::uint8_t c : input) put(c, out);
}

void Encoder::put(std::uint8_t c, Bytes& out) {
  const bool isEscape = c == escape_;
  if (const std::uint16_t complete = dictionary_.match(c); complete != 0) {
    if (compressed_) send(complete, out);
    compressedCost_ += std::max(bits_, bitWidth(complete));
    if (choice_ == Choice::Automatic && sinceTest_ >= kTestInterval) chooseMode(out);
  }
  if (!compressed_) {
    out.push_back(c);
    if (isEscape) out.push_back(kEscapedData);
  }
  if (isEscape) escape_ = static_cast<std::uint8_t>(escape_ + kEscapeStep);  // in both modes
  transparentCost_ += isEscape ? 16 : 8;
  ++sinceTest_;
}

// At the end of a string, after each kTestInterval characters: what those characters cost in the mode in use
// and would have cost in the other. The mode changes when the other saves more than the change costs. The
// string just ended is on the wire (as characters or its codeword); the next one starts in the new mode.
void Encoder::chooseMode(Bytes& out) {
  if (!compressed_ && compressedCost_ + kSwitchCost < transparentCost_) {
    out.push_back(escape_);
    out.push_back(kEnterCompressed);
    compressed_ = true;
    ++modeChanges_;
  } else if (compressed_ && transparentCost_ + kSwitchCost < compressedCost_) {
    send(kEnterTransparent, out);
    padToOctet(out);
    compressed_ = false;
    ++modeChanges_;
  }
  sinceTest_ = 0;
  transparentCost_ = compressedCost_ = 0;
}

void Encoder::flush(Bytes& out) {
  if (!compressed_) {
    // The characters are on the wire already; in compressed mode this flush would have cost the open string's
    // codeword early, FLUSH and the padding.
    compressedCost_ += 2 * bits_ + 4;
    return;
  }
  const std::uint16_t open = dictionary_.endString();
  if (open == 0 && bitCount_ == 0) return;
  if (open != 0) send(open, out);
  compressedCost_ += (open != 0 ? bits_ : 0) + bits_ + (8 - (bitCount_ + bits_) % 8) % 8;
  // Many short messages make compressed mode dear: the test may end it here, ETM flushing as well.
  if (choice_ == Choice::Automatic && sinceTest_ >= kTestInterval) chooseMode(out);
  if (!compressed_) return;
  send(kFlush, out);
  padToOctet(out);
}

void Encoder::enterCompressed(Bytes& out) {
  if (compressed_) return;
  dictionary_.endString();  // its characters went out as they were
  out.push_back(escape_);
  out.push_back(kEnterCompressed);
  compressed_ = true;
  ++modeChanges_;
}

void Encoder::enterTransparent(Bytes& out) {
  if (!compressed_) return;
  if (const std::uint16_t open = dictionary_.endString(); open != 0) send(open, out);
  send(kEnterTransparent, out);
  padToOctet(out);
  compressed_ = false;
  ++modeChanges_;
}

void Encoder::send(std::uint16_t codeword, Bytes& out) {
  while (codeword >= threshold_ && bits_ < maxBits_) {
    sendBits(kStepUp, bits_, out);
    ++bits_;
    threshold_ <<= 1;
  }
  sendBits(codeword, bits_, out);
}

void Encoder::sendBits(std::uint32_t value, unsigned bits, Bytes& out) {
  bitBuffer_ |= value << bitCount_;
  bitCount_ += bits;
  while (bitCount_ >= 8) {
    out.push_back(static_cast<std::uint8_t>(bitBuffer_));
    bitBuffer_ >>= 8;
    bitCount_ -= 8;
  }
}

void Encoder::padToOctet(Bytes& out) {
  if (bitCount_ > 0) out.push_back(static_cast<std::uint8_t>(bitBuffer_));
  bitBuffer_ = 0;
  bitCount_ = 0;
}

// --- decoder ----------------------------------------------------------------------------------------------------

Decoder::Decoder(const Params& params) : dictionary_(params), params_(params), maxBits_(maxCodewordBits(params)) {}

std::size_t Decoder::outputBound(std::size_t wireBytes) const {
  // Each codeword spells at most maxString characters; the bits held over from before make one more.
  return (wireBytes * 8 / kFirstCodewordBits + 1) * params_.maxString + wireBytes;
}

Decoder::Status Decoder::decode(std::span<const std::uint8_t> wire, Bytes& out) {
  for (std::uint8_t byte : wire) {
    if (failed_) break;
    if (!compressed_) {
      failed_ = !transparentByte(byte, out);
      continue;
    }
    bitBuffer_ |= static_cast<std::uint32_t>(byte) << bitCount_;
    bitCount_ += 8;
    while (compressed_ && !failed_ && bitCount_ >= bits_) {
      const auto code = static_cast<std::uint16_t>(bitBuffer_ & ((1u << bits_) - 1));
      bitBuffer_ >>= bits_;
      bitCount_ -= bits_;
      failed_ = !codeword(code, out);
    }
  }
  return failed_ ? Status::Failed : Status::Ok;
}

bool Decoder::transparentByte(std::uint8_t byte, Bytes& out) {
  if (!afterEscape_) {
    if (byte == escape_) {
      afterEscape_ = true;
    } else {
      character(byte, out);
    }
    return true;
  }
  afterEscape_ = false;
  switch (byte) {
    case kEnterCompressed:
      dictionary_.endString();
      compressed_ = true;
      bitBuffer_ = 0;
      bitCount_ = 0;
      return true;
    case kEscapedData:
      character(escape_, out);
      return true;
    case kReset:
      dictionary_.reset();
      bits_ = kFirstCodewordBits;
      threshold_ = 1u << kFirstCodewordBits;
      return true;
    default:
      return false;  // no such command
  }
}

// A character of the stream: delivered, and in transparent mode matched as the encoder matched it.
void Decoder::character(std::uint8_t c, Bytes& out) {
  if (!compressed_) dictionary_.match(c);
  out.push_back(c);
  if (c == escape_) escape_ = static_cast<std::uint8_t>(escape_ + kEscapeStep);
}

bool Decoder::codeword(std::uint16_t code, Bytes& out) {
  switch (code) {
    case kEnterTransparent:
      dropPartialOctet();
          compressed_ = false;
      return true;
    case kFlush:
      dropPartialOctet();
      ++flushes_;
      return true;
    case kStepUp:
      if (bits_ >= maxBits_) return false;
      ++bits_;
      threshold_ <<= 1;
      ++stepUps_;
      return true;
    default:
      break;
  }
  if (!dictionary_.names(code)) return false;
  const std::size_t n = dictionary_.spell(code, spelled_);
  if (!dictionary_.learnFrom(code)) return false;
  for (std::size_t i = 0; i < n; ++i) character(spelled_[i], out);
  return true;
}

}  // namespace skiff::v42bis
