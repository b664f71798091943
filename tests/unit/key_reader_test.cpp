// The keys a terminal sends, as the Newton gets them: text runs, Return, Tab, Backspace, arrows, Alt as the
// command key, the end; the same whether the bytes come in one read or a byte at a time; and the frames they go
// in, a pasted block in pieces that never part a surrogate pair.
#include <gtest/gtest.h>

#include "keyboard/key_frames.h"
#include "keyboard/key_reader.h"

namespace skiff::keyboard {
namespace {

// Runs of text merged, so that how the bytes were read does not matter.
std::vector<KeyStroke> merged(const std::vector<KeyStroke>& strokes) {
  std::vector<KeyStroke> out;
  for (const KeyStroke& s : strokes) {
    if (s.kind == KeyStroke::Text && !out.empty() && out.back().kind == KeyStroke::Text) {
      out.back().text += s.text;
    } else {
      out.push_back(s);
    }
  }
  return out;
}

KeyStroke text(std::u16string t) { return {KeyStroke::Text, std::move(t), 0, 0}; }
KeyStroke key(char16_t k, std::uint16_t state = 0) { return {KeyStroke::Key, {}, k, state}; }
const KeyStroke kEnd{KeyStroke::End, {}, 0, 0};

struct KeysCase {
  const char* label;
  std::string bytes;
  std::vector<KeyStroke> strokes;  // after flush()
};

class TerminalKeysTable : public ::testing::TestWithParam<KeysCase> {};

TEST_P(TerminalKeysTable, OneReadOrByteByByte) {
  const KeysCase& c = GetParam();
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
  TerminalKeys whole;
  std::vector<KeyStroke> once = whole.feed(bytes);
  for (const KeyStroke& s : whole.flush()) once.push_back(s);
  EXPECT_EQ(merged(once), c.strokes);
  TerminalKeys single;
  std::vector<KeyStroke> each;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    for (const KeyStroke& s : single.feed(bytes.subspan(i, 1))) each.push_back(s);
  for (const KeyStroke& s : single.flush()) each.push_back(s);
  EXPECT_EQ(merged(each), c.strokes);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TerminalKeysTable,
    ::testing::Values(
        KeysCase{"TextReturnAndTab", "Hi\tthere\r", {text(u"Hi\tthere\r")}},
        KeysCase{"APastedCrLfIsOneReturn", "a\r\nb\nc", {text(u"a\rb\rc")}},
        KeysCase{"Utf8", "caf\xC3\xA9 \xF0\x9F\x98\x80", {text(u"caf\u00E9 \U0001F600")}},
        KeysCase{"BackspaceAsDelOrBs", "ab\x7F\x08", {text(u"ab"), key(kBackspaceKey), key(kBackspaceKey)}},
        KeysCase{"Arrows", "\x1B[A\x1B[B\x1B[C\x1B[D\x1BOD",
                 {key(kUpArrowKey), key(kDownArrowKey), key(kRightArrowKey), key(kLeftArrowKey), key(kLeftArrowKey)}},
        KeysCase{"ArrowWithAModifier", "x\x1B[1;5Cy", {text(u"x"), key(kRightArrowKey), text(u"y")}},
        KeysCase{"OtherSequencesDropped", "a\x1B[3~\x1B[15~b", {text(u"ab")}},
        KeysCase{"AltIsTheCommandKey", "\x1Bz\x1B" "C", {key(u'z', kCommandKeyState), key(u'C', kCommandKeyState)}},
        KeysCase{"ALoneEscapeIsNothing", "a\x1B", {text(u"a")}},
        KeysCase{"ControlCharactersDropped", "a\x01\x1A" "b", {text(u"ab")}},
        KeysCase{"CtrlBracketEndsAndNothingAfterCounts", "ok\x1D" "lost", {text(u"ok"), kEnd}},
        KeysCase{"CtrlCEndsToo", "\x1B[D\x03", {key(kLeftArrowKey), kEnd}},
        KeysCase{"AnEndBreaksASequenceOff", "\x1B[1\x1D", {kEnd}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(KeyFrames, KeysAndSingleCharactersAsKbdcRunsAsKbdsPieces) {
  using B = std::vector<std::uint8_t>;
  EXPECT_EQ(keyFrames(key(kLeftArrowKey)), (std::vector<KeyFrame>{{"kbdc", B{0x00, 0x1C, 0x00, 0x00}}}));
  EXPECT_EQ(keyFrames(key(u'z', kCommandKeyState)), (std::vector<KeyFrame>{{"kbdc", B{0x00, 'z', 0x00, 0x02}}}));
  EXPECT_EQ(keyFrames(text(u"\r")), (std::vector<KeyFrame>{{"kbdc", B{0x00, 0x0D, 0x00, 0x00}}}));
  EXPECT_EQ(keyFrames(text(u"ab")), (std::vector<KeyFrame>{{"kbds", B{0, 'a', 0, 'b', 0, 0}}}));
  EXPECT_TRUE(keyFrames(kEnd).empty());
  // 9 units in pieces of 4, the pair at units 3 and 4 kept together: 3, 4, 2.
  const std::u16string run = u"abc\U0001F600defg";
  const auto pieces = keyFrames(text(run), 4);
  std::vector<std::size_t> sizes;
  std::u16string joined;
  for (const KeyFrame& f : pieces) {
    EXPECT_EQ(f.command, "kbds");
    sizes.push_back(f.data.size() / 2 - 1);
    for (std::size_t i = 0; i + 3 < f.data.size(); i += 2) joined += static_cast<char16_t>(f.data[i] << 8 | f.data[i + 1]);
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{3, 4, 2}));
  EXPECT_EQ(joined, run);
  EXPECT_EQ(characterCount(run), 8u);
}

}  // namespace
}  // namespace skiff::keyboard
