// Newton times and the raw export's folder names, the two conversions both the simulated Newton and the export
// rely on: a wrong day or a name that escapes its folder would go unnoticed elsewhere.
#include <gtest/gtest.h>

#include "dock/entry_files.h"
#include "dock/newton_time.h"

namespace skiff::dock {
namespace {

TEST(NewtonTime, MinutesSince1904AndBack) {
  struct Case {
    std::int64_t minutes;
    CivilTime civil;
    int weekday;
  };
  const Case cases[] = {
      {0, {1904, 1, 1, 0, 0}, 5},                       // a Friday
      {kMinutes1904To1970, {1970, 1, 1, 0, 0}, 4},
      {49'587'840, {1998, 4, 13, 0, 0}, 1},             // the recorded "family day"
      {50'120'639, {1999, 4, 17, 23, 59}, 6},           // its stop date
      {97'829'280, {2090, 1, 1, 0, 0}, 0},              // "forever"
      {50'577'945, {2000, 2, 29, 13, 45}, 2},             // a leap day of a century year
      {-1, {1903, 12, 31, 23, 59}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minutes);
    EXPECT_EQ(civilFromNewtonMinutes(c.minutes), c.civil);
    EXPECT_EQ(newtonMinutesFromCivil(c.civil), c.minutes);
    EXPECT_EQ(weekdayOf(c.minutes), c.weekday);
  }
  EXPECT_FALSE(newtonMinutesFromCivil({2001, 2, 29, 0, 0}));
  EXPECT_FALSE(newtonMinutesFromCivil({2026, 13, 1, 0, 0}));
  EXPECT_FALSE(newtonMinutesFromCivil({3000, 1, 1, 0, 0}));  // beyond 30-bit integers
}

TEST(EntryFiles, FolderNamesStayInsideAndComeBack) {
  struct Case {
    std::string name, folder;
  };
  const Case cases[] = {
      {"Notes", "Notes"},          {"Repeat Meetings", "Repeat Meetings"}, {"Müller", "Müller"},
      {"a/b", "a%2Fb"},            {"..", "%2E."},                         {".info.nsof", "%2Einfo.nsof"},
      {"50%", "50%25"},            {"C:\\x", "C%3A%5Cx"},                  {"", "%"},
      {"line\nend", "line%0Aend"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(folderNameFor(c.name), c.folder);
    EXPECT_EQ(nameOfFolder(c.folder), c.name);
  }
  const std::string longName(300, 'z');
  EXPECT_EQ(folderNameFor(longName).size(), 210u);
  EXPECT_NE(folderNameFor(longName), folderNameFor(longName + "y"));
  EXPECT_EQ(folderNameFor(std::string(199, 'a') + "ü").substr(199, 2), "%~");  // cut before the ü, not inside it
  for (const char* bad : {".hidden", "a%2", "a%G0"}) EXPECT_FALSE(nameOfFolder(bad)) << bad;

  EXPECT_EQ(entryIdOfFile(entryFileName(4294967295u)), 4294967295u);
  EXPECT_EQ(entryIdOfFile("0.nsof"), 0u);
  for (const char* bad : {"4294967296.nsof", "01.nsof", ".nsof", "1.NSOF", "x1.nsof", "1.nsof.txt"})
    EXPECT_FALSE(entryIdOfFile(bad)) << bad;
}

}  // namespace
}  // namespace skiff::dock
