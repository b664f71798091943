// skiff export end to end: an archive of the simulated Newton's content exported by the real program, its
// vCard and iCalendar files read back by real parsers (tests/export/check_export.py, with Debian's vobject and
// icalendar), its packages byte for byte and installable, its files private whatever the umask; the raw export
// read back by the simulated Newton; the real samples exported; the run chosen; bad entries reported.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "dock/nsof.h"
#include "export/export_run.h"
#include "newton/content.h"
#include "newton/package_check.h"
#include "tests/support/content_archive.h"
#include "tests/support/temp_dir.h"

namespace skiff {
namespace {

namespace fs = std::filesystem;
using nsof::Node;

struct Finished {
  int exitCode = -1;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The command, with the umask given, its output kept in the folder.
Finished run(const test::TempDir& dir, const std::string& command, mode_t mask = 022) {
  const mode_t before = umask(mask);
  const int status = std::system((command + " >" + dir.path() + "/out.txt 2>" + dir.path() + "/err.txt").c_str());
  umask(before);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir.path() + "/out.txt"), slurp(dir.path() + "/err.txt")};
}

std::string skiff(const std::string& args) { return std::string(SKIFF_BIN_DIR) + "/skiff export " + args; }

std::string json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}
std::string json(std::int64_t value) { return std::to_string(value); }
std::string json(std::optional<std::int32_t> value) { return value ? std::to_string(*value) : "null"; }

