#include <gtest/gtest.h>

#include "package/dock_frame.h"
#include "package/dock_result.h"
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

TEST(DockResult, ReadableForm) {
  EXPECT_EQ(dock::resultText(-10401), "-10401 (bad package)");
  EXPECT_EQ(dock::resultText(-10402), "-10402 (package already exists)");
  EXPECT_EQ(dock::resultText(-28013), "-28013 (docking cancelled)");
  EXPECT_EQ(dock::resultText(-10617), "-10617 (store full)");
  EXPECT_EQ(dock::resultText(-5), "-5 (unknown result)");
}

}  // namespace
}  // namespace skiff
