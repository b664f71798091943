// Desktop text into Newton text: UTF-8 (with or without its byte-order mark) or Windows-1252, line ends as CR,
// the same whether the bytes come whole or a byte at a time; and which bytes are UTF-8 at all.
#include <gtest/gtest.h>

#include "dock/desktop_text.h"

namespace skiff::dock {
namespace {

struct DecodeCase {
  const char* label;
  std::string bytes;
  TextEncoding encoding;
  std::u16string text;
};

class Decoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, WholeAndByteByByteAlike) {
  const DecodeCase& c = GetParam();
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
  EXPECT_EQ(newtonText(bytes, c.encoding), c.text);
  DesktopTextDecoder decoder(c.encoding);
  std::u16string pieces;
  for (std::size_t i = 0; i < bytes.size(); ++i) decoder.feed(bytes.subspan(i, 1), pieces);
  decoder.finish(pieces);
  EXPECT_EQ(pieces, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Decoding,
    ::testing::Values(
        DecodeCase{"LineEndsAllBecomeCr", "a\r\nb\nc\rd\r\n\r\ne", TextEncoding::Utf8, u"a\rb\rc\rd\r\re"},
        DecodeCase{"ByteOrderMarkDropped", "\xEF\xBB\xBFhi", TextEncoding::Utf8, u"hi"},
        DecodeCase{"OnlyALeadingMark", "a\xEF\xBB\xBF", TextEncoding::Utf8, u"a\uFEFF"},
        DecodeCase{"TwoThreeAndFourBytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", TextEncoding::Utf8,
                   u"\u00E9\u20AC\U0001F600"},
        // A byte that starts no sequence, or a sequence broken off, is Windows-1252: nothing is lost.
        DecodeCase{"StrayBytesAsWindows1252", "caf\xE9 \x80 \xE2\x82", TextEncoding::Utf8, u"caf\u00E9 \u20AC \u00E2\u201A"},
        DecodeCase{"OverlongAndSurrogateRefused", "\xC0\xAF\xED\xA0\x80", TextEncoding::Utf8,
                   u"\u00C0\u00AF\u00ED\u00A0\u20AC"},
        DecodeCase{"Windows1252Throughout", "\x93quoted\x94 \xC3\xA9 \x81", TextEncoding::Windows1252,
                   u"\u201Cquoted\u201D \u00C3\u00A9 \u0081"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Utf8Check, TellsUtf8FromTheRest) {
  const std::pair<std::string, bool> cases[] = {
      {"plain", true},           {"\xC3\xA9", true},          {"\xF4\x8F\xBF\xBF", true},
      {"\xC3", false},           {"\xE9t\xE9", false},        {"\xE0\x80\x80", false},
      {"\xED\xA0\x80", false},   {"\xF4\x90\x80\x80", false}, {"\xC1\x81", false}};
  for (const auto& [bytes, valid] : cases) {
    Utf8Check check;
    check.feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    EXPECT_EQ(check.valid(), valid) << bytes;
  }
}

}  // namespace
}  // namespace skiff::dock
