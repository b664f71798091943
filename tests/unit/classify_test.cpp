#include "transfer/classify.h"

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "transfer/download_command.h"
#include "transfer/multi_select.h"

namespace skiff {
namespace {

struct ClassifyCase {
  const char* path;
  std::int32_t kind;
  const char* header;
  bool textMode;
};

class Classify : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(Classify, ByTheUpperCasedPathInTheStatedOrder) {
  const ClassifyCase& c = GetParam();
  const Classification found = classifyPath(upperCased(c.path));
  EXPECT_EQ(found.kind, c.kind);
  EXPECT_EQ(found.header, c.header);
  EXPECT_EQ(found.textMode, c.textMode);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Classify,
    ::testing::Values(ClassifyCase{"C:\\LISTS\\A.TXT", kText, "*CHECKLIST*\n", true},
                      ClassifyCase{"C:\\photo.pic.txt", kPicture, "", false},
                      ClassifyCase{"C:\\shots\\sea.bmp", kBitmap, "", false},
                      ClassifyCase{"C:\\apps\\Game.Pkg", kPackage, "", false},
                      ClassifyCase{"C:\\x\\a.bmp.pkg", kBitmap, "", false},
                      ClassifyCase{"C:\\notes\\todo.txt", kText, "*TODO*\n", true},
                      ClassifyCase{"C:\\Contacts.txt", kText, "*CONTACT*\n", true},
                      ClassifyCase{"C:\\names.txt", kText, "*CONTACT*\n", true},
                      ClassifyCase{"C:\\outline\\todo list.txt", kText, "*OUTLINE*\n", true},
                      ClassifyCase{"C:\\LIST\\TODO.TXT", kText, "*CHECKLIST*\n", true},
                      ClassifyCase{"C:\\dates.txt", kText, "*DATES*\n", true},
                      ClassifyCase{"C:\\readme", kText, "", true},
                      ClassifyCase{"/home/ann/names/todo.txt", kText, "*CONTACT*\n", true}));

TEST(UpperCased, OnlyAsciiLettersChange) {
  EXPECT_EQ(upperCased("a\\b.pic\xE9z"), "A\\B.PIC\xE9Z");
}

// --- the dialog's answer ------------------------------------------------------------------------------------

OpenFileResult several(const std::string& directory, const std::vector<std::string>& names) {
  OpenFileResult result;
  result.buffer = directory + '\0';
  result.fileOffset = result.buffer.size();
  for (const auto& name : names) result.buffer += name + '\0';
  result.buffer += '\0';
  return result;
}

TEST(MultiSelect, OneFileWhenABackslashPrecedesTheName) {
  OpenFileResult one;
  one.buffer = "C:\\NOTES\\TODO.TXT";
  one.fileOffset = 9;
  one.title = "TODO.TXT";
  EXPECT_TRUE(isSingleSelection(one));
  const DownloadSelection selection = selectionFromDialog(one);
  EXPECT_FALSE(selection.several);
  ASSERT_EQ(selection.files.size(), 1u);
  EXPECT_EQ(selection.files[0].path, "C:\\NOTES\\TODO.TXT");
  EXPECT_EQ(selection.files[0].name, "TODO.TXT");
  one.title.clear();
  EXPECT_EQ(selectionFromDialog(one).files[0].name, "C:\\NOTES\\TODO.TXT") << "no title: the whole path";
}

TEST(MultiSelect, SeveralNamesAfterTheDirectory) {
  const OpenFileResult result = several("C:\\NOTES", {"A.TXT", "B.BMP", "C.PIC"});
  EXPECT_FALSE(isSingleSelection(result));
  MultiSelectWalker walker(result.buffer);
  EXPECT_EQ(walker.directory(), "C:\\NOTES");
  EXPECT_EQ(walker.next(), "A.TXT");
  EXPECT_EQ(walker.next(), "B.BMP");
  EXPECT_EQ(walker.next(), "C.PIC");
  EXPECT_EQ(walker.next(), std::nullopt);
  EXPECT_EQ(walker.next(), std::nullopt) << "and nothing ever after";
  const DownloadSelection selection = selectionFromDialog(result);
  EXPECT_TRUE(selection.several);
  ASSERT_EQ(selection.files.size(), 3u);
  EXPECT_EQ(selection.files[1].path, "C:\\NOTES\\B.BMP");
  EXPECT_EQ(selection.files[1].name, "B.BMP");
}

TEST(MultiSelect, TheRootOfADriveJoinsWithoutASecondBackslash) {
  const DownloadSelection selection = selectionFromDialog(several("C:\\", {"A.TXT", "B.TXT"}));
  ASSERT_EQ(selection.files.size(), 2u);
  EXPECT_EQ(selection.files[0].path, "C:\\A.TXT");
  EXPECT_EQ(joinSelectedPath("D:\\WORK", "X.BMP"), "D:\\WORK\\X.BMP");
}

TEST(MultiSelect, ABufferWithoutItsEndingNulsStopsAtTheEnd) {
  MultiSelectWalker walker(std::string("C:\\D\0A.TXT\0B.T", 14));
  EXPECT_EQ(walker.next(), "A.TXT");
  EXPECT_EQ(walker.next(), "B.T");
  EXPECT_EQ(walker.next(), std::nullopt);
  MultiSelectWalker empty("");
  EXPECT_EQ(empty.directory(), "");
  EXPECT_EQ(empty.next(), std::nullopt);
}

TEST(MultiSelect, NoNamesMeansNoFiles) {
  EXPECT_TRUE(selectionFromDialog(several("C:\\NOTES", {})).files.empty());
}

}  // namespace
}  // namespace skiff