// One row of the expectations: a JSON array of its fields.
class Expected {
 public:
  template <class... Fields>
  void row(const Fields&... fields) {
    std::string line;
    ((line += (line.empty() ? "[" : ", ") + json(fields)), ...);
    out_ << line << "]\n";
  }
  void raw(const std::string& line) { out_ << line << "\n"; }
  std::string text() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

std::string text(const Node& node) { return node.asText().value_or(""); }

void expectCard(Expected& expected, const Node& card, const std::string& uid) {
  const Node name = card.slot("name");
  for (const char* part : {"first", "last", "honorific"})
    if (name.hasSlot(part)) expected.row("card", uid, part, text(name.slot(part)));
  for (const char* slot : {"company", "title"})
    if (card.hasSlot(slot)) expected.row("card", uid, slot, text(card.slot(slot)));
  for (const Node& phone : card.slot("phones").elements())
    expected.row("card", uid, "phone", std::string(phone.className()), text(phone));
  expected.row("card", uid, "email", text(card.slot("email")));
  for (const Node& email : card.slot("emailAddrs").elements()) expected.row("card", uid, "email", text(email.slot("email")));
  std::vector<Node> places = card.slot("addresses").elements();
  places.insert(places.begin(), card);
  for (const Node& place : places)
    expected.row("card", uid, "address", text(place.slot("address2")), text(place.slot("address")),
                 text(place.slot("city")), text(place.slot("region")), text(place.slot("postal_code")),
                 text(place.slot("country")));
  for (const char* date : {"bday", "anniversary"})
    if (const auto minutes = card.slot(date).asInt()) expected.row("card", uid, date, std::int64_t{*minutes});
  if (card.hasSlot("notes")) expected.row("card", uid, "note", text(card.slot("notes").element(0).slot("text")));
}

void expectMeeting(Expected& expected, const Node& meeting, const std::string& uid) {
  const std::int32_t start = *meeting.slot("mtgStartDate").asInt();
  const bool allDay = meeting.slot("viewStationery").isSymbol("cribNote");
  const auto repeat = meeting.slot("repeatType").asInt();
  auto alarm = meeting.slot("mtgAlarm").asInt();
  if (alarm && !repeat) alarm = start - *alarm;  // a single meeting's alarm is a time, a repeating one's an offset
  expected.raw("[\"event\", " + json(uid) + ", " + json(start) + ", " + (allDay ? "true" : "false") + ", " +
               json(meeting.slot("mtgDuration").asInt()) + ", " + json(text(meeting.slot("mtgText"))) + ", " +
               json(alarm) + ", " + json(repeat) + ", " + json(meeting.slot("mtgInfo").asInt()) + ", " +
               json(meeting.slot("mtgStopDate").asInt()) + "]");
  for (const Node& exception : meeting.slot("exceptions").elements()) {
    const Node replacement = exception.element(1);
    expected.raw("[\"exception\", " + json(uid) + ", " + json(exception.element(0).asInt()) + ", " +
                 json(replacement.slot("mtgStartDate").asInt()) + ", " + json(text(replacement.slot("mtgText"))) +
                 ", " + (allDay ? "true" : "false") + "]");
  }
}

// What the export must show of each entry, read from the entries' NSOF.
std::string expectations(const newton::NewtonContent& content) {
  Expected expected;
  for (const newton::ContentStore& store : content.stores)
    for (const newton::ContentSoup& soup : store.soups)
      for (const newton::ContentEntry& entry : soup.entries) {
        const nsof::Decoded decoded = nsof::decode(entry.nsof);
        const Node node = decoded.node();
        const std::string uid = exporting::entryUid(store.signature, soup.name, entry.uniqueId);
        if (soup.name == "Names") expectCard(expected, node, uid);
        if (node.hasSlot("mtgStartDate")) expectMeeting(expected, node, uid);
        if (soup.name == "To do") {
          const auto topics = node.slot("topics").elements();
          for (std::size_t i = 0; i < topics.size(); ++i)
            expected.raw("[\"todo\", " + json(uid + "-" + std::to_string(i + 1)) + ", " +
                         json(text(topics[i].slot("text"))) + ", " + (topics[i].slot("mtgDone").isTrue() ? "true" : "false") +
                         ", " + json(node.slot("date").asInt()) + "]");
        }
        if (soup.name == "Notes") {
          std::string texts;
          for (const char* list : {"data", "topics"})
            for (const Node& shape : node.slot(list).elements())
              if (shape.slot("text").isText()) texts += (texts.empty() ? "" : ", ") + json(text(shape.slot("text")));
          if (node.hasSlot("title")) texts += (texts.empty() ? "" : ", ") + json(text(node.slot("title")));
          expected.raw("[\"note\", " + json(node.slot("timeStamp").asInt()) + ", [" + texts + "]]");
        }
      }
  return expected.text();
}

std::vector<std::vector<std::uint8_t>> packagesOf(const newton::NewtonContent& content) {
  std::vector<std::vector<std::uint8_t>> packages;
  for (const auto& store : content.stores)
    for (const auto& soup : store.soups)
      for (const auto& entry : soup.entries) {
        const nsof::Decoded decoded = nsof::decode(entry.nsof);
        const auto bytes = decoded.node().slot("pkgRef").bytes();
        if (!bytes.empty()) packages.emplace_back(bytes.begin(), bytes.end());
      }
  return packages;
}

TEST(Export, RealParsersReadBackEveryFieldAndTheFilesArePrivate) {
  test::TempDir dir;
  const newton::NewtonContent content = newton::generatedContent({});
  const std::string archive = dir.path() + "/Skiff Test.skiff";
  ASSERT_TRUE(test::writeContentArchive(archive, content).ok());
  const std::string out = dir.path() + "/Skiff Test";
  // A umask of 0 would leave everything open to all; the export must not depend on it. Default folder: the
  // archive's name without its extension, in the current folder.
  const Finished exported = run(dir, "cd " + dir.path() + " && " + skiff("'Skiff Test.skiff'"), 0);
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  EXPECT_EQ(exported.out, "Exported 19 notes, 19 cards, 46 events, 3 packages to Skiff Test\n");
  EXPECT_EQ(exported.err, "skiff export: 19 entries of Cities, System have no readable form and stay in the archive "
                          "('skiff export --raw' writes them)\n");

  std::ofstream(dir.path() + "/expected.jsonl") << expectations(content);
  const Finished check = run(dir, "/usr/bin/python3 " + std::string(SKIFF_SOURCE_DIR) + "/tests/export/check_export.py '" +
                                 out + "' " + dir.path() + "/expected.jsonl");
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err
                               << "(the check needs Debian's python3-vobject and python3-icalendar: "
                                  "scripts/install-deps.sh all)";

  for (const fs::directory_entry& item : fs::recursive_directory_iterator(out)) {
    const auto mode = fs::status(item.path()).permissions();
    EXPECT_EQ(mode & (fs::perms::group_all | fs::perms::others_all), fs::perms::none) << item.path();
    EXPECT_EQ(mode & fs::perms::owner_all, item.is_directory() ? fs::perms::owner_all
                                                               : fs::perms::owner_read | fs::perms::owner_write)
        << item.path();
  }
  EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_all);

