#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dock/backup_ids.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_link.h"

namespace skiff {
namespace {

using test::Bytes;
using test::fromHex;
using test::hexOf;

std::vector<std::uint32_t> range(std::uint32_t first, std::uint32_t last) {
  std::vector<std::uint32_t> ids;
  for (std::uint32_t id = first; id <= last; ++id) ids.push_back(id);
  return ids;
}

const std::vector<std::uint32_t> kErsIds = {0, 1, 2, 3, 4, 10, 20, 21, 30, 31, 32};

struct DecodeCase {
  std::string_view words;
  std::uint32_t base;
  std::vector<std::uint32_t> ids;  // when the words are good
  std::size_t size;
  std::string_view error;          // else: what the error says
  bool truncated;
};

TEST(BackupIds, Decode) {
  const DecodeCase cases[] = {
      {"0000 FFFC 000A 0014 FFFF 001E FFFE 8000", 0, kErsIds, 16, "", false},  // the ERS example, no pad
      {"0005 FFFE 8000 0000", 0x10000, {0x10005, 0x10006, 0x10007}, 8, "", false},
      {"0003 8000 6E65 7774", 0, {3}, 4, "", false},                          // the next frame is left alone
      {"0003 0005 8000 0000 6E65", 0, {3, 5}, 8, "", false},                  // odd word count: two pad bytes
      {"FFFF 8000", 0, {}, 0, "a run of 1 at word 0 follows no ID", false},
      {"0005 0003 8000 0000", 0, {}, 0, "ID 3 at word 1 is not above the one before", false},
      {"0001 FFFF", 0, {}, 0, "no terminator 8000 after 2 words", true},
      {"0001 0002 8000", 0, {}, 0, "the pad after the terminator is missing", true},
      {"0001 8000", 0xFFFFFFFF, {}, 0, "ID beyond 32 bits at word 0", false},
  };
  for (const auto& c : cases) {
    const auto got = dock::decodeBackupIds(fromHex(c.words), c.base);
    EXPECT_EQ(got.error, c.error) << c.words;
    EXPECT_EQ(got.truncated, c.truncated) << c.words;
    if (c.error.empty()) {
      EXPECT_EQ(got.ids, c.ids) << c.words;
      EXPECT_EQ(got.size, c.size) << c.words;
    }
  }
}

TEST(BackupIds, HostileRunsAreBounded) {
  Bytes words = fromHex("0000");
  for (int i = 0; i < 40; ++i) words.insert(words.end(), {0x80, 0x01});  // 32767 more IDs each
  words.insert(words.end(), {0x80, 0x00});
  const auto got = dock::decodeBackupIds(words, 0);
  EXPECT_EQ(got.error, "more IDs than a store holds at word 33");
}

struct EncodeCase {
  std::vector<std::uint32_t> ids;
  std::uint32_t base;
  std::vector<std::string> messages;  // command, then the data in hex words
};

TEST(BackupIds, EncodeAndDecodeBack) {
  const EncodeCase cases[] = {
      {kErsIds, 0, {"bids 0000 FFFC 000A 0014 FFFF 001E FFFE 8000"}},
      {{}, 0, {}},
      {{5, 3, 3, 4}, 0, {"bids 0003 FFFE 8000 0000"}},
      {{0x7FFF, 0x8000}, 0, {"bids 7FFF 8000", "base 0000 8000", "bids 0000 8000"}},
      {{0x7FFE, 0x7FFF, 0x8000, 0x8001}, 0, {"bids 7FFE FFFF 8000 0000", "base 0000 8000", "bids 0000 FFFF 8000 0000"}},
      {range(0, 39999), 0, {"bids 0000 8001 8000 0000", "base 0000 8000", "bids 0000 E3C1 8000 0000"}},
      {{0x40000000, 0x40000002}, 0, {"base 4000 0000", "bids 0000 0002 8000 0000"}},
      {{3, 9}, 5, {"base 0000 0003", "bids 0000 0006 8000 0000"}},
  };
  for (const auto& c : cases) {
    const auto messages = dock::encodeBackupIds(c.ids, c.base);
    std::vector<std::string> got;
    std::vector<std::uint32_t> decoded;
    std::uint32_t base = c.base;
    for (const auto& m : messages) {
      got.push_back(m.command + " " + hexOf(m.data));
      if (m.command == "base") {
        base = static_cast<std::uint32_t>(m.data[0] << 24 | m.data[1] << 16 | m.data[2] << 8 | m.data[3]);
        continue;
      }
      const auto ids = dock::decodeBackupIds(m.data, base);
      ASSERT_TRUE(ids.ok()) << ids.error;
      EXPECT_EQ(ids.size, m.data.size());
      decoded.insert(decoded.end(), ids.ids.begin(), ids.ids.end());
    }
    EXPECT_EQ(got, c.messages);
    auto expected = c.ids;
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(decoded, expected);
  }
}

TEST(BackupIds, BidsFrameHasIndeterminateLength) {
  const auto frame = dock::backupIdFrame({"bids", fromHex("0003 8000")});
  EXPECT_EQ(hexOf(frame), hexOf(test::bytesOf("newtdockbids")) + " FFFF FFFF 0003 8000");
  EXPECT_EQ(dock::backupIdFrame({"base", fromHex("0000 8000")}).size(), 20u);
}

}  // namespace
}  // namespace skiff
