// The simulated Newton's content: what it generates decodes and carries the slots a backup reads, the same seed
// gives the same bytes, edits between sessions change what they say, and a folder that is not a raw export is
// refused naming the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "dock/entry_files.h"
#include "dock/nsof.h"
#include "newton/content.h"
#include "newton/package_check.h"
#include "tests/support/temp_dir.h"

namespace skiff::newton {
namespace {

nsof::Decoded decoded(const std::vector<std::uint8_t>& bytes) { return nsof::decode(bytes); }

TEST(Content, EveryGeneratedEntryDecodesWithItsIdAndTime) {
  const NewtonContent content = generatedContent({});
  ASSERT_EQ(content.stores.size(), 2u);
  EXPECT_TRUE(content.stores[0].isDefault);
  EXPECT_EQ(content.stores[1].kind, "Flash storage card");
  std::set<std::string> phoneClasses;
  int packages = 0, cycles = 0;
  for (const ContentStore& store : content.stores) {
    EXPECT_TRUE(decoded(storeFrame(store)).ok());
    for (const ContentSoup& soup : store.soups) {
      SCOPED_TRACE(store.name + "/" + soup.name);
      const auto info = decoded(soup.info);
      ASSERT_TRUE(info.ok());
      EXPECT_EQ(info.node().slot("soupDef").slot("name").asText(), soup.name);
      EXPECT_TRUE(decoded(soup.indexes).node().isArray());
      ASSERT_FALSE(soup.entries.empty());
      std::uint32_t newest = 0;
      for (const ContentEntry& entry : soup.entries) {
        const auto d = decoded(entry.nsof);
        ASSERT_TRUE(d.ok()) << entry.uniqueId;
        EXPECT_EQ(d.node().slot("_uniqueID").asInt(), static_cast<std::int32_t>(entry.uniqueId));
        EXPECT_EQ(d.node().slot("_modTime").asInt(), static_cast<std::int32_t>(entry.modTime));
        newest = std::max(newest, entry.modTime);
        for (const nsof::Node& phone : d.node().slot("phones").elements()) phoneClasses.insert(std::string(phone.className()));
        if (const auto pkg = d.node().slot("pkgRef"); pkg.isLargeBinary()) {
          EXPECT_EQ(checkPackage(pkg.bytes(), pkg.bytes().size()).result, kPackageOk);
          ++packages;
        }
        for (const nsof::Node& exception : d.node().slot("exceptions").elements())
          cycles += exception.element(1).slot("repeatTemplate").is(d.node());
      }
      EXPECT_EQ(soup.changedAt, newest);
    }
  }
  EXPECT_EQ(phoneClasses.size(), 9u);
  EXPECT_EQ(packages, 3);
  EXPECT_GE(cycles, 3);
}

TEST(Content, SameSeedSameBytesAndSizesScale) {
  const auto a = generatedContent({7, 12, 0});
  EXPECT_EQ(a.stores[0].soups[0].entries[3].nsof, generatedContent({7, 12, 0}).stores[0].soups[0].entries[3].nsof);
  EXPECT_NE(a.stores[0].soups[0].entries[3].nsof, generatedContent({8, 12, 0}).stores[0].soups[0].entries[3].nsof);
  EXPECT_EQ(generatedContent({7, 40, 0}).stores[0].soups[1].entries.size(), 40u);
}

TEST(Content, EditsChangeAddAndDelete) {
  struct Case {
    ContentEdit edit;
    std::size_t entries, atNow;
    std::string problem;
  };
  const Case cases[] = {
      {{"", "Notes", 5, 3, 2}, 13, 8, ""},
      {{"Flash Card", "Names", 0, 1, 0}, 8, 1, ""},
      {{"", "Notes", 20, 0, 5}, 12, 12, ""},  // every entry changed: none left to delete
      {{"", "Notes", 0, 0, 20}, 0, 0, ""},
      {{"", "Diary", 1, 0, 0}, 12, 0, "no soup Diary on store Internal"},
  };
  const std::uint32_t now = 64'500'000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.edit.soup);
    NewtonContent content = generatedContent({});
    EXPECT_EQ(editContent(content, {c.edit}, now), c.problem);
    const auto& stores = content.stores;
    const ContentSoup& soup = c.edit.store.empty() ? stores[0].soups[0] : stores[1].soups[1];
    EXPECT_EQ(soup.entries.size(), c.entries);
    std::size_t atNow = 0;
    std::set<std::uint32_t> ids;
    for (const ContentEntry& entry : soup.entries) {
      atNow += entry.modTime == now;
      ids.insert(entry.uniqueId);
      EXPECT_EQ(decoded(entry.nsof).node().slot("_modTime").asInt(), static_cast<std::int32_t>(entry.modTime));
    }
    EXPECT_EQ(atNow, c.atNow);
    EXPECT_EQ(ids.size(), soup.entries.size());
  }
}

TEST(Content, AFolderThatIsNotARawExportIsRefusedNamingTheFile) {
  struct Case {
    std::string file, bytes, problem;  // problem: the end of the error
  };
  const char kEntry[] = "\x02\x06\x01\x07\x09_uniqueID\x00\x08";  // {_uniqueID: 2}
  const std::string entry(kEntry, sizeof kEntry - 1);
  const Case cases[] = {
      {"Internal/Notes/2.nsof", entry, ""},
      {"Internal/Notes/3.nsof", entry, "Internal/Notes/3.nsof: its _uniqueID is 2"},
      {"Internal/Notes/2.nsof", "\x02\x0D", "Internal/Notes/2.nsof: not NSOF: unknown tag 13 at byte 1"},
      {"Internal/Notes/02.nsof", entry, "Internal/Notes/02.nsof: not an entry (entries are files named UNIQUEID.nsof)"},
      {"Internal/Notes/.info.nsof", "\x01", "Internal/Notes/.info.nsof: not NSOF: bad stream version 1 at byte 0"},
      {"Internal/notes.txt", "x", "Internal/notes.txt: not a soup's folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    test::TempDir dir;
    std::filesystem::create_directories(std::filesystem::path(dir.path() + "/" + c.file).parent_path());
    dir.file(c.file, c.bytes);
    std::string error;
    const auto content = loadContent(dir.path(), &error);
    EXPECT_EQ(content.has_value(), c.problem.empty());
    if (!c.problem.empty()) {
      EXPECT_EQ(error, dir.path() + "/" + c.problem);
    }
  }
}

}  // namespace
}  // namespace skiff::newton
