#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <sstream>
#include <string>

#include "dil/mnp_codec.h"

namespace skiff::mnp {
namespace {

Bytes hex(const std::string& text) {
  Bytes bytes;
  std::istringstream in(text);
  std::string word;
  while (in >> word) bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Frames exactly as they were seen on the line.
struct WorkedFrame {
  const char* name;
  const char* frame;
};
const WorkedFrame kWorked[] = {
    {"stuffed body", "16 10 02 F0 F1 F2 10 10 F3 F4 10 03 2E C9"},
    {"newton LR",
     "16 10 02 26 01 02 01 06 01 00 00 00 00 FF 02 01 02 03 01 08 04 02 40 00 08 01 03 09 01 01 0E 04 03 04 00 FA "
     "C5 06 01 04 00 00 E1 00 10 03 B9 BF"},
    {"desktop LR", "16 10 02 17 01 02 01 06 01 00 00 00 00 FF 02 01 02 03 01 01 04 02 40 00 08 01 03 10 03 9A 1B"},
    {"LA 0", "16 10 02 03 05 00 01 10 03 05 5D"},
    {"LA 10", "16 10 02 03 05 10 10 01 10 03 04 98"},
    {"LT rtdk", "16 10 02 02 04 01 6E 65 77 74 64 6F 63 6B 72 74 64 6B 00 00 00 04 00 00 00 09 10 03 B4 89"},
    {"LT dock", "16 10 02 02 04 01 6E 65 77 74 64 6F 63 6B 64 6F 63 6B 00 00 00 04 00 00 00 04 10 03 B9 1F"},
    {"LT stim", "16 10 02 02 04 02 6E 65 77 74 64 6F 63 6B 73 74 69 6D 00 00 00 04 00 00 00 1E 10 03 11 5E"},
    {"LT dres 0", "16 10 02 02 04 03 6E 65 77 74 64 6F 63 6B 64 72 65 73 00 00 00 04 00 00 00 00 10 03 AA DD"},
    {"LT dres bad", "16 10 02 02 04 04 6E 65 77 74 64 6F 63 6B 64 72 65 73 00 00 00 04 FF FF D7 5F 10 03 31 F3"},
    {"LT disc seq 10", "16 10 02 02 04 10 10 6E 65 77 74 64 6F 63 6B 64 69 73 63 00 00 00 00 10 03 A7 38"},
    {"LD short", "16 10 02 04 02 01 01 FF 10 03 29 89"},
    {"LD long", "16 10 02 07 02 01 01 FF 02 01 00 10 03 B2 95"},
};

// The body of a line frame, unstuffed by hand (independent of the decoder).
Bytes bodyOf(const Bytes& frame) {
  Bytes body;
  for (std::size_t i = 3; i + 1 < frame.size() && !(frame[i] == 0x10 && frame[i + 1] == 0x03); ++i) {
    body.push_back(frame[i]);
    if (frame[i] == 0x10) ++i;
  }
  return body;
}

class WorkedExample : public ::testing::TestWithParam<WorkedFrame> {};

TEST_P(WorkedExample, EncodesToTheBytesOnTheLine) {
  Bytes frame = hex(GetParam().frame);
  EXPECT_EQ(encodeFrame(bodyOf(frame)), frame);
}

TEST_P(WorkedExample, DecodesWholeByteByByteAndAmidJunk) {
  Bytes frame = hex(GetParam().frame);
  Bytes body = bodyOf(frame);
  Decoder whole;
  auto events = whole.feed(frame);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, DecodeEvent::Frame);
  EXPECT_EQ(events[0].body, body);

  Decoder single;
  std::vector<DecodeEvent> got;
  for (std::uint8_t byte : frame) single.feed(std::span(&byte, 1), got);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].body, body);

  Bytes noisy = hex("00 16 16 10 41 10 FF 03 16");  // junk, a false start, stray SYNs
  noisy.insert(noisy.end(), frame.begin(), frame.end());
  noisy.insert(noisy.end(), {0x16, 0x10, 0x99, 0x00, 0x10});
  Decoder amid;
  got.clear();
  amid.feed(noisy, got);
  std::vector<Bytes> frames;
  for (auto& event : got)
    if (event.kind == DecodeEvent::Frame) frames.push_back(event.body);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], body);
}

