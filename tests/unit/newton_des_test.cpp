#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "crypto/newton_des.h"

namespace skiff {
namespace {

// The published vectors of the password exchange: the key of a password, or a block encrypted under it (the
// challenges of the open-source desktops' tests, and both "pass" values of a recorded session with a Newton that
// had no password).
struct DesVector {
  std::u16string_view password;
  std::optional<std::uint64_t> block;  // none: the row is the password's key
  std::uint64_t expected;
};

constexpr DesVector kVectors[] = {
    {u"", std::nullopt, 0xF207BF4F851B167D},
    {u"", 0xF43291F715464670, 0x81AA29861EA0C5D2},
    {u"", 0x00540F04FFC4A990, 0xF51C31DA8AA66D2C},
    {u"", 0x000F1F6BFF82DDCB, 0xDB2406E5C107365A},
    {u"", 0xFF8DAAB8002041D5, 0xF6EBA137F3699EA5},
    {u"", 0xE44A20F000000284, 0xBA0E8DC8D32A4674},  // the Newton's "pass" for the desktop's key
    {u"", 0xFFB04B4700478BC9, 0x3B0B54DD5405FA97},  // the desktop's "pass" for the Newton's key
    {u"a", std::nullopt, 0xC72AC2DD6F1BFD0B},
    {u"abcd", std::nullopt, 0x8D1C32F2B3BCFD55},  // four units: the terminator needs a block of its own
    {u"newton", std::nullopt, 0x751905C12B91ABBA},
    {u"Password1", std::nullopt, 0x217CF7D13EF21CAE},
};

TEST(NewtonDes, PublishedVectors) {
  for (const auto& row : kVectors) {
    const std::uint64_t key = crypto::passwordKey(row.password);
    const std::uint64_t got = row.block ? crypto::newtonDes(key, *row.block) : key;
    EXPECT_EQ(got, row.expected) << "password of " << row.password.size() << " units, block "
                                 << std::hex << row.block.value_or(0);
  }
}

TEST(NewtonDes, WeakKeyStillEncrypts) {
  // Key 0 is DES's weak key 0101010101010101; the value is standard DES under it (checked with another library).
  EXPECT_EQ(crypto::newtonDes(0, 0x0123456789ABCDEF), 0x617B3A0CE8F07100u);
}

TEST(NewtonDes, Utf8PasswordIsItsUtf16Units) {
  EXPECT_EQ(crypto::passwordKey(std::string_view("Password1")), 0x217CF7D13EF21CAEu);
  EXPECT_EQ(crypto::passwordKey(std::string_view("n\xC3\xA9wt\xF0\x9F\x98\x80")), crypto::passwordKey(u"n\u00E9wt\U0001F600"));
}

}  // namespace
}  // namespace skiff
