// The recorded session between a real Newton and a desktop that accepted V.42bis (P1 1024, P2 250): every LT
// of each side, taken apart by the MNP codec and decoded as one stream in N(S) order, is plain dock traffic;
// and the encoder, given the same messages, puts the same bytes on the wire as each side did.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dil/mnp_codec.h"
#include "dil/v42bis.h"
#include "dock/frame.h"
#include "tests/support/recorded_session.h"

namespace skiff::v42bis {
namespace {

struct Side {
  const char* name;
  bool newton;
  std::vector<std::string> commands;  // the dock commands it sent, in order
  std::size_t wireBytes, decodedBytes;
};

const Side kSides[] = {
    {"Newton", true,
     {"rtdk", "name", "ninf", "dres", "pass", "helo", "rtbr", "dpth", "gfil", "helo", "spth", "spth", "helo", "spth",
      "helo", "helo", "spth", "spth", "helo", "gfin", "lpfl", "dres", "dres", "dres", "pkno", "dres", "disc"},
     644, 1160},
    {"Desktop", false,
     {"dock", "dinf", "wicn", "stim", "pass", "dres", "path", "file", "file", "file", "file", "file", "file", "finf",
      "pext", "pext", "sdef", "pfnd", "lpkg", "opdn"},
     5021, 8552},
};

// The info fields of one side's LTs in N(S) order, each N(S) once, as the link delivers them.
std::vector<Bytes> ltInfos(bool newton) {
  const auto session = test::recordedSession();
  EXPECT_FALSE(session.empty()) << "the recorded session is not at " << test::recordedSessionFile();
  std::vector<Bytes> infos;
  std::uint8_t last = 0;
  for (const auto& recorded : session) {
    mnp::Decoder decoder;
    const auto events = decoder.feed(recorded.bytes);
    EXPECT_TRUE(events.size() == 1 && events[0].kind == mnp::DecodeEvent::Frame);
    const auto parsed = events.empty() ? std::nullopt : mnp::parseBody(events[0].body);
    if (recorded.fromNewton != newton || !parsed || parsed->type != mnp::FrameType::LT ||
        parsed->sequence != static_cast<std::uint8_t>(last + 1))
      continue;
    last = parsed->sequence;
    infos.emplace_back(parsed->info.begin(), parsed->info.end());
  }
  return infos;
}

class RecordedSession : public ::testing::TestWithParam<Side> {};

TEST_P(RecordedSession, DecodesLtByLtIntoWellFormedDockFrames) {
  const Side& side = GetParam();
  Decoder decoder(Params{1024, 250});
  Bytes stream;
  std::size_t wire = 0;
  std::vector<std::size_t> ltEnds;
  for (const Bytes& info : ltInfos(side.newton)) {
    ASSERT_EQ(decoder.decode(info, stream), Decoder::Status::Ok) << "LT " << ltEnds.size() + 1;
    wire += info.size();
    ltEnds.push_back(stream.size());
  }
  EXPECT_EQ(wire, side.wireBytes);
  EXPECT_EQ(stream.size(), side.decodedBytes);
  EXPECT_EQ(decoder.stepUps(), 1u);  // from 9- to 10-bit codewords, as the dictionary passed 512 entries

  dock::FrameReader reader(8);
  reader.feed(stream);
  EXPECT_EQ(reader.skippedBytes(), 0u);
  EXPECT_FALSE(reader.inFrame());
  std::vector<std::string> commands;
  std::vector<std::size_t> frameEnds;
  for (std::size_t end = 0; reader.hasFrame();) {
    const dock::Frame frame = reader.next();
    commands.push_back(frame.command);
    frameEnds.push_back(end += dock::kFrameHeaderSize + frame.length + frame.padding);
    if (frame.command == "lpkg") {
      EXPECT_EQ(std::string(frame.data.begin(), frame.data.end()), "package1");
    }
  }
  EXPECT_EQ(commands, side.commands);
  if (side.newton) {
    EXPECT_EQ(ltEnds, frameEnds);  // every LT the Newton sent is one whole message
  }
}

// Fed each side's messages with a flush wherever that side flushed, the encoder makes its exact wire bytes: the
// same mode choice, string matching, step-up, flushes and, for the desktop's package, dictionary recycling.
TEST_P(RecordedSession, EncodingTheMessagesAgainGivesTheSameWireBytes) {
  Bytes wire, stream, again;
  for (const Bytes& info : ltInfos(GetParam().newton)) wire.insert(wire.end(), info.begin(), info.end());
  Decoder decoder(Params{1024, 250});
  Encoder encoder(Params{1024, 250});
  std::size_t from = 0;
  for (std::uint8_t byte : wire) {
    const auto flushes = decoder.flushes();
    decoder.decode(std::span(&byte, 1), stream);
    if (decoder.flushes() == flushes) continue;
    encoder.encode(std::span(stream).subspan(from), again);
    encoder.flush(again);
    from = stream.size();
  }
  EXPECT_EQ(from, stream.size());
  EXPECT_EQ(again, wire);
  EXPECT_EQ(encoder.modeChanges(), 1u);
  if (!GetParam().newton) {
    EXPECT_GT(decoder.recycled(), 1000u);  // its dictionary filled during the package
  }
}

INSTANTIATE_TEST_SUITE_P(Sides, RecordedSession, ::testing::ValuesIn(kSides),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skiff::v42bis