  // The note whose shapes are out of on-screen order, with an ink word, an ink shape and a picture; outlines and
  // checklists as Markdown.
  EXPECT_EQ(slurp(out + "/notes/Plans 2026_27_ Lisbon, Porto.txt"),
            "Plans 2026/27: Lisbon, Porto\n\nRight after the title.\nSecond line of it.\n\n[picture]\n\n"
            "Left of the ink word's paragraph.\n\nCall [ink] about the order\n\n[ink]\n\n"
            "Later: the last paragraph on screen.\n");
  int lists = 0, markdown = 0;
  for (const auto& store : content.stores)
    for (const auto& entry : store.soups[0].entries)
      lists += !nsof::decode(entry.nsof).node().slot("topics").isNil();
  for (const auto& file : fs::directory_iterator(out + "/notes")) markdown += file.path().extension() == ".md";
  EXPECT_EQ(markdown, lists);
  EXPECT_NE(slurp(out + "/notes/Shopping.md").find("\n- [x] "), std::string::npos);

  std::vector<std::vector<std::uint8_t>> written;
  for (const fs::directory_entry& file : fs::directory_iterator(out + "/packages")) {
    const std::string bytes = slurp(file.path());
    written.emplace_back(bytes.begin(), bytes.end());
    EXPECT_EQ(newton::checkPackage(written.back(), bytes.size()).result, newton::kPackageOk) << file.path();
  }
  auto generated = packagesOf(content);
  std::sort(written.begin(), written.end());
  std::sort(generated.begin(), generated.end());
  EXPECT_EQ(written, generated);

  // A link planted where the export makes a folder is not followed.
  fs::remove_all(out + "/notes");
  fs::create_directory_symlink(dir.path(), out + "/notes");
  const Finished again = run(dir, skiff("--to '" + out + "' '" + archive + "'"));
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find(out + "/notes is a symbolic link; the export makes its folders itself"), std::string::npos)
      << again.err;
}

