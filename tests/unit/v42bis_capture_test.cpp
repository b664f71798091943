// The recorded session between a real Newton and a desktop that accepted V.42bis (P1 1024, P2 250): every LT
// of each direction, taken apart by the MNP codec and decoded as one stream in N(S) order, is plain dock
// traffic; and the encoder, given the same messages, puts the same bytes on the wire as each side did.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "dil/mnp_codec.h"
#include "dil/v42bis.h"
#include "tests/support/recorded_session.h"

namespace skiff::v42bis {
namespace {

struct Direction {
  const char* name;
  std::vector<std::string> commands;  // the dock commands it sent, in order
  std::size_t wireBytes, decodedBytes;
};

const Direction kNewton{"newton",
                        {"rtdk", "name", "ninf", "dres", "pass", "helo", "rtbr", "dpth", "gfil", "helo",
                         "spth", "spth", "helo", "spth", "helo", "helo", "spth", "spth", "helo", "gfin",
                         "lpfl", "dres", "dres", "dres", "pkno", "dres", "disc"},
                        644, 1160};
const Direction kDesktop{"desktop",
                         {"dock", "dinf", "wicn", "stim", "pass", "dres", "path", "file", "file", "file", "file",
                          "file", "file", "finf", "pext", "pext", "sdef", "pfnd", "lpkg", "opdn"},
                         5021, 8552};

// The info fields of one side's LTs in N(S) order, each N(S) once (a repeat after a retransmission is dropped,
// as the link drops it).
std::vector<Bytes> ltInfos(const char* side) {
  const auto session = test::recordedSession();
  EXPECT_FALSE(session.empty()) << "the recorded session is not at " << test::recordedSessionFile();
  std::vector<Bytes> infos;
  std::uint8_t last = 0;
  for (const auto& recorded : session) {
    if (recorded.fromNewton != (std::string_view(side) == "newton")) continue;
    mnp::Decoder decoder;
    const auto events = decoder.feed(recorded.bytes);
    EXPECT_EQ(events.size(), 1u);
    if (events.size() != 1 || events[0].kind != mnp::DecodeEvent::Frame) continue;
    const auto parsed = mnp::parseBody(events[0].body);
    if (!parsed || parsed->type != mnp::FrameType::LT || parsed->sequence != static_cast<std::uint8_t>(last + 1))
      continue;
    last = parsed->sequence;
    infos.emplace_back(parsed->info.begin(), parsed->info.end());
  }
  return infos;
}

struct DockFrame {
  std::string command;
  std::size_t start, length;  // where its data starts, and how long it is
  std::size_t end;            // stream offset after its padding
};

// The stream read strictly as dock frames: "newtdock", command, BE length, data, zero padding to 4. Fails the
// test at the first byte that does not fit.
std::vector<DockFrame> dockFrames(const Bytes& stream) {
  std::vector<DockFrame> frames;
  std::size_t at = 0;
  while (at < stream.size()) {
    if (stream.size() - at < 16 || std::string(stream.begin() + at, stream.begin() + at + 8) != "newtdock") {
      ADD_FAILURE() << "no dock frame at offset " << at;
      break;
    }
    DockFrame frame{std::string(stream.begin() + at + 8, stream.begin() + at + 12), at + 16, 0, 0};
    for (int i = 12; i < 16; ++i) frame.length = frame.length << 8 | stream[at + i];
    frame.end = at + 16 + frame.length + (4 - frame.length % 4) % 4;
    if (frame.end > stream.size()) {
      ADD_FAILURE() << frame.command << " at offset " << at << " runs past the stream";
      break;
    }
    for (std::size_t pad = at + 16 + frame.length; pad < frame.end; ++pad) EXPECT_EQ(stream[pad], 0) << pad;
    frames.push_back(frame);
    at = frame.end;
  }
  return frames;
}

class RecordedSession : public ::testing::TestWithParam<Direction> {};

TEST_P(RecordedSession, DecodesLtByLtIntoWellFormedDockFrames) {
  const Direction& side = GetParam();
  const auto infos = ltInfos(side.name);
  Decoder decoder(Params{1024, 250});
  Bytes stream;
  std::size_t wire = 0;
  std::vector<std::size_t> ltEnds;
  for (const Bytes& info : infos) {
    ASSERT_EQ(decoder.decode(info, stream), Decoder::Status::Ok) << "LT " << ltEnds.size() + 1;
    wire += info.size();
    ltEnds.push_back(stream.size());
  }
  EXPECT_EQ(wire, side.wireBytes);
  EXPECT_EQ(stream.size(), side.decodedBytes);
  std::vector<std::string> commands;
  for (const auto& frame : dockFrames(stream)) commands.push_back(frame.command);
  EXPECT_EQ(commands, side.commands);
  EXPECT_TRUE(decoder.compressed());  // each side changed mode once, in its second LT
  EXPECT_EQ(decoder.stepUps(), 1u);   // from 9- to 10-bit codewords, as its dictionary passed 512 entries

  // Every LT the Newton sent is one whole message; the desktop's package is a package.
  if (std::string_view(side.name) == kNewton.name) {
    std::vector<std::size_t> frameEnds;
    for (const auto& frame : dockFrames(stream)) frameEnds.push_back(frame.end);
    EXPECT_EQ(ltEnds, frameEnds);
  } else {
    const DockFrame lpkg = dockFrames(stream).at(18);
    EXPECT_EQ(lpkg.length, 4488u);
    EXPECT_EQ(std::string(stream.begin() + lpkg.start, stream.begin() + lpkg.start + 7), "package");
  }
}

TEST_P(RecordedSession, DecodesTheSameWholeAndByteByByte) {
  Bytes wire, inLts, whole, single;
  Decoder byLt(Params{1024, 250}), atOnce(Params{1024, 250}), byByte(Params{1024, 250});
  for (const Bytes& info : ltInfos(GetParam().name)) {
    byLt.decode(info, inLts);
    wire.insert(wire.end(), info.begin(), info.end());
  }
  atOnce.decode(wire, whole);
  for (std::uint8_t byte : wire) byByte.decode(std::span(&byte, 1), single);
  EXPECT_EQ(whole, inLts);
  EXPECT_EQ(single, inLts);
}

// The encoder, fed each side's messages with a flush wherever that side flushed, makes its exact wire bytes:
// the same mode choice, string matching, step-up, flushes and, for the desktop's package, dictionary recycling.
TEST_P(RecordedSession, EncodingTheMessagesAgainGivesTheSameWireBytes) {
  Bytes wire;
  for (const Bytes& info : ltInfos(GetParam().name)) wire.insert(wire.end(), info.begin(), info.end());
  Decoder decoder(Params{1024, 250});
  Bytes stream;
  std::vector<std::size_t> flushedAt;
  for (std::uint8_t byte : wire) {
    const auto flushes = decoder.flushes();
    decoder.decode(std::span(&byte, 1), stream);
    if (decoder.flushes() != flushes) flushedAt.push_back(stream.size());
  }
  Encoder encoder(Params{1024, 250});
  Bytes again;
  std::size_t from = 0;
  for (std::size_t end : flushedAt) {
    encoder.encode(std::span(stream.data() + from, end - from), again);
    encoder.flush(again);
    from = end;
  }
  EXPECT_EQ(from, stream.size());
  EXPECT_EQ(again, wire);
  EXPECT_EQ(encoder.modeChanges(), 1u);
  if (std::string_view(GetParam().name) == kDesktop.name) {
    EXPECT_GT(decoder.recycled(), 1000u);  // its dictionary filled and was recycled several times over
  }
}

INSTANTIATE_TEST_SUITE_P(Sides, RecordedSession, ::testing::Values(kNewton, kDesktop),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skiff::v42bis
