// What the import makes of a text file before anything goes: whether it is text and its encoding, where long
// text is cut into notes and what they are titled, the note's frame with the slots Notes keeps, and its date.
#include <gtest/gtest.h>

#include "dock/nsof.h"
#include "import/note_frame.h"
#include "import/note_split.h"
#include "import/text_file.h"
#include "tests/support/temp_dir.h"

namespace skiff::import {
namespace {

struct CutCase {
  const char* label;
  std::u16string text;
  std::size_t limit;
  std::size_t end;
};

TEST(NoteEnd, AtALineEndElseASpaceElseTheLimit) {
  const CutCase cases[] = {
      {"Fits", u"short text", 10, 10},
      {"AfterTheLastLineEnd", u"aaaa\rbb cc\rdddd", 12, 11},
      {"AfterTheLastSpace", u"aaaa bb cccccc", 12, 8},
      {"LineEndBeforeTheHalfLosesToASpace", u"a\rbbbbbbbb cc", 12, 11},
      {"NoBoundaryAtAll", u"abcdefghijklmnop", 12, 12},
      {"NeverBetweenASurrogatePair", u"abcdefghijk\U0001F600xyz", 12, 11},
      {"TabCounts", u"aaaaaaa\tbbbbbbbb", 12, 8},
  };
  for (const CutCase& c : cases) EXPECT_EQ(noteEnd(c.text, c.limit), c.end) << c.label;
  EXPECT_EQ(noteTitle(u"letter.txt", 1), u"letter.txt");
  EXPECT_EQ(noteTitle(u"letter.txt", 12), u"letter.txt (12)");
}

struct ScanCase {
  std::string bytes;
  std::string problem;
  dock::TextEncoding encoding;
};

TEST(TextScan, TextOrNotAndItsEncoding) {
  using dock::TextEncoding;
  const ScanCase cases[] = {
      {"plain\r\n\ttabbed\f", "", TextEncoding::Utf8},
      {"\xEF\xBB\xBF" "caf\xC3\xA9", "", TextEncoding::Utf8},
      {"caf\xE9", "", TextEncoding::Windows1252},
      {"", "", TextEncoding::Utf8},
      {std::string("text\0more", 9), "a control character, 0x00, at byte 5", TextEncoding::Utf8},
      {"end\x1A", "a control character, 0x1A, at byte 4", TextEncoding::Utf8},
  };
  for (const ScanCase& c : cases) {
    TextScan scan;
    scan.feed(std::span(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()));
    EXPECT_EQ(scan.problem(), c.problem) << c.bytes;
    if (c.problem.empty()) {
      EXPECT_EQ(scan.encoding(), c.encoding) << c.bytes;
    }
  }
}

// A file far longer than a note: every note within the limit, cut after a space, and together the whole text.
TEST(NoteReader, ReadsTheFileANoteAtATimeLosingNothing) {
  test::TempDir dir;
  std::string text;
  for (int i = 0; text.size() < 70000; ++i) text += "word" + std::to_string(i) + (i % 17 == 16 ? "\r\n" : " ");
  NoteReader reader(dir.file("long.txt", text), dock::TextEncoding::Utf8);
  std::vector<std::u16string> notes;
  while (auto note = reader.next()) notes.push_back(*note);
  EXPECT_EQ(reader.problem(), "");
  std::u16string joined;
  for (std::size_t i = 0; i < notes.size(); ++i) {
    EXPECT_LE(notes[i].size(), kNoteUnits);
    if (i + 1 < notes.size()) {
      EXPECT_TRUE(notes[i].back() == u' ' || notes[i].back() == u'\r') << i;
    }
    joined += notes[i];
  }
  std::string expected = text;
  for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;) expected.erase(at + 1, 1);
  EXPECT_EQ(nsof::utf8FromUtf16(joined), expected);
  EXPECT_GE(notes.size(), expected.size() / kNoteUnits + 1);
  NoteReader empty(dir.file("empty.txt", ""), dock::TextEncoding::Utf8);
  EXPECT_EQ(empty.next(), std::u16string());  // an empty file is one empty note
  EXPECT_EQ(empty.next(), std::nullopt);
  NoteReader gone(dir.path() + "/gone.txt", dock::TextEncoding::Utf8);
  EXPECT_EQ(gone.next(), std::nullopt);
  EXPECT_EQ(gone.problem(), dir.path() + "/gone.txt: No such file or directory");
}

// The slots of a plain note, and a paragraph as wide as the Newton's screen and as tall as its text.
TEST(PlainNoteFrame, HasTheSlotsNotesKeeps) {
  struct Case {
    int screenWidth;
    std::u16string text;
    int right;
  };
  const Case cases[] = {{320, u"one line", 315}, {480, u"one line", 475}, {0, u"no width given", 315},
                        {320, std::u16string(4000, u'x'), 315}};
  for (const Case& c : cases) {
    const auto bytes = plainNoteFrame({u"Caf\u00E9.txt (2)", c.text, 64'870'920, c.screenWidth});
    const nsof::Decoded note = nsof::decode(bytes);
    ASSERT_TRUE(note.ok()) << note.error->message();
    const nsof::Node n = note.node();
    EXPECT_TRUE(n.slot("class").isSymbol("paperroll"));
    EXPECT_TRUE(n.slot("viewStationery").isSymbol("paperroll"));
    EXPECT_EQ(n.slot("title").asText(), "Caf\u00E9.txt (2)");
    EXPECT_TRUE(n.hasSlot("labels") && n.slot("labels").isNil());
    EXPECT_EQ(n.slot("timeStamp").asInt(), 64'870'920);
    ASSERT_EQ(n.slot("data").size(), 1u);
    const nsof::Node para = n.slot("data").element(0);
    EXPECT_TRUE(para.slot("viewStationery").isSymbol("para"));
    EXPECT_EQ(para.slot("text").asUtf16(), c.text);
    const nsof::Node bounds = para.slot("viewBounds");
    EXPECT_EQ(bounds.slot("left").asInt(), 5);
    EXPECT_EQ(bounds.slot("top").asInt(), 5);
    EXPECT_EQ(bounds.slot("right").asInt(), c.right);
    const int bottom = bounds.slot("bottom").asInt().value_or(0);
    EXPECT_EQ(bottom, 5 + paragraphHeight(c.text, c.right + 5));
    EXPECT_GE(n.slot("height").asInt().value_or(0), bottom);
  }
  // 4,000 characters on a 320-pixel screen take far more than the 500 pixels a short note gets.
  EXPECT_EQ(paragraphHeight(u"short", 320), 500);
  EXPECT_GT(paragraphHeight(std::u16string(4000, u'x'), 320), 1000);
  EXPECT_GT(paragraphHeight(std::u16string(80, u'\r'), 320), 1000);
}

TEST(NewtonTime, MinutesSince1904InLocalTime) {
  EXPECT_EQ(minutesSince1904(0), 34'714'080);                 // 1970
  EXPECT_EQ(minutesSince1904(59), 34'714'080);
  EXPECT_EQ(minutesSince1904(-1), 34'714'079);                // a second before 1970
  EXPECT_EQ(minutesSince1904(1'797'069'600), 64'665'240);     // 12 December 2026 10:00
  EXPECT_EQ(minutesSince1904(-2'082'844'800), 0);             // 1 January 1904
}

}  // namespace
}  // namespace skiff::import