TEST(Export, RawExportComesBackAsTheSameContentWhateverTheNames) {
  test::TempDir dir;
  newton::NewtonContent content = newton::generatedContent({3, 4, 0});
  content.stores[1].name = "../Card/..";
  content.stores[1].soups[0].name = "a/b";
  ASSERT_TRUE(test::writeContentArchive(dir.path() + "/n.skiff", content).ok());
  const Finished exported = run(dir, skiff("--raw " + dir.path() + "/raw " + dir.path() + "/n.skiff"));
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  EXPECT_EQ(exported.out.rfind("Wrote 39 entries (", 0), 0u) << exported.out;
  std::vector<std::string> top;
  for (const auto& item : fs::directory_iterator(dir.path())) top.push_back(item.path().filename());
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"err.txt", "n.skiff", "out.txt", "raw"}));  // nothing escaped

  const Finished again = run(dir, skiff("--raw " + dir.path() + "/raw " + dir.path() + "/n.skiff"));
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(again.err, "skiff export: " + dir.path() + "/raw is not empty; the raw export needs a new or empty folder\n");

  std::string error;
  const auto loaded = newton::loadContent(dir.path() + "/raw", &error);
  ASSERT_TRUE(loaded) << error;
  ASSERT_EQ(loaded->stores.size(), content.stores.size());
  for (std::size_t s = 0; s < content.stores.size(); ++s) {
    const auto &a = content.stores[s], &b = loaded->stores[s];
    EXPECT_EQ(std::tie(a.name, a.kind, a.signature, a.isDefault), std::tie(b.name, b.kind, b.signature, b.isDefault));
    ASSERT_EQ(a.soups.size(), b.soups.size());
    for (const newton::ContentSoup& soup : a.soups) {
      const auto other = std::find_if(b.soups.begin(), b.soups.end(), [&](const auto& x) { return x.name == soup.name; });
      ASSERT_NE(other, b.soups.end()) << soup.name;
      EXPECT_EQ(std::tie(soup.info, soup.indexes, soup.changedAt), std::tie(other->info, other->indexes, other->changedAt));
      ASSERT_EQ(soup.entries.size(), other->entries.size());
      for (std::size_t e = 0; e < soup.entries.size(); ++e)
        EXPECT_EQ(std::tie(soup.entries[e].uniqueId, soup.entries[e].modTime, soup.entries[e].nsof),
                  std::tie(other->entries[e].uniqueId, other->entries[e].modTime, other->entries[e].nsof));
    }
  }
}

std::vector<std::uint8_t> sample(const std::string& name, std::size_t skip = 0, std::size_t size = 0) {
  const std::string bytes = slurp(std::string(SKIFF_TEST_DATA_DIR) + "/nsof/" + name);
  return {bytes.begin() + static_cast<std::ptrdiff_t>(skip),
          size ? bytes.begin() + static_cast<std::ptrdiff_t>(skip + size) : bytes.end()};
}

newton::ContentEntry entryOf(std::uint32_t id, std::vector<std::uint8_t> bytes) { return {id, 0, std::move(bytes)}; }