TEST_P(WorkedExample, EveryPrefixWaitsForTheRest) {
  Bytes frame = hex(GetParam().frame);
  for (std::size_t cut = 0; cut < frame.size(); ++cut) {
    Decoder decoder;
    EXPECT_TRUE(decoder.feed(std::span(frame.data(), cut)).empty()) << "cut at " << cut;
    auto rest = decoder.feed(std::span(frame.data() + cut, frame.size() - cut));
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].kind, DecodeEvent::Frame);
  }
}

TEST_P(WorkedExample, NoChangedByteGivesAnotherFrame) {
  Bytes frame = hex(GetParam().frame);
  Bytes body = bodyOf(frame);
  for (std::size_t at = 3; at < frame.size(); ++at) {
    for (std::uint8_t flip : {0x01, 0x80, 0x13}) {
      Bytes changed = frame;
      changed[at] ^= flip;
      Decoder decoder;
      for (auto& event : decoder.feed(changed)) {
        if (event.kind == DecodeEvent::Frame) {
          EXPECT_EQ(event.body, body) << "byte " << at;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, WorkedExample, ::testing::ValuesIn(kWorked),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(MnpCheck, IsCrc16Arc) {
  EXPECT_EQ(crc16(bytesOf("123456789")), 0xBB3D);
  EXPECT_EQ(crc16(bytesOf("ZYX")), 0xB91B);
}

TEST(MnpBuilders, GiveTheBodiesSeenOnTheLine) {
  EXPECT_EQ(encodeFrame(desktopLinkRequest()), hex(kWorked[2].frame));
  EXPECT_EQ(encodeFrame(newtonLinkRequest()), hex(kWorked[1].frame));
  EXPECT_EQ(encodeFrame(ackBody(0, 1)), hex(kWorked[3].frame));
  EXPECT_EQ(encodeFrame(ackBody(0x10, 1)), hex(kWorked[4].frame));
  EXPECT_EQ(encodeFrame(disconnectBody(kReasonUser)), hex(kWorked[11].frame));
  Bytes rtdk = bytesOf("newtdockrtdk");
  rtdk.insert(rtdk.end(), {0, 0, 0, 4, 0, 0, 0, 9});
  EXPECT_EQ(encodeFrame(dataBody(1, rtdk)), hex(kWorked[5].frame));
  Bytes disc = bytesOf("newtdockdisc");
  disc.insert(disc.end(), {0, 0, 0, 0});
  EXPECT_EQ(encodeFrame(dataBody(0x10, disc)), hex(kWorked[10].frame));
  // Accepting V.42bis: the reply of the recorded session (window 8), and the proven one with 0E at its end.
  const V42bisOffer offer{kBothDirections, {1024, 250}};
  EXPECT_EQ(encodeFrame(desktopLinkRequest(8, offer)),
            hex("16 10 02 1D 01 02 01 06 01 00 00 00 00 FF 02 01 02 03 01 08 04 02 40 00 08 01 03 0E 04 03 04 00 FA "
                "10 03 8A 2E"));
  Bytes proven = bodyOf(hex(kWorked[2].frame));
  proven[0] = 0x1D;
  proven.insert(proven.end(), {0x0E, 0x04, 0x03, 0x04, 0x00, 0xFA});
  EXPECT_EQ(desktopLinkRequest(1, offer), proven);
}

TEST(MnpLinkRequest, IsReadToItsEndNotByItsLengthByte) {
  auto newton = parseLinkRequest(bodyOf(hex(kWorked[1].frame)));
  ASSERT_TRUE(newton);
  EXPECT_EQ(newton->window, 8);
  EXPECT_EQ(newton->maxInfo, 64);
  EXPECT_EQ(newton->optimisation, 3);
  EXPECT_EQ(newton->v42bis, (V42bisOffer{kBothDirections, {1024, 250}}));  // P1 big-endian, unlike N401
  EXPECT_FALSE(parseLinkRequest(newtonLinkRequest(8, false))->v42bis);
  EXPECT_EQ(parseLinkRequest(newtonLinkRequest(8, false))->window, 8);
  auto desktop = parseLinkRequest(desktopLinkRequest());
  ASSERT_TRUE(desktop);
  EXPECT_EQ(desktop->window, 1);
  EXPECT_FALSE(desktop->v42bis);
  LinkParams agreed = negotiate(*desktop, *newton);
  EXPECT_EQ(agreed.window, 1);
  EXPECT_EQ(agreed.infoLimit(), 256u);
  EXPECT_EQ(negotiate(*parseLinkRequest(desktopLinkRequest(8)), *newton).window, 8);
  // Cut short, or not an LR: no parameters from thin air.
  EXPECT_FALSE(parseLinkRequest(hex("17 01")));
  EXPECT_FALSE(parseLinkRequest(hex("03 05 00 01")));
  EXPECT_FALSE(parseLinkRequest(hex("17 01 02 03 01")));
}

struct CompressionCase {
  const char* name;
  std::optional<V42bisOffer> ours, theirs, agreed;
};
const V42bisOffer kNewtonOffer{kBothDirections, {1024, 250}};
const CompressionCase kCompressionCases[] = {
    {"BothOfferTheSame", kNewtonOffer, kNewtonOffer, kNewtonOffer},
    {"TheSmallerValuesWin", V42bisOffer{3, {4096, 100}}, kNewtonOffer, V42bisOffer{3, {1024, 100}}},
    {"WeDoNotAsk", std::nullopt, kNewtonOffer, std::nullopt},
    {"TheyDoNotOffer", kNewtonOffer, std::nullopt, std::nullopt},
    {"OneDirectionOnly", kNewtonOffer, V42bisOffer{1, {1024, 250}}, std::nullopt},
    {"TooFewCodewords", kNewtonOffer, V42bisOffer{3, {511, 250}}, std::nullopt},
    {"StringsTooShort", kNewtonOffer, V42bisOffer{3, {1024, 5}}, std::nullopt},
    {"StringsTooLong", kNewtonOffer, V42bisOffer{3, {1024, 251}}, std::nullopt},
};
class MnpCompression : public ::testing::TestWithParam<CompressionCase> {};
TEST_P(MnpCompression, IsAgreedOnlyWithinWhatBothOffer) {
  LinkParams ours, theirs;
  ours.v42bis = GetParam().ours;
  theirs.v42bis = GetParam().theirs;
  EXPECT_EQ(negotiate(ours, theirs).v42bis, GetParam().agreed);
  EXPECT_EQ(negotiate(theirs, ours).v42bis, GetParam().agreed);
}
INSTANTIATE_TEST_SUITE_P(Offers, MnpCompression, ::testing::ValuesIn(kCompressionCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct BodyCase {
  const char* body;
  FrameType type;
  int sequence;
  int credit;
  int reason;
  std::size_t infoSize;
};
class MnpParse : public ::testing::TestWithParam<BodyCase> {};

TEST_P(MnpParse, TakesTheFieldsApart) {
  Bytes body = hex(GetParam().body);
  auto parsed = parseBody(body);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->type, GetParam().type);
  EXPECT_EQ(parsed->sequence, GetParam().sequence);
  EXPECT_EQ(parsed->credit, GetParam().credit);
  EXPECT_EQ(parsed->reason, GetParam().reason);
  EXPECT_EQ(parsed->info.size(), GetParam().infoSize);
}

INSTANTIATE_TEST_SUITE_P(Bodies, MnpParse,
                         ::testing::Values(BodyCase{"02 04 07 41 42 43", FrameType::LT, 7, 0, 0, 3},
                                           BodyCase{"02 04 FF", FrameType::LT, 255, 0, 0, 0},
                                           BodyCase{"04 04 01 01 09 41", FrameType::LT, 9, 0, 0, 1},
                                           BodyCase{"03 05 10 01", FrameType::LA, 16, 1, 0, 0},
                                           BodyCase{"07 05 01 01 22 02 01 08", FrameType::LA, 0x22, 8, 0, 0},
                                           BodyCase{"04 02 01 01 FF", FrameType::LD, 0, 0, 255, 0},
                                           BodyCase{"07 02 01 01 04 02 01 00", FrameType::LD, 0, 0, 4, 0},
                                           BodyCase{"02 02", FrameType::LD, 0, 0, 0, 0}));

TEST(MnpParse, RefusesBodiesThatAreNoFrames) {
  for (const char* text : {"", "02", "02 04", "03 05 01", "07 05 01", "09 09 09", "05 04 01 01 01"})
    EXPECT_FALSE(parseBody(hex(text))) << text;
  Bytes overlong = dataBody(1, Bytes(kMaxInfo + 1, 0x41));
  EXPECT_FALSE(parseBody(overlong));
}

TEST(MnpStuffing, RoundTripsRandomBodies) {
  std::mt19937 random(42);
  for (int round = 0; round < 400; ++round) {
    std::size_t size = 1 + random() % 600;
    Bytes body(size);
    int kind = round % 4;
    for (auto& byte : body)
      byte = kind == 0 ? 0x10 : kind == 1 ? static_cast<std::uint8_t>(random() % 4 ? 0x10 : 0x03)
                                          : static_cast<std::uint8_t>(random());
    Bytes frame = encodeFrame(body);
    Decoder decoder;
    auto events = decoder.feed(frame);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events[0].kind, DecodeEvent::Frame);
    EXPECT_EQ(events[0].body, body);
  }
}

TEST(MnpDecoder, RandomInputYieldsOnlyFramesThatWereOnTheLine) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    Bytes line;
    // Garbage biased towards the flag bytes, with real frames spliced in now and then.
    for (int piece = 0; piece < 40; ++piece) {
      if (random() % 5 == 0) {
        Bytes body(1 + random() % 40);
        for (auto& byte : body) byte = static_cast<std::uint8_t>(random() % 3 ? random() : 0x10);
        Bytes frame = encodeFrame(body);
        line.insert(line.end(), frame.begin(), frame.end() - static_cast<long>(random() % 2 ? 0 : random() % 4));
      } else {
        static const std::uint8_t flags[] = {0x16, 0x10, 0x02, 0x03};
        line.push_back(random() % 2 ? flags[random() % 4] : static_cast<std::uint8_t>(random()));
      }
    }
    Decoder decoder;
    std::vector<DecodeEvent> events;
    std::size_t at = 0;
    while (at < line.size()) {  // in pieces of random size
      std::size_t n = std::min<std::size_t>(line.size() - at, 1 + random() % 17);
      decoder.feed(std::span(line.data() + at, n), events);
      at += n;
    }
    for (const auto& event : events) {
      if (event.kind != DecodeEvent::Frame) continue;
      Bytes frame = encodeFrame(event.body);
      EXPECT_NE(std::search(line.begin(), line.end(), frame.begin(), frame.end()), line.end());
    }
  }
}

TEST(MnpDecoder, OverlongBodyIsDroppedAndTheNextFrameStillComes) {
  Bytes line{0x16, 0x10, 0x02};
  line.insert(line.end(), 5000, 0x41);
  Bytes good = encodeFrame(ackBody(3, 1));
  line.insert(line.end(), good.begin(), good.end());
  Decoder decoder;
  auto events = decoder.feed(line);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().kind, DecodeEvent::BadFrame);
  EXPECT_EQ(events.back().kind, DecodeEvent::Frame);
  EXPECT_EQ(events.back().body, ackBody(3, 1));
}

TEST(MnpDecoder, BadEscapeAndBadCheckAreReported) {
  Decoder decoder;
  auto badEscape = decoder.feed(hex("16 10 02 03 05 10 41 01 10 03 05 5D"));
  ASSERT_EQ(badEscape.size(), 1u);
  EXPECT_EQ(badEscape[0].kind, DecodeEvent::BadFrame);
  auto badCheck = decoder.feed(hex("16 10 02 03 05 00 01 10 03 05 5E"));
  ASSERT_EQ(badCheck.size(), 1u);
  EXPECT_EQ(badCheck[0].kind, DecodeEvent::BadFrame);
}

}  // namespace
}  // namespace skiff::mnp
