#include "dock/frame.h"

#include <algorithm>
#include <cstring>

namespace skiff::dock {

std::array<std::uint8_t, 4> be32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::array<std::uint8_t, kHeaderSize> frameHeader(std::string_view command) {
  std::array<std::uint8_t, kHeaderSize> header{};
  std::memcpy(header.data(), kSignature.data(), kSignature.size());
  for (std::size_t i = 0; i < 4; ++i)
    header[kSignature.size() + i] = i < command.size() ? static_cast<std::uint8_t>(command[i]) : ' ';
  return header;
}

std::vector<std::uint8_t> encodeFrame(std::string_view command, std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> frame;
  frame.reserve(kFrameHeaderSize + data.size() + 3);
  const auto header = frameHeader(command);
  const auto length = be32(static_cast<std::uint32_t>(data.size()));
  frame.insert(frame.end(), header.begin(), header.end());
  frame.insert(frame.end(), length.begin(), length.end());
  frame.insert(frame.end(), data.begin(), data.end());
  frame.insert(frame.end(), padFor(data.size()), 0);
  return frame;
}

std::vector<std::uint8_t> encodeLongFrame(std::string_view command, std::int32_t value) {
  const auto data = be32(static_cast<std::uint32_t>(value));
  return encodeFrame(command, data);
}

bool Cursor::take(std::size_t n) {
  if (failed_ || bytes_.size() - pos_ < n) {
    failed_ = true;
    return false;
  }
  return true;
}

std::uint32_t Cursor::u32() {
  if (!take(4)) return 0;
  const std::uint8_t* p = bytes_.data() + pos_;
  pos_ += 4;
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::uint16_t Cursor::u16() {
  if (!take(2)) return 0;
  const std::uint8_t* p = bytes_.data() + pos_;
  pos_ += 2;
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

std::uint8_t Cursor::u8() {
  if (!take(1)) return 0;
  return bytes_[pos_++];
}

std::string Cursor::text(std::size_t n) {
  if (!take(n)) return {};
  std::string out(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
  pos_ += n;
  return out;
}

void Cursor::skip(std::size_t n) {
  if (take(n)) pos_ += n;
}

void FrameReader::feed(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    switch (stage_) {
      case Stage::Header:
        takeHeaderByte(bytes[i++]);
        break;
      case Stage::Data: {
        const std::uint64_t left = current_.length - dataSeen_;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, bytes.size() - i));
        takeData(bytes.subspan(i, n));
        i += n;
        if (dataSeen_ == current_.length) endData();
        break;
      }
      case Stage::Words:
        takeWordByte(bytes[i++]);
        break;
      case Stage::UntilSignature:
        i += takeUntilSignature(bytes.subspan(i));
        break;
      case Stage::Padding:
        ++i;
        ++current_.padding;
        if (--padLeft_ == 0) finishFrame();
        break;
    }
  }
}

void FrameReader::takeData(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  const std::size_t room = keepLimit_ > current_.data.size() ? keepLimit_ - current_.data.size() : 0;
  const std::size_t kept = std::min(bytes.size(), room);
  current_.data.insert(current_.data.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept));
  if (kept < bytes.size()) current_.cut = true;
  // A frame goes to the sink from its first byte once it is known to be too large to keep whole.
  const bool tooLarge = current_.cut || (current_.length != kUnknownLength && current_.length > keepLimit_);
  if (sink_ != nullptr && tooLarge) {
    if (!sinking_) {
      sinking_ = true;
      sink_->begin(current_.command, current_.length);
      sink_->piece(std::span(current_.data).first(current_.data.size() - kept));  // what was kept before
    }
    sink_->piece(bytes);
  }
  dataSeen_ += bytes.size();
}

void FrameReader::endData() {
  padLeft_ = padFor(dataSeen_);
  if (padLeft_ == 0) finishFrame(); else stage_ = Stage::Padding;
}

void FrameReader::takeWordByte(std::uint8_t byte) {
  const bool second = dataSeen_ % 2 == 1;
  takeData(std::span(&byte, 1));
  if (!second) {
    wordHigh_ = byte;
  } else if ((static_cast<std::uint16_t>(wordHigh_) << 8 | byte) == kIdListEnd) {
    endData();
  }
}

std::size_t FrameReader::takeUntilSignature(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint8_t byte = bytes[i++];
    if (byte == static_cast<std::uint8_t>(kSignature[signatureMatched_])) {
      if (++signatureMatched_ == kSignature.size()) {
        // The next frame has begun: this one's data ended before its signature.
        finishFrame();
        std::memcpy(header_.data(), kSignature.data(), kSignature.size());
        headerFill_ = kSignature.size();
        return i;
      }
      continue;
    }
    // The bytes held as a possible signature were data after all. The held ones are a prefix of the signature.
    const std::size_t held = signatureMatched_;
    signatureMatched_ = 0;
    if (held > 0) takeData(std::span(reinterpret_cast<const std::uint8_t*>(kSignature.data()), held));
    if (byte == static_cast<std::uint8_t>(kSignature[0])) {
      signatureMatched_ = 1;
    } else {
      takeData(std::span(&byte, 1));
    }
  }
  return i;
}

void FrameReader::takeHeaderByte(std::uint8_t byte) {
  header_[headerFill_++] = byte;
  // Keep only a prefix that can still become "newtdock"; drop leading bytes until it does.
  while (headerFill_ > 0) {
    const std::size_t check = std::min(headerFill_, kSignature.size());
    if (std::memcmp(header_.data(), kSignature.data(), check) == 0) break;
    std::memmove(header_.data(), header_.data() + 1, headerFill_ - 1);
    --headerFill_;
    ++skipped_;
  }
  if (headerFill_ < kFrameHeaderSize) return;
  Cursor cursor(header_);
  cursor.skip(kSignature.size());
  current_ = Frame{};
  current_.command = cursor.text(4);
  current_.length = cursor.u32();
  headerFill_ = 0;
  dataSeen_ = 0;
  sinking_ = false;
  signatureMatched_ = 0;
  // Reserve modestly: the length is the peer's word, not yet backed by bytes.
  current_.data.reserve(static_cast<std::size_t>(
      std::min<std::uint64_t>({current_.length, static_cast<std::uint64_t>(keepLimit_), 4096u})));
  if (current_.length == kUnknownLength) {
    stage_ = current_.command == "bids" ? Stage::Words : Stage::UntilSignature;
  } else if (current_.length > 0) {
    stage_ = Stage::Data;
  } else {
    finishFrame();
  }
}

void FrameReader::finishFrame() {
  if (sinking_ && sink_ != nullptr) sink_->end();
  sinking_ = false;
  frames_.push_back(std::move(current_));
  current_ = Frame{};
  dataSeen_ = 0;
  signatureMatched_ = 0;
  stage_ = Stage::Header;
}

Frame FrameReader::next() {
  Frame frame = std::move(frames_.front());
  frames_.pop_front();
  return frame;
}

void FrameReader::abandonFrame() {
  current_ = Frame{};
  dataSeen_ = 0;
  headerFill_ = 0;
  padLeft_ = 0;
  signatureMatched_ = 0;
  if (sinking_ && sink_ != nullptr) sink_->abandoned();
  sinking_ = false;
  stage_ = Stage::Header;
}

}  // namespace skiff::dock
