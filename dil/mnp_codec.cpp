#include "dil/mnp_codec.h"

#include <algorithm>

namespace skiff::mnp {

std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::uint16_t frameCheck(std::span<const std::uint8_t> body) {
  const std::uint8_t etx = kEtx;
  return crc16(std::span(&etx, 1), crc16(body));
}

Bytes encodeFrame(std::span<const std::uint8_t> body) {
  Bytes frame{kSyn, kDle, kStx};
  frame.reserve(body.size() + body.size() / 8 + 8);
  for (std::uint8_t byte : body) {
    frame.push_back(byte);
    if (byte == kDle) frame.push_back(kDle);
  }
  frame.push_back(kDle);
  frame.push_back(kEtx);
  std::uint16_t fcs = frameCheck(body);
  frame.push_back(static_cast<std::uint8_t>(fcs & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(fcs >> 8));
  return frame;
}

// --- decoder ------------------------------------------------------------------------------------------------

void Decoder::reset() {
  phase_ = Phase::Hunt;
  body_.clear();
}

void Decoder::bad(std::vector<DecodeEvent>& out) {
  out.push_back({DecodeEvent::BadFrame, {}});
  body_.clear();
  phase_ = Phase::Hunt;
}

std::vector<DecodeEvent> Decoder::feed(std::span<const std::uint8_t> bytes) {
  std::vector<DecodeEvent> events;
  feed(bytes, events);
  return events;
}

void Decoder::feed(std::span<const std::uint8_t> bytes, std::vector<DecodeEvent>& out) {
  for (std::uint8_t byte : bytes) {
    switch (phase_) {
      case Phase::Hunt:
        if (byte == kSyn) phase_ = Phase::Syn;
        break;
      case Phase::Syn:  // extra SYNs are skipped
        phase_ = byte == kDle ? Phase::SynDle : byte == kSyn ? Phase::Syn : Phase::Hunt;
        break;
      case Phase::SynDle:
        if (byte == kStx) {
          body_.clear();
          phase_ = Phase::Body;
        } else {
          phase_ = byte == kSyn ? Phase::Syn : Phase::Hunt;
        }
        break;
      case Phase::Body:
        if (byte == kDle) {
          phase_ = Phase::BodyDle;
        } else if (body_.size() >= kMaxBody) {
          bad(out);
        } else {
          body_.push_back(byte);
        }
        break;
      case Phase::BodyDle:
        if (byte == kDle && body_.size() < kMaxBody) {
          body_.push_back(kDle);
          phase_ = Phase::Body;
        } else if (byte == kEtx) {
          phase_ = Phase::FcsLow;
        } else if (byte == kStx) {
          // The sender started over: this frame is broken, the next one begins here.
          bad(out);
          phase_ = Phase::Body;
        } else {
          bad(out);
          if (byte == kSyn) phase_ = Phase::Syn;
        }
        break;
      case Phase::FcsLow:
        fcsLow_ = byte;
        phase_ = Phase::FcsHigh;
        break;
      case Phase::FcsHigh: {
        std::uint16_t received = static_cast<std::uint16_t>(fcsLow_ | (byte << 8));
        if (received == frameCheck(body_) && !body_.empty()) {
          out.push_back({DecodeEvent::Frame, std::move(body_)});
          body_ = {};
          phase_ = Phase::Hunt;
        } else {
          bad(out);
        }
        break;
      }
    }
  }
}

// --- link request -------------------------------------------------------------------------------------------

namespace {

const Bytes kConstantParameter{0x01, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0xFF};

Bytes linkRequestBody(std::uint8_t window) {
  Bytes body{0x00, 0x01, 0x02};
  body.insert(body.end(), kConstantParameter.begin(), kConstantParameter.end());
  const Bytes common{0x02, 0x01, 0x02, 0x03, 0x01, window, 0x04, 0x02, 0x40, 0x00, 0x08, 0x01, 0x03};
  body.insert(body.end(), common.begin(), common.end());
  return body;
}

}  // namespace

Bytes desktopLinkRequest(std::uint8_t window, const std::optional<V42bisOffer>& v42bis) {
  Bytes body = linkRequestBody(window);
  if (v42bis) {
    const std::uint16_t codewords = v42bis->params.codewords;
    body.insert(body.end(), {0x0E, 0x04, v42bis->directions, static_cast<std::uint8_t>(codewords >> 8),
                             static_cast<std::uint8_t>(codewords & 0xFF), v42bis->params.maxString});
  }
  body[0] = static_cast<std::uint8_t>(body.size() - 1);
  return body;
}

Bytes newtonLinkRequest(std::uint8_t window, bool offersCompression) {
  Bytes body = linkRequestBody(window);
  // Compression offer and V.42bis parameters (left out when the Newton's compression option is none), and a
  // speed proposal, as a Newton sends them; the header length a Newton writes leaves out two bytes of the last.
  if (offersCompression) body.insert(body.end(), {0x09, 0x01, 0x01, 0x0E, 0x04, 0x03, 0x04, 0x00, 0xFA});
  body.insert(body.end(), {0xC5, 0x06, 0x01, 0x04, 0x00, 0x00, 0xE1, 0x00});
  body[0] = static_cast<std::uint8_t>(body.size() - 3);
  return body;
}

std::optional<LinkParams> parseLinkRequest(std::span<const std::uint8_t> body) {
  if (body.size() < 3 || body[1] != static_cast<std::uint8_t>(FrameType::LR)) return std::nullopt;
  LinkParams params;
  bool constantSeen = false;
  std::size_t at = 3;  // after length, type and the constant parameter byte
  while (at + 2 <= body.size()) {
    std::uint8_t type = body[at], length = body[at + 1];
    if (at + 2 + length > body.size()) break;  // a cut parameter ends the list
    auto value = body.subspan(at + 2, length);
    switch (type) {
      case 0x01: constantSeen = true; break;
      case 0x03: if (length >= 1) params.window = std::max<std::uint8_t>(value[0], 1); break;
      case 0x04: if (length >= 2) params.maxInfo = static_cast<std::uint16_t>(value[0] | (value[1] << 8)); break;
      case 0x08: if (length >= 1) params.optimisation = value[0]; break;
      case 0x0E:
        if (length >= 4)
          params.v42bis = V42bisOffer{value[0], {static_cast<std::uint16_t>(value[1] << 8 | value[2]), value[3]}};
        break;
      default: break;
    }
    at += 2u + length;
  }
  if (!constantSeen) return std::nullopt;
  return params;
}

LinkParams negotiate(const LinkParams& ours, const LinkParams& theirs) {
  LinkParams result;
  result.window = std::min(ours.window, theirs.window);
  result.maxInfo = std::min(ours.maxInfo, theirs.maxInfo);
  result.optimisation = static_cast<std::uint8_t>(ours.optimisation & theirs.optimisation);
  result.v42bis = negotiateV42bis(ours.v42bis, theirs.v42bis);
  return result;
}

// Which bit of P0 is which direction is not settled for a Newton; both ways is what one offers and accepts.
std::optional<V42bisOffer> negotiateV42bis(const std::optional<V42bisOffer>& ours,
                                           const std::optional<V42bisOffer>& theirs) {
  if (!ours || !theirs || ours->directions != kBothDirections || theirs->directions != kBothDirections)
    return std::nullopt;
  if (!v42bis::valid(ours->params) || !v42bis::valid(theirs->params)) return std::nullopt;
  return V42bisOffer{kBothDirections,
                     {std::min(ours->params.codewords, theirs->params.codewords),
                      std::min(ours->params.maxString, theirs->params.maxString)}};
}

// --- data phase ---------------------------------------------------------------------------------------------

Bytes ackBody(std::uint8_t receivedUpTo, std::uint8_t credit) { return {0x03, 0x05, receivedUpTo, credit}; }

Bytes dataBody(std::uint8_t sequence, std::span<const std::uint8_t> info) {
  Bytes body(3 + info.size());
  body[0] = 0x02;
  body[1] = 0x04;
  body[2] = sequence;
  std::copy(info.begin(), info.end(), body.begin() + 3);
  return body;
}

Bytes disconnectBody(std::uint8_t reason) { return {0x04, 0x02, 0x01, 0x01, reason}; }

std::optional<Parsed> parseBody(std::span<const std::uint8_t> body) {
  if (body.size() < 2) return std::nullopt;
  Parsed parsed;
  std::size_t headerEnd = 1u + body[0];
  switch (body[1]) {
    case 0x04:  // LT: 02 04 N(S), or 04 04 01 01 N(S)
      if (body[0] == 2 && body.size() >= 3) {
        parsed.sequence = body[2];
      } else if (body[0] == 4 && body.size() >= 5 && body[2] == 1) {
        parsed.sequence = body[4];
      } else {
        return std::nullopt;
      }
      parsed.type = FrameType::LT;
      parsed.info = body.subspan(headerEnd);
      if (parsed.info.size() > kMaxInfo) return std::nullopt;
      return parsed;
    case 0x05:  // LA: 03 05 N(R) N(k), or 07 05 01 01 N(R) 02 01 N(k)
      if (body[0] == 3 && body.size() >= 4) {
        parsed.sequence = body[2];
        parsed.credit = body[3];
      } else if (body[0] == 7 && body.size() >= 8 && body[2] == 1) {
        parsed.sequence = body[4];
        parsed.credit = body[7];
      } else {
        return std::nullopt;
      }
      parsed.type = FrameType::LA;
      return parsed;
    case 0x02:  // LD: reason after 01 01 when present; its length byte is not trusted
      parsed.type = FrameType::LD;
      parsed.reason = body.size() >= 5 ? body[4] : 0;
      return parsed;
    case 0x01:
      parsed.type = FrameType::LR;
      return parsed;
    case 0x06:
    case 0x07:
      parsed.type = static_cast<FrameType>(body[1]);
      return parsed;
    default:
      return std::nullopt;
  }
}

}  // namespace skiff::mnp
