// MNP frames on the serial line, without any I/O: the frame check sequence, stuffing, an incremental decoder
// that resynchronises on garbage, and builders and parsers of the LR, LA, LT and LD bodies.
// A frame on the line is 16 10 02, the body with every 10 doubled, 10 03, then the FCS low byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dil/v42bis_dictionary.h"

namespace skiff::mnp {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kSyn = 0x16, kDle = 0x10, kStx = 0x02, kEtx = 0x03;
inline constexpr std::size_t kMaxInfo = 256;       // info bytes of one LT
inline constexpr std::size_t kMaxBody = 1024;      // longer bodies are garbage: dropped, bounded memory

enum class FrameType : std::uint8_t { LR = 1, LD = 2, LT = 4, LA = 5, LN = 6, LNA = 7 };

// CRC-16/ARC (reflected 8005, initial 0, no final XOR), continuing from `crc`.
std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);
// The FCS of a body: CRC over the body and the ETX byte.
std::uint16_t frameCheck(std::span<const std::uint8_t> body);

// The complete frame for a body, as it goes on the line.
Bytes encodeFrame(std::span<const std::uint8_t> body);

// What the decoder found on the line.
struct DecodeEvent {
  enum Kind { Frame, BadFrame } kind;
  Bytes body;  // the unstuffed body of a frame whose FCS checked; empty for BadFrame
};

// Feed it bytes as they come; it returns the frames that completed. A bad FCS, a DLE followed by anything but
// 10 or 03, or an overlong body gives BadFrame and the hunt for the next 16 10 02 starts again.
class Decoder {
 public:
  void feed(std::span<const std::uint8_t> bytes, std::vector<DecodeEvent>& out);
  std::vector<DecodeEvent> feed(std::span<const std::uint8_t> bytes);
  void reset();

 private:
  enum class Phase { Hunt, Syn, SynDle, Body, BodyDle, FcsLow, FcsHigh };
  void bad(std::vector<DecodeEvent>& out);
  Phase phase_ = Phase::Hunt;
  Bytes body_;
  std::uint8_t fcsLow_ = 0;
};

// --- link parameters (LR) ---------------------------------------------------------------------------------
// Parameter 0E, V.42bis: P0 the directions (03 both), P1 the codewords (big-endian), P2 the longest string.
struct V42bisOffer {
  std::uint8_t directions = 3;
  v42bis::Params params;
  bool operator==(const V42bisOffer&) const = default;
};
inline constexpr std::uint8_t kBothDirections = 3;

struct LinkParams {
  std::uint8_t window = 1;         // most LTs outstanding
  std::uint16_t maxInfo = 64;      // N401
  std::uint8_t optimisation = 0;   // bit 0: 256-byte info fields, bit 1: short LT and LA forms
  std::optional<V42bisOffer> v42bis;
  std::size_t infoLimit() const { return (optimisation & 1) ? kMaxInfo : (maxInfo > kMaxInfo ? kMaxInfo : maxInfo); }
};

// The desktop's LR: types 01, 02, 03, 04, 08, and 0E when it accepts compression. With window 1 and no
// compression these are the proven bytes.
Bytes desktopLinkRequest(std::uint8_t window = 1, const std::optional<V42bisOffer>& v42bis = std::nullopt);
// The Newton's LR exactly as a real one sends it (window 8, compression offered, header length under-counted),
// or with another window, or without the compression offer.
Bytes newtonLinkRequest(std::uint8_t window = 8, bool offersCompression = true);
// Reads an LR body up to its end (its length byte is not trusted); nothing when it is not an LR.
std::optional<LinkParams> parseLinkRequest(std::span<const std::uint8_t> body);
// What both sides end up with: the smaller window and info size; V.42bis when both offer it both ways with
// valid values, with the smaller dictionary and string limit.
LinkParams negotiate(const LinkParams& ours, const LinkParams& theirs);
std::optional<V42bisOffer> negotiateV42bis(const std::optional<V42bisOffer>& ours,
                                           const std::optional<V42bisOffer>& theirs);

// --- data phase ---------------------------------------------------------------------------------------------
Bytes ackBody(std::uint8_t receivedUpTo, std::uint8_t credit);                       // 03 05 N(R) N(k)
Bytes dataBody(std::uint8_t sequence, std::span<const std::uint8_t> info);           // 02 04 N(S) info
Bytes disconnectBody(std::uint8_t reason);                                           // 04 02 01 01 reason

inline constexpr std::uint8_t kReasonRetryLimit = 4;
inline constexpr std::uint8_t kReasonUser = 0xFF;

// One received body, taken apart. Short and long forms are both understood.
struct Parsed {
  FrameType type = FrameType::LN;
  std::uint8_t sequence = 0;  // LT: N(S); LA: N(R)
  std::uint8_t credit = 0;    // LA: N(k)
  std::uint8_t reason = 0;    // LD
  std::span<const std::uint8_t> info;  // LT: the info field (points into the body)
};
std::optional<Parsed> parseBody(std::span<const std::uint8_t> body);

}  // namespace skiff::mnp
