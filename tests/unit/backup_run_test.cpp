// The backup against the simulated Newton's own dock and stores, in memory behind the scripted link, into a
// real archive file: what ends up in the archive, and how each way of ending leaves it.
#include <gtest/gtest.h>

#include <functional>

#include "archive/archive.h"
#include "backup/backup_run.h"
#include "dock/nsof.h"
#include "newton/dock_protocol.h"
#include "tests/support/dock_behind_link.h"
#include "tests/support/engine_world.h"
#include "tests/support/temp_dir.h"

namespace skiff {
namespace {

newton::ContentEntry entry(std::uint32_t id, std::size_t size) {
  nsof::Graph g;
  const nsof::Value frame = g.frame({{"_uniqueID", nsof::Value::integer(static_cast<std::int32_t>(id))},
                                     {"_modTime", nsof::Value::integer(static_cast<std::int32_t>(60000000 + id))},
                                     {"text", g.string(std::string(size, static_cast<char>('a' + id % 26)))}});
  return {id, 60000000 + id, nsof::encode(g, frame).bytes};
}

newton::ContentSoup soup(const std::string& name, int entries) {
  newton::ContentSoup s;
  s.name = name;
  nsof::Graph g;
  const nsof::Value info = g.frame({{"name", g.string(name)}});
  s.info = nsof::encode(g, info).bytes;
  nsof::Graph h;
  const nsof::Value indexes = h.array({});
  s.indexes = nsof::encode(h, indexes).bytes;
  for (int i = 0; i < entries; ++i) s.entries.push_back(entry(static_cast<std::uint32_t>(i), 40 + 90 * i));
  return s;
}

newton::NewtonContent twoStores() {
  newton::NewtonContent c;
  c.stores.push_back({"Internal", "Internal", 0x1A1FF001, true, false, {soup("Notes", 5), soup("Names", 4)}});
  c.stores.push_back({"Card", "Flash storage card", 0x1234, false, false, {soup("Packages", 3)}});
  return c;
}

struct BackupCase {
  const char* name;
  newton::BackupFaults faults;
  newton::NewtonIdentity identity;
  std::function<void(AppState&)> duringSoup;  // runs at each entry received (the user's Ctrl-C, say)
  backup::BackupEnd end;
  std::vector<std::string> committed;         // "store/soup" the archive holds after the run
  std::int32_t failedWith;                    // a soup's error in the outcome, 0: none
};

struct BackupFixture : ::testing::Test, test::EngineWorld {
  test::TempDir dir;
  test::DockBehindLink newtonSide;
  std::optional<archive::Archive> archive;
  std::string path() const { return dir.path() + "/test.newton-backup"; }
  static newton::ContentEntry bigEntry(std::uint32_t id) { return entry(id, 20000); }

  newton::NewtonContent content = twoStores();
  std::uint32_t newtonClock = 64'870'920;
  int roomInPages = 0;  // more pages the archive may grow by, as on a disk that fills up; 0: no limit

  backup::BackupOutcome backUp(newton::BackupFaults faults, newton::NewtonIdentity identity,
                               std::function<void(AppState&)> duringSoup = nullptr) {
    link.connected = true;
    app.pipe = link.pipeCreate();
    link.pipeFlush(app.pipe, side::kInput);  // a new connection starts with nothing received
    app.abortRequested = false;
    newton::StoreService stores(content, std::move(faults), newtonClock);
    newtonSide.attach(link, std::make_unique<newton::DockProtocol>(newton::DockFaults{}, "Newton", newton::DockTiming{},
                                                                  identity, std::move(stores)),
                      true, &clock.now);
    backup::BackupJob job;
    job.archiveFor = [this](const dock::NewtonName&) -> archive::Result<archive::Archive*> {
      auto opened = archive::Archive::open(path());
      if (!opened.ok()) return opened.failure();
      archive.emplace(std::move(*opened));
      if (roomInPages > 0) {
        sqlite3* db = archive->connectionForTests();
        sqlite3_stmt* pages = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &pages, nullptr);
        sqlite3_step(pages);
        const int now = sqlite3_column_int(pages, 0);
        sqlite3_finalize(pages);
        sqlite3_exec(db, ("PRAGMA max_page_count = " + std::to_string(now + roomInPages)).c_str(), nullptr, nullptr, nullptr);
      }
      return &*archive;
    };
    job.onSoup = [&](const backup::SoupResult&) {};
    if (duringSoup) newtonSide.afterWrite = [&](test::ScriptedLink&, std::int64_t) {};
    backup::BackupOutcome outcome;
    std::int64_t seen = 0;
    link.onIdle = [&, tick = link.onIdle](test::ScriptedLink& l) {
      if (tick) tick(l);
      if (duringSoup && app.batch.entriesReceived != seen) duringSoup(app);
      seen = app.batch.entriesReceived;
    };
    const std::int32_t result = backup::runBackup(rt, job, outcome);
    EXPECT_EQ(result, outcome.end == backup::BackupEnd::LinkLost ? outcome.code : 0);
    archive.reset();  // as the command does once it ends
    return outcome;
  }