TEST(Export, RealSamplesExportAndEntriesWithNoFormAreReportedByPlace) {
  nsof::Graph graph;
  const auto bad = [&](std::initializer_list<std::pair<std::string_view, nsof::Value>> slots) {
    return nsof::encode(graph, graph.frame(slots)).bytes;
  };
  nsof::LargeBinary squeezed{graph.symbol("package"), true, "TLZStoreCompander", {}, {1, 2, 3}};
  newton::ContentStore store{"Internal", "Internal", 484680733, true, false, {}};
  store.soups = {
      {"Repeat Meetings", {}, {}, {entryOf(32, sample("repeat-meeting-entry.dock", 16, 442)),
                                   entryOf(40, bad({{"class", graph.symbol("meeting")},
                                                    {"mtgStartDate", nsof::Value::integer(49587840)},
                                                    {"repeatType", nsof::Value::integer(6)}}))}, 0},
      {"Names", sample("names-soup-info.nsof"), {}, {entryOf(7, bad({{"class", graph.symbol("group")}}))}, 0},
      {"Notes", {}, {}, {entryOf(3, {2, 13})}, 0},
      {"Packages", {}, {}, {entryOf(1, bad({{"pkgRef", graph.largeBinary(squeezed)}}))}, 0},
      {"System", {}, {}, {entryOf(1, sample("walter-smith.nsof")), entryOf(2, sample("sync-options.nsof")),
                          entryOf(3, sample("desktop-apps.nsof")), entryOf(4, sample("repeat-notes-string.nsof")),
                          entryOf(5, sample("names-soup.nsof"))}, 0},
  };
  test::TempDir dir;
  ASSERT_TRUE(test::writeContentArchive(dir.path() + "/n.skiff", {{store}}).ok());
  const Finished exported = run(dir, skiff("--to " + dir.path() + "/out " + dir.path() + "/n.skiff"));
  EXPECT_EQ(exported.exitCode, 1);
  EXPECT_EQ(exported.out, "Exported 0 notes, 0 cards, 1 event, 0 packages to " + dir.path() + "/out\n");
  EXPECT_EQ(exported.err,
            "skiff export: 5 entries of System have no readable form and stay in the archive ('skiff export --raw' "
            "writes them)\n"
            "skiff export: Internal, Names, entry 7: not exported: a 'group' entry is no person, owner or company card\n"
            "skiff export: Internal, Notes, entry 3: not exported: it does not decode: unknown tag 13 at byte 1\n"
            "skiff export: Internal, Packages, entry 1: not exported: its package is compressed (TLZStoreCompander); "
            "the raw export keeps it as the Newton sent it\n"
            "skiff export: Internal, Repeat Meetings, entry 40: not exported: repeatType 6 is none the Dates "
            "application knows\n");
  // The recorded family day, whose exception leads back into it: an annual all-day event, the instance of
  // 13 April 1999 moved to the 17th.
  const std::string ics = slurp(dir.path() + "/out/dates.ics");
  for (const char* line : {"DTSTART;VALUE=DATE:19980413", "RRULE:FREQ=YEARLY;BYMONTH=4;BYMONTHDAY=13;UNTIL=19990417",
                           "RECURRENCE-ID;VALUE=DATE:19990413", "DTSTART;VALUE=DATE:19990417", "SUMMARY:family day"})
    EXPECT_NE(ics.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line << "\n" << ics;

  const Finished raw = run(dir, skiff("--raw " + dir.path() + "/raw " + dir.path() + "/n.skiff"));
  EXPECT_EQ(raw.exitCode, 0) << raw.err;
  EXPECT_EQ(slurp(dir.path() + "/raw/Internal/Repeat Meetings/32.nsof"),
            slurp(std::string(SKIFF_TEST_DATA_DIR) + "/nsof/repeat-meeting-entry.dock").substr(16, 442));
  EXPECT_EQ(slurp(dir.path() + "/raw/Internal/Names/.info.nsof"), slurp(std::string(SKIFF_TEST_DATA_DIR) + "/nsof/names-soup-info.nsof"));
}

TEST(Export, TheRunIsTheLatestCompleteOneUnlessAsked) {
  test::TempDir dir;
  newton::NewtonContent content = newton::generatedContent({});
  auto archive = archive::Archive::open(dir.path() + "/n.skiff");
  ASSERT_TRUE(archive);
  ASSERT_TRUE(test::addContentRun(*archive, content));
  newton::editContent(content, {{"", "Notes", 0, 3, 0}}, 64'500'000);
  ASSERT_TRUE(test::addContentRun(*archive, content));
  newton::editContent(content, {{"", "Notes", 0, 1, 0}}, 64'500'100);
  ASSERT_TRUE(test::addContentRun(*archive, content, false));
  archive = archive::Result<archive::Archive>(archive::Failure{});  // let go of it for the program

  struct Case {
    std::string args, notes, err;
    int exitCode;
  };
  const Case cases[] = {
      {"", "22 notes", "skiff export: run 3 did not finish; exporting run 2, the latest complete one (--run 3 takes the other)\n", 0},
      {"--run 1", "19 notes", "", 0},
      {"--run 3", "23 notes", "skiff export: run 3 did not finish: its soups are exported as far as it got\n", 0},
      {"--run 9", "", "skiff export: no run 9 in " + dir.path() + "/n.skiff (runs 1 to 3)\n", 1},
  };
  for (const Case& c : cases) {
    const Finished exported = run(dir, skiff(c.args + " --to " + dir.path() + "/out" + c.notes.substr(0, 2) + " " +
                                        dir.path() + "/n.skiff"));
    EXPECT_EQ(exported.exitCode, c.exitCode) << c.args;
    EXPECT_EQ(exported.out.find("Exported " + c.notes) == 0, !c.notes.empty()) << c.args << exported.out;
    EXPECT_EQ(exported.err.substr(0, exported.err.find("skiff export: 19 entries")), c.err) << c.args;
  }
}

}  // namespace
}  // namespace skiff
