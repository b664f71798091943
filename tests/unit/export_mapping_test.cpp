// The export's mappings, each a table: phone classes to vCard types, repeat rules to RRULEs, Newton times to
// the files' forms, file names, paragraph order and list items, text escaping and folding, the Newton's text.
#include <gtest/gtest.h>

#include <cstdlib>

#include "export/content_line.h"
#include "export/export_time.h"
#include "export/file_names.h"
#include "export/icalendar.h"
#include "export/newton_text.h"
#include "export/note_text.h"
#include "export/repeat_rule.h"
#include "export/vcard.h"

namespace skiff::exporting {
namespace {

TEST(ExportMapping, PhoneClassesToVcardTypes) {
  const std::pair<const char*, const char*> cases[] = {
      {"homePhone", "HOME,VOICE"}, {"workPhone", "WORK,VOICE"}, {"faxPhone", "WORK,FAX"},
      {"homeFaxPhone", "HOME,FAX"}, {"homefaxphone", "HOME,FAX"}, {"mobilePhone", "CELL,VOICE"},
      {"carPhone", "CAR,CELL"},     {"beeperPhone", "PAGER"},     {"otherPhone", "VOICE"},
      {"phone", "VOICE"},           {"string", "VOICE"},
  };
  for (const auto& [cls, type] : cases) EXPECT_EQ(phoneType(cls), type) << cls;
}

TEST(ExportMapping, RepeatRules) {
  const std::int64_t start = 64'409'040;  // Wednesday 17 June 2026, 12:00 (the third Wednesday)
  const std::int64_t stop = 64'946'430;   // 25 June 2027, 16:30
  struct Case {
    std::int32_t type, info;
    std::optional<std::int64_t> stop;
    bool allDay;
    std::string rule, problem;
  };
  const Case cases[] = {
      {0, 0x400 | 0x100, {}, false, "FREQ=WEEKLY;BYDAY=MO,WE", ""},
      {0, 0x400 | 0x1F, kRepeatsForever, false, "FREQ=WEEKLY;BYDAY=MO", ""},
      {0, 0x200 | 0x10 | 0x04, {}, false, "FREQ=MONTHLY;BYDAY=1TU,3TU", ""},
      {0, 0, {}, false, "FREQ=WEEKLY;BYDAY=WE", ""},  // no day: the start's
      {1, 0x100 | 0x04, stop, false, "FREQ=MONTHLY;BYDAY=3WE;UNTIL=20270625T163000", ""},
      {1, 0x800 | 0x01, {}, false, "FREQ=MONTHLY;BYDAY=-1SU", ""},
      {1, 0x100, {}, false, "FREQ=MONTHLY;BYDAY=3WE", ""},  // no week: the start's
      {2, 17, stop, true, "FREQ=MONTHLY;BYMONTHDAY=17;UNTIL=20270625", ""},
      {2, 0, {}, false, "FREQ=MONTHLY;BYMONTHDAY=17", ""},
      {3, 1037, {}, true, "FREQ=YEARLY;BYMONTH=4;BYMONTHDAY=13", ""},  // the recorded family day
      {3, 0, {}, true, "FREQ=YEARLY;BYMONTH=6;BYMONTHDAY=17", ""},
      {4, 14, {}, false, "FREQ=DAILY;INTERVAL=14", ""},
      {4, 1, {}, false, "FREQ=DAILY", ""},
      {4, 0, {}, false, "", "repeats every 0 days"},
      {5, 0, stop, false, "", ""},
      {6, 0, {}, false, "", "repeatType 6 is none the Dates application knows"},
      {7, 0x80 | 0x02, {}, false, "FREQ=YEARLY;BYMONTH=6;BYDAY=4TH", ""},
      {7, 0x80, {}, false, "FREQ=YEARLY;BYMONTH=6;BYDAY=3TH", ""},
  };
  for (const Case& c : cases) {
    const RepeatRule rule = repeatRule(c.type, c.info, start, c.stop, c.allDay);
    EXPECT_EQ(rule.rule, c.rule) << c.type << " " << c.info;
    EXPECT_EQ(rule.problem, c.problem) << c.type << " " << c.info;
  }
}

TEST(ExportMapping, NewtonTimesInTheFilesForms) {
  EXPECT_EQ(icalDateTime(64'409'070), "20260617T123000");
  EXPECT_EQ(icalDate(64'409'070), "20260617");
  EXPECT_EQ(isoDate(49'587'840), "1998-04-13");
  EXPECT_EQ(icalDate(-5'000'000'000), "00000101");  // out of four digits: clamped, never past the buffer
  const char* const zone = std::getenv("TZ");
  const std::string saved = zone != nullptr ? zone : "";
  const std::pair<const char*, std::time_t> zones[] = {{"UTC0", 1'781'699'400},
                                                       {"CET-1CEST,M3.5.0,M10.5.0/3", 1'781'692'200}};
  for (const auto& [tz, expected] : zones) {  // 17 June 2026 12:30 local
    setenv("TZ", tz, 1);
    tzset();
    EXPECT_EQ(desktopTime(64'409'070), expected) << tz;
  }
  if (zone != nullptr) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

TEST(ExportMapping, FileNames) {
  struct Case {
    std::string wanted, extension, name;
  };
  const std::string longTitle(1000, 'x');
  const std::string longUmlauts = std::string(95, 'a') + "üüüü";
  const Case cases[] = {
      {"Plans 2026/27: Lisbon", ".txt", "Plans 2026_27_ Lisbon.txt"},
      {"  a\r\n\tb  ", ".txt", "a b.txt"},
      {"...", ".txt", "Note 7.txt"},
      {"..", ".txt", "Note 7 (2).txt"},
      {"CON", ".txt", "CON_.txt"},
      {"nul.txt", ".md", "nul.txt_.md"},
      {"A\x01<b>|c?*\"\\", ".md", "A__b__c____.md"},
      {longTitle, ".txt", std::string(96, 'x') + ".txt"},
      {longTitle, ".txt", std::string(92, 'x') + " (2).txt"},
      {"Plans 2026/27: LISBON", ".txt", "Plans 2026_27_ LISBON (2).txt"},  // taken, whatever the case
      {longUmlauts, ".md", std::string(95, 'a') + "üü.md"},  // cut after a character, not inside it
      {"Ünïcödé", ".txt", "Ünïcödé.txt"},
      {[] { std::string s; for (int i = 0; i < 100; ++i) s += "€"; return s; }(), ".txt",
       [] { std::string s; for (int i = 0; i < 83; ++i) s += "€"; return s + ".txt"; }()},  // 255 bytes at most
  };
  FileNamer namer;
  for (const Case& c : cases) EXPECT_EQ(namer.take(c.wanted, c.extension, "Note 7"), c.name) << c.wanted;
}

TEST(ExportMapping, ParagraphsInOnScreenOrder) {
  const Placement shapes[] = {{300, 5}, {120, 160}, {10, 5}, {std::nullopt, std::nullopt}, {120, 5}, {60, 5}, {120, 5}};
  EXPECT_EQ(onScreenOrder(shapes), (std::vector<std::size_t>{2, 5, 4, 6, 1, 0, 3}));
}

TEST(ExportMapping, ListItems) {
  struct Case {
    std::string text;
    int level;
    std::optional<bool> done;
    std::string item;
  };
  const Case cases[] = {
      {"Book", 1, std::nullopt, "- Book\n"},
      {"Book", 2, true, "  - [x] Book\n"},
      {"Pack", 3, false, "    - [ ] Pack\n"},
      {"two\nlines", 1, false, "- [ ] two\n      lines\n"},
      {"deep", 1'000'000, std::nullopt, std::string(62, ' ') + "- deep\n"},
      {"flat", -4, std::nullopt, "- flat\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(listItem(c.text, c.level, c.done), c.item) << c.text;
}

TEST(ExportMapping, TextEscapingAndFolding) {
  EXPECT_EQ(escapeText("a,b;c\\d\re\r\nf\ng"), "a\\,b\\;c\\\\d\\ne\\nf\\ng");
  for (const std::string& line : {std::string(200, 'x'), "SUMMARY:" + std::string(30, 'a') + std::string(60, '\0') + "é",
                                   "NOTE:" + [] { std::string s; for (int i = 0; i < 80; ++i) s += "ü€"; return s; }()}) {
    const std::string folded = foldedLine(line);
    std::string unfolded;
    std::size_t start = 0;
    while (start < folded.size()) {
      const std::size_t end = folded.find("\r\n", start);
      ASSERT_NE(end, std::string::npos);
      const std::string physical = folded.substr(start, end - start);
      EXPECT_LE(physical.size(), 75u);
      EXPECT_FALSE(!physical.empty() && (static_cast<unsigned char>(physical[start == 0 ? 0 : 1]) & 0xC0) == 0x80)
          << "a character split at the fold";
      unfolded += start == 0 ? physical : physical.substr(1);
      start = end + 2;
    }
    EXPECT_EQ(unfolded, line);
  }
}

TEST(ExportMapping, NewtonTextToUtf8) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"Call \uF700 about", "Call [ink] about"},  {u"a\rb\r\nc\nd", "a\nb\nc\nd"},
      {u"M\u00FCller", "M\xC3\xBCller"},           {std::u16string{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {std::u16string{u'x', 0xD800, u'y'}, "x\xEF\xBF\xBDy"},             {u"\uF701 kept", "\xEF\x9C\x81 kept"},
  };
  for (const auto& [units, text] : cases) EXPECT_EQ(readableText(units), text);
  EXPECT_EQ(readableText(u"a\rb", "\r\n"), "a\r\nb");
}

TEST(ExportMapping, CardEscapingAndWhatIsNoCard) {
  nsof::Graph graph;
  const auto name = graph.frame({{"first", graph.string("Ana")}, {"last", graph.string("Costa; Filhos")}});
  const auto card = graph.frame({{"class", graph.symbol("person")},
                                 {"name", name},
                                 {"company", graph.string("A, B \\ C", "company")},
                                 {"notes", graph.array({graph.frame({{"text", graph.string("one\rtwo")}})})}});
  const std::string vcard = vcardOf(graph.node(card), "u1").vcard;
  EXPECT_NE(vcard.find("\r\nN:Costa\\; Filhos;Ana;;;\r\n"), std::string::npos) << vcard;
  EXPECT_NE(vcard.find("\r\nORG:A\\, B \\\\ C\r\n"), std::string::npos) << vcard;
  EXPECT_NE(vcard.find("\r\nNOTE:one\\ntwo\r\n"), std::string::npos) << vcard;
  const auto group = graph.frame({{"class", graph.symbol("group")}});
  EXPECT_EQ(vcardOf(graph.node(group), "u2").problem, "a 'group' entry is no person, owner or company card");
}

TEST(ExportMapping, AnExceptionReplacesItsInstanceOrLeavesItOut) {
  nsof::Graph graph;
  const auto meeting = graph.frame({{"class", graph.symbol("meeting")},
                                    {"mtgStartDate", nsof::Value::integer(64'409'040)},
                                    {"mtgDuration", nsof::Value::integer(60)},
                                    {"mtgText", graph.string("Yoga")},
                                    {"repeatType", nsof::Value::integer(0)},
                                    {"mtgInfo", nsof::Value::integer(0x100)}});
  const auto moved = graph.frame({{"mtgStartDate", nsof::Value::integer(64'419'180)}, {"repeatTemplate", meeting}});
  graph.setSlot(meeting, "exceptions",
                graph.array({graph.array({nsof::Value::integer(64'419'120), moved}),
                             graph.array({nsof::Value::integer(64'429'200), nsof::Value::nil()})}));
  const std::string text = meetingComponents(graph.node(meeting), "u", "20260601T000000Z").text;
  EXPECT_EQ(text.find("EXDATE:20260701T120000\r\n"), text.find("RRULE:") + 28) << text;
  EXPECT_NE(text.find("RECURRENCE-ID:20260624T120000\r\nDTSTART:20260624T130000\r\nDURATION:PT60M\r\n"
                      "SUMMARY:Yoga\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("EXDATE:20260624"), std::string::npos);
}

}  // namespace
}  // namespace skiff::exporting
