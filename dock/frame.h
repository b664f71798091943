// Dock frames: "newtdock", a four-letter command, a big-endian data length, the data, and zero padding to a
// four-byte boundary. Pure encoding and parsing; no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <deque>
#include <vector>

namespace skiff::dock {

inline constexpr std::string_view kSignature = "newtdock";
inline constexpr std::size_t kHeaderSize = 12;       // signature and command, as the desktop writes them
inline constexpr std::size_t kFrameHeaderSize = 16;  // signature, command and length

// The zero bytes that follow `length` data bytes on the wire.
constexpr std::size_t padFor(std::uint64_t length) { return static_cast<std::size_t>((4 - length % 4) % 4); }

std::array<std::uint8_t, 4> be32(std::uint32_t value);
// "newtdock" followed by the four letters of `command`.
std::array<std::uint8_t, kHeaderSize> frameHeader(std::string_view command);
// A whole frame: header, length, data, padding.
std::vector<std::uint8_t> encodeFrame(std::string_view command, std::span<const std::uint8_t> data);
std::vector<std::uint8_t> encodeLongFrame(std::string_view command, std::int32_t value);

// Reads big-endian fields from a buffer. A read past the end sets the error, which sticks: every later read
// gives zero, so a parser reads all its fields and checks ok() once.
class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint32_t u32();
  std::uint16_t u16();
  std::uint8_t u8();
  std::string text(std::size_t n);  // n bytes as characters
  void skip(std::size_t n);
  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return failed_ ? 0 : bytes_.size() - pos_; }
  bool ok() const { return !failed_; }

 private:
  bool take(std::size_t n);
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

struct Frame {
  std::string command;              // four letters
  std::uint32_t length = 0;         // the data length the frame announced (kUnknownLength: "bids")
  std::vector<std::uint8_t> data;   // the data, or its first bytes when the frame was larger than the reader keeps
  std::size_t padding = 0;          // pad bytes that followed the data
  bool cut = false;                 // data holds only the first bytes; the rest was dropped or went to the sink
};

// The length word of a frame whose end is found in its data: the Newton's "bids" lists entry IDs as 16-bit words
// ending with 8000 (the Dante Connection Protocol ERS). Any other frame with this length ends where the next
// "newtdock" begins.
inline constexpr std::uint32_t kUnknownLength = 0xFFFFFFFF;
inline constexpr std::uint16_t kIdListEnd = 0x8000;

// Where the data of a frame too large to keep whole goes, piece by piece as it arrives (an entry that holds a
// package, say). The frame itself is still delivered at its end, with the first bytes and `cut` set.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void begin(const std::string& command, std::uint32_t length) = 0;
  virtual void piece(std::span<const std::uint8_t> bytes) = 0;
  virtual void end() = 0;
  virtual void abandoned() {}  // the frame in progress was given up (a cancel); no end follows
};

// Takes a byte stream in any pieces (frames split over reads or several in one) and hands back whole frames.
// Bytes that do not start a frame are skipped until the next "newtdock". A frame's data is kept whole up to
// `keepLimit` bytes; of a larger one the first keepLimit bytes are kept and the whole data goes to the sink, if
// there is one. Memory stays bounded whatever the peer sends or announces.
class FrameReader {
 public:
  explicit FrameReader(std::size_t keepLimit) : keepLimit_(keepLimit) {}
  void setSink(FrameSink* sink) { sink_ = sink; }  // may be null
  // Consumes all of `bytes`; complete frames are queued for next().
  void feed(std::span<const std::uint8_t> bytes);
  bool hasFrame() const { return !frames_.empty(); }
  Frame next();  // the oldest complete frame; call only when hasFrame()
  // Forgets a frame in progress and hunts for the next signature (after the peer abandoned a frame).
  void abandonFrame();
  bool inFrame() const { return stage_ != Stage::Header; }
  const std::string& currentCommand() const { return current_.command; }
  std::uint32_t currentLength() const { return current_.length; }  // the data length of the frame in progress
  std::uint64_t currentDataReceived() const { return dataSeen_; }
  std::uint64_t skippedBytes() const { return skipped_; }

 private:
  enum class Stage { Header, Data, Words, UntilSignature, Padding };
  void takeHeaderByte(std::uint8_t byte);
  void takeData(std::span<const std::uint8_t> bytes);
  void endData();
  void finishFrame();
  // Unknown-length frames: one byte of an ID list, or of data that runs until the next signature.
  void takeWordByte(std::uint8_t byte);
  std::size_t takeUntilSignature(std::span<const std::uint8_t> bytes);

  std::size_t keepLimit_;
  FrameSink* sink_ = nullptr;
  bool sinking_ = false;
  Stage stage_ = Stage::Header;
  std::array<std::uint8_t, kFrameHeaderSize> header_{};
  std::size_t headerFill_ = 0;
  Frame current_;
  std::uint64_t dataSeen_ = 0;
  std::size_t padLeft_ = 0;
  std::uint8_t wordHigh_ = 0;
  std::size_t signatureMatched_ = 0;  // UntilSignature: how much of "newtdock" the last bytes were
  std::uint64_t skipped_ = 0;
  std::deque<Frame> frames_;
};

}  // namespace skiff::dock
