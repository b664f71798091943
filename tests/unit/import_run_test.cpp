// The import against the simulated Newton's own dock and stores, in memory behind the scripted link: the notes
// that arrive in the Notes soup (their text, title and slots, the IDs reported), and what a refusal, a card
// without Notes, another screen and another password do.
#include <gtest/gtest.h>

#include <map>

#include "dock/nsof.h"
#include "import/import_run.h"
#include "import/note_frame.h"
#include "newton/dock_protocol.h"
#include "tests/support/dock_behind_link.h"
#include "tests/support/engine_world.h"
#include "tests/support/temp_dir.h"

namespace skiff {
namespace {

newton::ContentSoup soupNamed(const std::string& name, int entries) {
  newton::ContentSoup s;
  s.name = name;
  for (int i = 0; i < entries; ++i) {
    nsof::Graph g;
    const auto id = static_cast<std::uint32_t>(i);
    s.entries.push_back({id, 60000000, nsof::encode(g, g.frame({{"_uniqueID", nsof::Value::integer(i)}})).bytes});
  }
  return s;
}

struct ImportCase {
  const char* name;
  bool notesOnDefaultStore;
  newton::BackupFaults faults;
  newton::NewtonIdentity identity;
  import::ImportEnd end;
  std::vector<std::int32_t> reported;  // per note: its ID, or the refusal
  int right;                           // of each note's paragraph
};

struct ImportFixture : ::testing::TestWithParam<ImportCase>, test::EngineWorld {
  test::TempDir dir;
  test::DockBehindLink newtonSide;
};

// 4 May 2026 09:30 UTC.
constexpr std::time_t kNow = 1'777'887'000;

TEST_P(ImportFixture, NotesArriveAsNotesKeepsThem) {
  const ImportCase& c = GetParam();
  newton::NewtonContent content;
  content.stores.push_back({"Card", "Flash storage card", 0x1234, false, false, {soupNamed("Notes", 1)}});
  content.stores.push_back({"Internal", "Internal", 0x1A1FF001, true, false, {soupNamed("Names", 2)}});
  if (c.notesOnDefaultStore) content.stores[1].soups.push_back(soupNamed("Notes", 3));
  std::string long9000;
  for (int i = 0; long9000.size() < 9000; ++i) long9000 += (i % 9 == 8 ? "end.\n" : "word ");
  long9000.resize(9000);
  import::ImportJob job;
  job.files = {{dir.file("crlf.txt", "one\r\ntwo\r\n"), dock::TextEncoding::Utf8},
               {dir.file("caf\xE9.txt", "cr\xE8me br\xFBl\xE9\n"), dock::TextEncoding::Windows1252},
               {dir.file("long.txt", long9000), dock::TextEncoding::Utf8}};
  job.clock = [] { return kNow; };
  job.onNote = [](const import::NoteResult&) {};

  link.connected = true;
  app.pipe = link.pipeCreate();
  newtonSide.attach(link, std::make_unique<newton::DockProtocol>(
                              newton::DockFaults{}, "Newton", newton::DockTiming{}, c.identity,
                              newton::StoreService(content, c.faults, 64'870'920)));
  import::ImportOutcome outcome;
  EXPECT_EQ(import::runImport(rt, job, outcome), 0);
  EXPECT_EQ(outcome.end, c.end);
  std::vector<std::int32_t> reported;
  for (const auto& note : outcome.notes) reported.push_back(note.id.value_or(note.refusal));
  EXPECT_EQ(reported, c.reported);
  EXPECT_FALSE(link.connected);

  // What the Newton holds: the notes it answered with an ID, in order, and nothing on the card.
  const newton::NewtonContent& held = newtonSide.dock->stores()->content();
  EXPECT_EQ(held.stores[0].soups[0].entries.size(), 1u);
  const std::vector<newton::ContentSoup>& soups = held.stores[1].soups;
  const auto notes = std::find_if(soups.begin(), soups.end(), [](const auto& s) { return s.name == "Notes"; });
  std::u16string long16;
  for (const auto& note : outcome.notes) {
    if (!note.imported()) continue;
    ASSERT_NE(notes, soups.end());
    const auto entry = std::find_if(notes->entries.begin(), notes->entries.end(),
                                    [&](const auto& e) { return e.uniqueId == static_cast<std::uint32_t>(*note.id); });
    ASSERT_NE(entry, notes->entries.end()) << note.title;
    const nsof::Decoded decoded = nsof::decode(entry->nsof);
    const nsof::Node n = decoded.node();
    EXPECT_EQ(n.slot("title").asText(), note.title);
    EXPECT_EQ(n.slot("timeStamp").asInt(), import::newtonTimeNow(kNow));
    EXPECT_EQ(n.slot("_uniqueID").asInt(), *note.id);  // as the Newton keeps it
    const nsof::Node para = n.slot("data").element(0);
    EXPECT_EQ(para.slot("viewBounds").slot("right").asInt(), c.right);
    const std::u16string text = para.slot("text").asUtf16().value_or(u"");
    const std::map<std::string, std::u16string> exactly = {{"crlf.txt", u"one\rtwo\r"},
                                                           {"caf\u00E9.txt", u"cr\u00E8me br\u00FBl\u00E9\r"}};
    if (const auto it = exactly.find(note.title); it != exactly.end()) {
      EXPECT_EQ(text, it->second);
    }
    if (note.path == job.files[2].path) long16 += text;
  }
  if (c.reported.size() == 5 && c.reported[3] >= 0) {
    std::u16string expected(long9000.begin(), long9000.end());
    for (auto& unit : expected) unit = unit == u'\n' ? u'\r' : unit;
    EXPECT_EQ(long16, expected);
    EXPECT_EQ(outcome.notes[4].title, "long.txt (3)");
  }
}

newton::BackupFaults fullAtTheSecondNote() {
  newton::BackupFaults f;
  f.refusedAdds[2] = -10617;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportFixture,
    ::testing::Values(
        ImportCase{"FiveNotesFromThreeFiles", true, {}, {}, import::ImportEnd::Completed, {3, 4, 5, 6, 7}, 315},
        ImportCase{"AFullStoreRefusesOnlyThatNote", true, fullAtTheSecondNote(), {}, import::ImportEnd::Completed,
                   {3, -10617, 4, 5, 6}, 315},
        ImportCase{"ADefaultCardWithoutNotesGetsTheSoup", false, {}, {}, import::ImportEnd::Completed, {0, 1, 2, 3, 4}, 315},
        ImportCase{"AWideScreenGetsWideNotes", true, {}, {"", false, 480}, import::ImportEnd::Completed,
                   {3, 4, 5, 6, 7}, 475},
        ImportCase{"AnotherPassword", true, {}, {"secret", false, 320}, import::ImportEnd::PasswordRejected, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skiff
