#include <gtest/gtest.h>

#include "dock/frame.h"
#include "dock/result.h"
#include "tests/support/scripted_link.h"

namespace skiff {
namespace {

using test::Bytes;
using test::bytesOf;

TEST(DockFrame, EncodesHeaderLengthDataAndPadding) {
  const Bytes data = {1, 2, 3, 4, 5};
  const auto frame = dock::encodeFrame("lpkg", data);
  Bytes expected = bytesOf("newtdocklpkg");
  expected.insert(expected.end(), {0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0});
  EXPECT_EQ(frame, expected);
  EXPECT_EQ(dock::encodeLongFrame("stim", 30), (Bytes{'n', 'e', 'w', 't', 'd', 'o', 'c', 'k', 's', 't', 'i', 'm',
                                                      0, 0, 0, 4, 0, 0, 0, 0x1E}));
  EXPECT_EQ(dock::encodeLongFrame("dres", -10401).back(), 0x5F);
}

TEST(DockFrame, PaddingToFourBytes) {
  EXPECT_EQ(dock::padFor(0), 0u);
  EXPECT_EQ(dock::padFor(1), 3u);
  EXPECT_EQ(dock::padFor(90), 2u);
  EXPECT_EQ(dock::padFor(5000), 0u);
  EXPECT_EQ(dock::padFor(5001), 3u);
}

TEST(DockCursor, ErrorSticksAfterReadingPastTheEnd) {
  const Bytes bytes = {0x00, 0x01, 0x11, 0x70, 0xAB};
  dock::Cursor cursor(bytes);
  EXPECT_EQ(cursor.u32(), 70000u);
  EXPECT_EQ(cursor.u16(), 0u);  // only one byte left
  EXPECT_FALSE(cursor.ok());
  EXPECT_EQ(cursor.u8(), 0u);   // stays failed even though a byte would fit
  EXPECT_EQ(cursor.remaining(), 0u);
}

// Three ways to feed the reader: whole, one byte at a time, and with junk around the frames.
enum class Feed { Whole, ByteByByte, WithJunk };

class FrameReaderFeeds : public ::testing::TestWithParam<Feed> {};

TEST_P(FrameReaderFeeds, YieldsEveryFrameWithItsPadding) {
  Bytes stream;
  const auto add = [&](const Bytes& frame) { stream.insert(stream.end(), frame.begin(), frame.end()); };
  if (GetParam() == Feed::WithJunk) add(bytesOf("xxnewtnewtdoc"));
  add(dock::encodeLongFrame("dres", 0));
  add(dock::encodeFrame("name", Bytes(90, 0x41)));
  if (GetParam() == Feed::WithJunk) add(bytesOf("garbage"));
  add(dock::encodeFrame("helo", {}));
  add(dock::encodeFrame("lpkg", Bytes(5001, 0x7E)));

  dock::FrameReader reader(1000);
  if (GetParam() == Feed::ByteByByte) {
    for (auto byte : stream) reader.feed(std::span<const std::uint8_t>(&byte, 1));
  } else {
    reader.feed(stream);
  }
  std::vector<dock::Frame> frames;
  while (reader.hasFrame()) frames.push_back(reader.next());
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].command, "dres");
  EXPECT_EQ(frames[0].data, (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(frames[1].command, "name");
  EXPECT_EQ(frames[1].length, 90u);
  EXPECT_EQ(frames[1].padding, 2u);
  EXPECT_EQ(frames[2].command, "helo");
  EXPECT_EQ(frames[2].length, 0u);
  EXPECT_EQ(frames[3].length, 5001u);
  EXPECT_EQ(frames[3].data.size(), 1000u);  // kept up to the limit, the rest dropped
  EXPECT_EQ(frames[3].padding, 3u);
  EXPECT_FALSE(reader.inFrame());
}

INSTANTIATE_TEST_SUITE_P(Feeds, FrameReaderFeeds, ::testing::Values(Feed::Whole, Feed::ByteByByte, Feed::WithJunk));

TEST(FrameReader, AbandonedFrameResyncsOnTheNextSignature) {
  dock::FrameReader reader(100);
  Bytes start = dock::encodeFrame("lpkg", Bytes(400, 1));
  start.resize(16 + 100);  // the peer gave up on this frame
  reader.feed(start);
  EXPECT_TRUE(reader.inFrame());
  EXPECT_EQ(reader.currentDataReceived(), 100u);
  reader.abandonFrame();
  reader.feed(Bytes(30, 1));  // late bytes of the abandoned frame
  reader.feed(dock::encodeFrame("disc", {}));
  ASSERT_TRUE(reader.hasFrame());
  EXPECT_EQ(reader.next().command, "disc");
}

// Frames that give no length (0xFFFFFFFF): an ID list ends at its 8000 word and its padding; any other such frame
// where the next frame's signature begins.
struct UnknownLengthCase {
  const char* name;
  Bytes stream;
  Bytes data;  // of the first frame
  std::size_t padding;
};

Bytes unknownLength(const char* command, const Bytes& rest) {
  Bytes out = bytesOf(std::string("newtdock") + command);
  out.insert(out.end(), {0xFF, 0xFF, 0xFF, 0xFF});
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

class UnknownLength : public ::testing::TestWithParam<UnknownLengthCase> {};

TEST_P(UnknownLength, EndsWhereItsDataSays) {
  const UnknownLengthCase& c = GetParam();
  dock::FrameReader reader(1000);
  Bytes stream = c.stream;
  const Bytes next = dock::encodeFrame("bsdn", {});
  stream.insert(stream.end(), next.begin(), next.end());
  for (auto byte : stream) reader.feed(std::span<const std::uint8_t>(&byte, 1));
  ASSERT_TRUE(reader.hasFrame());
  const dock::Frame first = reader.next();
  EXPECT_EQ(first.data, c.data);
  EXPECT_EQ(first.padding, c.padding);
  ASSERT_TRUE(reader.hasFrame());
  EXPECT_EQ(reader.next().command, "bsdn");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnknownLength,
    ::testing::Values(
        // The Dante Connection Protocol ERS's example: IDs 0-4, 10, 20, 21, 30-32; eight words, no padding.
        UnknownLengthCase{"IdListOfEightWords",
                          unknownLength("bids", {0, 0, 0xFF, 0xFC, 0, 0x0A, 0, 0x14, 0xFF, 0xFF, 0, 0x1E, 0xFF, 0xFE, 0x80, 0}),
                          {0, 0, 0xFF, 0xFC, 0, 0x0A, 0, 0x14, 0xFF, 0xFF, 0, 0x1E, 0xFF, 0xFE, 0x80, 0}, 0},
        UnknownLengthCase{"IdListOfThreeWordsIsPadded", unknownLength("bids", {0, 7, 0xFF, 0xFF, 0x80, 0, 0, 0}),
                          {0, 7, 0xFF, 0xFF, 0x80, 0}, 2},
        UnknownLengthCase{"OtherFrameEndsAtTheNextSignature", unknownLength("cres", bytesOf("newt!newtdoc")),
                          bytesOf("newt!newtdoc"), 0}),
    [](const auto& info) { return info.param.name; });

// A frame larger than the reader keeps goes to the sink whole, piece by piece; the frame still arrives, cut.
TEST(FrameReader, ALargeFrameGoesToTheSinkWhole) {
  struct Sink : dock::FrameSink {
    Bytes got;
    int ends = 0;
    void begin(const std::string& command, std::uint32_t length) override { EXPECT_EQ(command + std::to_string(length), "entr70001"); }
    void piece(std::span<const std::uint8_t> bytes) override { got.insert(got.end(), bytes.begin(), bytes.end()); }
    void end() override { ++ends; }
  } sink;
  Bytes data(70001);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13);
  const Bytes stream = dock::encodeFrame("entr", data);
  dock::FrameReader reader(100);
  reader.setSink(&sink);
  for (std::size_t at = 0; at < stream.size(); at += 999)
    reader.feed(std::span(stream).subspan(at, std::min<std::size_t>(999, stream.size() - at)));
  EXPECT_EQ(sink.got, data);
  EXPECT_EQ(sink.ends, 1);
  ASSERT_TRUE(reader.hasFrame());
  const dock::Frame frame = reader.next();
  EXPECT_TRUE(frame.cut);
  EXPECT_EQ(frame.data.size(), 100u);
  EXPECT_EQ(frame.padding, 3u);
}

TEST(DockResult, ReadableForm) {
  EXPECT_EQ(dock::resultText(-10401), "-10401 (bad package)");
  EXPECT_EQ(dock::resultText(-10402), "-10402 (package already exists)");
  EXPECT_EQ(dock::resultText(-28013), "-28013 (docking cancelled)");
  EXPECT_EQ(dock::resultText(-10617), "-10617 (store full)");
  EXPECT_EQ(dock::resultText(-5), "-5 (unknown result)");
}

}  // namespace
}  // namespace skiff
