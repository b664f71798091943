// What the command line makes of a file before the link opens: the name the Newton is told, and the content
// checks that refuse a file the Newton would not take.
#include <gtest/gtest.h>

#include "cli/file_checks.h"
#include "cli/windows_names.h"

namespace skiff::cli {
namespace {

struct NameCase {
  const char* utf8;
  const char* windows;
  bool lossy;
};

TEST(WindowsNames, FromUtf8AndBack) {
  const NameCase cases[] = {
      {"notes.txt", "notes.txt", false},
      {"caf\xC3\xA9 \xC3\xBC" "ber.txt", "caf\xE9 \xFC" "ber.txt", false},  // Latin-1 letters: one byte each
      {"\xC3\xBF\xC2\xA0", "\xFF\xA0", false},                               // the ends of the Latin-1 half
      {"\xE2\x82\xAC" "5 \xE2\x80\x94 \xC5\x93uvre", "\x80" "5 \x97 \x9C" "uvre", false},  // the 0x80 row
      {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "__.txt", true},   // no such characters: one "_" each
      {"\xF0\x9F\x98\x80.txt", "_.txt", true},            // beyond 16 bits
      {"\xC2\x81", "_", true},                            // a control character the code page leaves out
      {"a\xE9" "b", "a_b", true},                         // a Latin-1 byte is no UTF-8
      {"\xC0\xAF", "__", true},                           // an overlong form, byte by byte
      {"\xED\xA0\x80", "___", true},                      // a surrogate
      {"end\xE2\x82", "end__", true},                     // cut short
  };
  for (const NameCase& c : cases) {
    bool lossy = !c.lossy;
    EXPECT_EQ(windowsNameFromUtf8(c.utf8, &lossy), c.windows) << c.utf8;
    EXPECT_EQ(lossy, c.lossy) << c.utf8;
    if (!c.lossy) {
      EXPECT_EQ(utf8FromWindowsName(c.windows), c.utf8) << "the way back";
    }
  }
  EXPECT_EQ(utf8FromWindowsName("\x81"), "_") << "a byte the code page leaves out";
}

// A note's text: converted only when it is UTF-8 beyond ASCII; "?" for each character the set lacks.
TEST(WindowsNames, NoteText) {
  struct TextCase {
    const char* utf8;
    std::optional<std::string> windows;
    std::size_t replaced;
  };
  const TextCase cases[] = {
      {"Buy rope\r\n", std::nullopt, 0},                                  // ASCII: its own bytes
      {"\xEF\xBB\xBF" "Caf\xC3\xA9\r\n", "Caf\xE9\r\n", 0},                 // the byte-order mark is left out
      {"\xF0\x9F\x98\x80 \xE6\x97\xA5\x1A", "? ?\x1A", 2},                   // one "?" for each character
      {"Caf\xE9 \xC3\xA9", std::nullopt, 0},                              // not UTF-8: its own bytes
      {"end\xE2\x82", std::nullopt, 0},                                    // cut short: not UTF-8 either
  };
  for (const TextCase& c : cases) {
    std::size_t replaced = 99;
    EXPECT_EQ(windowsTextFromUtf8(c.utf8, &replaced), c.windows) << c.utf8;
    EXPECT_EQ(replaced, c.replaced) << c.utf8;
  }
}

TEST(FileChecks, APackageStartsWithItsSignatureAndAPictureHasItsHeader) {
  const std::string rest = "; a package starts with \"package0\" or \"package1\")";
  EXPECT_EQ(packageProblem("a.pkg", "package1"), "");
  EXPECT_EQ(packageProblem("a.pkg", "package2"), "a.pkg: not a package (it starts with \"package2\"" + rest);
  EXPECT_EQ(packageProblem("a.pkg", std::string("\0\x01\"x", 4)),
            "a.pkg: not a package (it starts with \"\\x00\\x01\\x22x\"" + rest);
  EXPECT_EQ(packageProblem("a.pkg", ""), "a.pkg: not a package (it is empty" + rest);
  EXPECT_EQ(pictureProblem("sea.pic", 512), "") << "a header and no data is an empty picture";
  EXPECT_EQ(pictureProblem("sea.bmp", 300), "") << "not a picture";
}

}  // namespace
}  // namespace skiff::cli
