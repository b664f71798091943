// The file being sent as the engines read it: text rules, the limit of what was announced, how far the reads
// came and why they stopped short. (That only a regular file opens is tested with the Download command.)
#include "core/source_file.h"

#include <gtest/gtest.h>

#include "tests/unit/transfer_harness.h"

namespace skiff {
namespace {

struct ReadCase {
  const char* label;
  std::string file;
  bool textMode;
  std::int64_t limit;  // -1: none
  std::string delivered;
  std::int64_t offset;  // bytes on disk the reads came through
  std::int64_t end;     // the end asked about
  SourceFile::Shortfall shortfall;
};

class SourceFileReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(SourceFileReads, DeliverCountAndJudgeTheEnd) {
  const ReadCase& c = GetParam();
  test::TempDir dir;
  SourceFile file;
  ASSERT_TRUE(file.open(dir.file("f", c.file), c.textMode));
  if (c.limit >= 0) file.limitTo(c.limit);
  std::string delivered;
  char buffer[3];
  for (std::size_t n; (n = file.read(buffer, sizeof buffer)) > 0 || !file.atEnd();) delivered.append(buffer, n);
  EXPECT_EQ(delivered, c.delivered);
  EXPECT_EQ(file.offset(), c.offset);
  EXPECT_EQ(file.shortfallBefore(c.end), c.shortfall);
}

using S = SourceFile::Shortfall;
INSTANTIATE_TEST_SUITE_P(
    Reads, SourceFileReads,
    ::testing::Values(ReadCase{"BinaryWhole", "0123456789", false, -1, "0123456789", 10, 10, S::None},
                      ReadCase{"BinaryEndsBeforeTheAnnouncedEnd", "0123456789", false, -1, "0123456789", 10, 12,
                               S::EndedEarly},
                      ReadCase{"BinaryStopsAtTheLimit", "0123456789", false, 7, "0123456", 7, 7, S::None},
                      ReadCase{"TextCountsCrLfAsTwo", "ab\r\ncd\r\n", true, -1, "ab\ncd\n", 8, 8, S::None},
                      ReadCase{"TextLoneCrKept", "a\rb", true, -1, "a\rb", 3, 3, S::None},
                      ReadCase{"CtrlZWithTextAfterItIsData", "ab\x1A" "cdef", true, -1, "ab\x1A" "cdef", 7, 7,
                               S::None},
                      ReadCase{"CtrlZAndLineEndsAtTheEndEndTheText", "ab\r\n\x1A\r\n\x1A", true, -1, "ab\n", 5, 8,
                               S::None},
                      ReadCase{"CtrlZRunsAreDataUntilTheLastEndMark", "a\x1A\x1A\r\nb\x1A", true, -1,
                               "a\x1A\x1A\nb", 7, 7, S::None},
                      ReadCase{"BinaryKeepsEveryCtrlZ", "ab\x1A", false, -1, "ab\x1A", 3, 3, S::None},
                      ReadCase{"TextShort", "abc", true, -1, "abc", 3, 9, S::EndedEarly},
                      ReadCase{"TextLimitBeforeTheLineFeed", "a\r\nb", true, 2, "a\r", 2, 2, S::None}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SourceFileReport, NamesTheFileAndHowFarItCame) {
  test::TempDir dir;
  SourceFile file;
  ASSERT_TRUE(file.open(dir.file("f", "12345"), false));
  char buffer[10];
  file.read(buffer, sizeof buffer);
  EXPECT_EQ(shortfallText(file, "todo.txt", 5), "");
  EXPECT_EQ(shortfallText(file, "todo.txt", 9), "Incomplete file: todo.txt ended after 5 of its 9 bytes.");
  // A regular file whose first page cannot be read (address 0 of this process is never mapped).
  ASSERT_TRUE(file.open("/proc/self/mem", false));
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(shortfallText(file, "mem", 0), "Incomplete file: mem could not be read to its end.");
}

}  // namespace
}  // namespace skiff