  // "store/soup" of the soups the latest run holds, and every entry's bytes against the Newton's.
  std::vector<std::string> committed() {
    auto read = archive::Archive::openForReading(path());
    if (!read.ok()) return {};
    const auto runs = read->runs();
    if (!runs.ok() || runs->empty()) return {};
    std::vector<std::string> out;
    const auto soups = read->soups(runs->back().id);
    for (const auto& s : *soups) {
      out.push_back(s.storeName + "/" + s.name);
      auto cursor = read->entries(runs->back().id, s.store, s.name);
      for (const auto& store : content.stores) {
        for (const auto& original : store.soups) {
          if (store.name != s.storeName || original.name != s.name) continue;
          std::size_t n = 0;
          while (cursor->next()) {
            const auto bytes = cursor->bytes();
            EXPECT_EQ(*bytes, original.entries.at(n).nsof) << s.name << " entry " << n;
            ++n;
          }
          EXPECT_EQ(n, original.entries.size()) << s.name;
        }
      }
    }
    return out;
  }
};

class BackupEnds : public BackupFixture, public ::testing::WithParamInterface<BackupCase> {};

newton::BackupFaults failing(const char* soup) {
  newton::BackupFaults f;
  f.failSoup = soup;
  return f;
}
newton::BackupFaults cancelling(const char* soup, int after) {
  newton::BackupFaults f;
  f.cancelInSoup = soup;
  f.cancelAfterEntries = after;
  return f;
}
newton::BackupFaults dropping(const char* soup, int after) {
  newton::BackupFaults f;
  f.dropInSoup = soup;
  f.dropAfterEntries = after;
  return f;
}
newton::BackupFaults slow(int entryMs) {
  newton::BackupFaults f;
  f.entryMs = entryMs;
  return f;
}
newton::NewtonIdentity withPassword(const char* password) { return {password, false}; }

TEST_P(BackupEnds, TheArchiveHoldsWhatWasDone) {
  const BackupCase& c = GetParam();
  const backup::BackupOutcome outcome = backUp(c.faults, c.identity, c.duringSoup);
  EXPECT_EQ(outcome.end, c.end);
  EXPECT_EQ(committed(), c.committed);
  std::int32_t failed = 0;
  for (const auto& s : outcome.soups) failed = s.error != 0 ? s.error : failed;
  EXPECT_EQ(failed, c.failedWith);
  EXPECT_FALSE(link.connected && link.count("pipeDisconnect") == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackupEnds,
    ::testing::Values(
        BackupCase{"Everything", {}, {}, nullptr, backup::BackupEnd::Completed,
                   {"Internal/Names", "Internal/Notes", "Card/Packages"}, 0},
        BackupCase{"ASoupFailsAndTheRestGoes", failing("Names"), {}, nullptr, backup::BackupEnd::Completed,
                   {"Internal/Notes", "Card/Packages"}, -48005},
        BackupCase{"TheNewtonCancels", cancelling("Names", 2), {}, nullptr, backup::BackupEnd::NewtonCancelled,
                   {"Internal/Notes"}, 0},
        BackupCase{"TheLineDrops", dropping("Packages", 1), {}, nullptr, backup::BackupEnd::LinkLost,
                   {"Internal/Names", "Internal/Notes"}, 0},
        // Entries a second apart, so that the stop comes in the middle of Names.
        BackupCase{"TheUserStops", slow(1000), {},
                   [](AppState& app) {
                     if (app.batch.entriesReceived == 7) app.abortRequested = true;
                   },
                   backup::BackupEnd::Stopped, {"Internal/Notes"}, 0},
        BackupCase{"AnotherPassword", {}, withPassword("secret"), nullptr, backup::BackupEnd::PasswordRejected, {}, 0},
        BackupCase{"ANewtonOs1Newton", {}, {"", true}, nullptr, backup::BackupEnd::OldNewton, {}, 0}),
    [](const auto& info) { return info.param.name; });

// A disk that fills up in the middle: the soup under way is not kept, every soup before it is, and the backup
// says why it ended.
TEST_F(BackupFixture, AFullDiskEndsTheBackupWithTheSoupsDoneKept) {
  for (auto& entry : content.stores[0].soups[1].entries) entry = this->bigEntry(entry.uniqueId);
  roomInPages = 4;
  const backup::BackupOutcome outcome = backUp({}, {});
  EXPECT_EQ(outcome.end, backup::BackupEnd::ArchiveFailed);
  EXPECT_NE(outcome.problem.find("full"), std::string::npos) << outcome.problem;
  roomInPages = 0;
  EXPECT_EQ(committed(), (std::vector<std::string>{"Internal/Notes"}));
}

// After a run that did not finish, the next one asks only whether the soups that run committed changed (they did
// not: "ndir"), and for every entry of the rest.
TEST_F(BackupFixture, TheRunAfterAnInterruptedOneFetchesOnlyWhatItLacks) {
  ASSERT_EQ(backUp(dropping("Packages", 1), {}).end, backup::BackupEnd::LinkLost);
  newtonSide = test::DockBehindLink{};
  const backup::BackupOutcome second = backUp({}, {});
  EXPECT_EQ(second.end, backup::BackupEnd::Completed) << second.problem;
  std::vector<std::string> unchanged, fetched;
  for (const auto& s : second.soups) (s.unchanged ? unchanged : fetched).push_back(s.store + "/" + s.soup);
  EXPECT_EQ(unchanged, (std::vector<std::string>{"Internal/Notes", "Internal/Names"}));
  EXPECT_EQ(fetched, (std::vector<std::string>{"Card/Packages"}));
  EXPECT_EQ(committed(), (std::vector<std::string>{"Internal/Names", "Internal/Notes", "Card/Packages"}));
}

// A second backup after the user changed, added and deleted entries on the Newton: only those come, the deleted
// one is recorded as deleted, the archive's state is the changed Newton's, and the earlier version stays.
TEST_F(BackupFixture, TheNextBackupTakesOnlyWhatChanged) {
  ASSERT_EQ(backUp({}, {}).end, backup::BackupEnd::Completed);
  newton::ContentSoup& notes = content.stores[0].soups[0];
  const std::uint32_t editedAt = newtonClock + 10;
  notes.entries[1] = entry(1, 500);
  notes.entries[1].modTime = editedAt;  // (the bytes carry the older _modTime; the Newton's list goes by this one)
  notes.entries.erase(notes.entries.begin() + 2);
  notes.entries.push_back(entry(5, 70));
  notes.entries.back().modTime = editedAt;
  notes.changedAt = editedAt;
  newtonClock += 20;
  newtonSide = test::DockBehindLink{};
  const backup::BackupOutcome second = backUp({}, {});
  ASSERT_EQ(second.end, backup::BackupEnd::Completed) << second.problem;
  EXPECT_EQ(app.batch.entriesReceived, 2);  // the changed and the added entry, nothing else
  ASSERT_EQ(second.soups.size(), 3u);
  const backup::SoupResult& n = second.soups[0];
  EXPECT_EQ(std::vector<std::int64_t>({n.entries, n.added, n.changed, n.deleted}), std::vector<std::int64_t>({5, 1, 1, 1}));
  EXPECT_TRUE(second.soups[1].unchanged && second.soups[2].unchanged);
  EXPECT_EQ(committed(), (std::vector<std::string>{"Internal/Names", "Internal/Notes", "Card/Packages"}));
  auto read = archive::Archive::openForReading(path());
  const auto stores = read->stores(read->runs()->back().id);
  const auto history = read->history(stores->front().id, "Notes", 1);
  ASSERT_EQ(history->size(), 2u);  // added in the first run, changed in the second; both versions kept
  EXPECT_NE(read->bytesOf(history->front().version).value(), read->bytesOf(history->back().version).value());
}

}  // namespace
}  // namespace skiff
