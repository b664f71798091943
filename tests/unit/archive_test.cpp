#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "archive/archive.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace skiff::archive {
namespace {

using EntryMap = std::map<std::uint32_t, Bytes>;

// Bytes that differ with the ID, the generation (an edit on the Newton) and the size.
Bytes entryBytes(std::uint32_t id, int generation = 0, std::size_t size = 48) {
  Bytes bytes(size);
  std::uint32_t x = id * 2654435761u + static_cast<std::uint32_t>(generation) * 40503u + 1;
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  return bytes;
}

EntryMap entriesOf(std::initializer_list<std::uint32_t> ids, int generation = 0, std::size_t size = 48) {
  EntryMap entries;
  for (auto id : ids) entries[id] = entryBytes(id, generation, size);
  return entries;
}

const NewtonIdentity kNewton{0x00C0FFEE, "Ben Tem", {0, 0, 0, 72}};
const StoreInfo kInternal{"Internal", 0x1234, "Internal", {2, 6, 0}};

Archive openOrDie(const std::string& path, const OpenOptions& options = {}) {
  auto archive = Archive::open(path, options);
  if (!archive) ADD_FAILURE() << archive.reason();
  return std::move(*archive);
}

struct SoupRun {
  SoupRun(std::string soup, SoupMethod method, EntryMap sent, std::vector<std::uint32_t> listed = {})
      : soup(std::move(soup)), method(method), sent(std::move(sent)), listed(std::move(listed)) {}
  std::string soup;
  SoupMethod method;
  EntryMap sent;
  std::vector<std::uint32_t> listed;  // "bids": still present, not sent again
};

Result<Counts> writeSoup(Archive& archive, RunId run, StoreId store, const SoupRun& soup) {
  const Bytes info = {2, 6, 1};
  auto writer = archive.beginSoup(run, store, soup.soup, info, std::nullopt, soup.method);
  if (!writer) return writer.failure();
  for (const auto& [id, bytes] : soup.sent) {
    if (auto added = writer->addEntry(id, 1000 + id, bytes); !added) return added.failure();
  }
  if (!soup.listed.empty()) {
    if (auto listed = writer->stillPresent(soup.listed); !listed) return listed.failure();
  }
  return writer->commit();
}

// A run of the given soups; finished when `finish`.
RunId writeRun(Archive& archive, RunKind kind, const std::vector<SoupRun>& soups, bool finish = true) {
  const RunId run = *archive.beginRun(kNewton, 60'000'000, kind);
  const StoreId store = *archive.putStore(run, kInternal);
  for (const auto& soup : soups) {
    auto counts = writeSoup(archive, run, store, soup);
    EXPECT_TRUE(counts) << soup.soup << ": " << (counts ? "" : counts.reason());
  }
  if (finish) {
    EXPECT_TRUE(archive.finishRun(run, true));
  }
  return run;
}

EntryMap stateOf(Archive& archive, RunId run, const std::string& soup) {
  EntryMap state;
  auto cursor = archive.entries(run, StoreId{1}, soup);
  if (!cursor) {
    ADD_FAILURE() << cursor.reason();
    return state;
  }
  while (cursor->next()) state[cursor->entry().uniqueId] = *cursor->bytes();
  EXPECT_TRUE(cursor->status()) << cursor->status().reason();
  return state;
}

std::int64_t count(Archive& archive, const std::string& sql) {
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(archive.connectionForTests(), sql.c_str(), -1, &query, nullptr);
  const std::int64_t value = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
  sqlite3_finalize(query);
  return value;
}

bool passesIntegrityCheck(const std::string& path) {
  auto archive = Archive::openForReading(path);  // opening runs PRAGMA integrity_check
  if (!archive) ADD_FAILURE() << archive.reason();
  return archive && count(*archive, "SELECT count(*) FROM run") >= 0;
}

// A child process of the test: `body` runs in it and may write to the parent; the child then ends with _exit,
// so nothing of the test's own state runs twice. Killed at the end if still running.
class Child {
 public:
  explicit Child(const std::function<void(int toParent)>& body) {
    int fds[2];
    if (pipe(fds) != 0) ADD_FAILURE() << "pipe";
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      body(fds[1]);
      _exit(0);
    }
    close(fds[1]);
    from_ = fds[0];
  }
  ~Child() {
    close(from_);
    if (pid_ > 0) test::killAndReap(pid_);
  }
  // Waits for the child's next message, or for the child to end ("" then).
  std::string read() {
    char buffer[4096];
    const ssize_t n = ::read(from_, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }
  void kill() {
    test::killAndReap(pid_);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int from_ = -1;
};

void tell(int fd, const std::string& text) { (void)!write(fd, text.data(), text.size()); }

// --- history -------------------------------------------------------------------------------------------------

TEST(ArchiveHistory, EachRunHasItsOwnStateAndEarlierVersionsStay) {
  test::TempDir dir;
  auto archive = openOrDie(dir.path() + "/ben.skiff");
  EntryMap names2 = entriesOf({1, 3, 5}), notes3 = entriesOf({1, 3});
  names2[2] = entryBytes(2, 1);  // edited
  names2[6] = entryBytes(6);     // new
  const RunId run1 = writeRun(archive, RunKind::Full, {{"Names", SoupMethod::Full, entriesOf({1, 2, 3, 4, 5})},
                                                       {"Notes", SoupMethod::Full, entriesOf({1, 2, 3})}});
  // Incremental: 2 changed, 6 added, 3 sent again unchanged, 1 and 5 listed, 4 gone; Notes unchanged.
  const RunId run2 = writeRun(archive, RunKind::Incremental,
                              {{"Names", SoupMethod::Incremental,
                                {{2, names2[2]}, {3, names2[3]}, {6, names2[6]}}, {1, 5}},
                               {"Notes", SoupMethod::Unchanged, {}}});
  const auto versions = count(archive, "SELECT count(*) FROM entry_version");
  // Full again with the same bytes: nothing is new; Notes lost entry 2.
  const RunId run3 = writeRun(archive, RunKind::Full, {{"Names", SoupMethod::Full, names2},
                                                       {"Notes", SoupMethod::Full, notes3}});
  EXPECT_EQ(count(archive, "SELECT count(*) FROM entry_version"), versions);

  struct Expected {
    RunId run;
    std::string soup;
    SoupMethod method;
    EntryMap state;
    std::int64_t added, changed, deleted;
  };
  const Expected table[] = {
      {run1, "Names", SoupMethod::Full, entriesOf({1, 2, 3, 4, 5}), 5, 0, 0},
      {run1, "Notes", SoupMethod::Full, entriesOf({1, 2, 3}), 3, 0, 0},
      {run2, "Names", SoupMethod::Incremental, names2, 1, 1, 1},
      {run2, "Notes", SoupMethod::Unchanged, entriesOf({1, 2, 3}), 0, 0, 0},
      {run3, "Names", SoupMethod::Full, names2, 0, 0, 0},
      {run3, "Notes", SoupMethod::Full, notes3, 0, 0, 1},
  };
  for (const auto& row : table) {
    SCOPED_TRACE("run " + std::to_string(row.run.value) + " " + row.soup);
    EXPECT_EQ(stateOf(archive, row.run, row.soup), row.state);
    const auto soups = *archive.soups(row.run);
    const auto soup = std::find_if(soups.begin(), soups.end(), [&](auto& s) { return s.name == row.soup; });
    ASSERT_NE(soup, soups.end());
    EXPECT_EQ(soup->method, row.method);
    EXPECT_EQ(soup->counts.entries, static_cast<std::int64_t>(row.state.size()));
    EXPECT_EQ(soup->counts.bytes, static_cast<std::int64_t>(row.state.size() * 48));
    EXPECT_EQ(std::tie(soup->counts.added, soup->counts.changed, soup->counts.deleted),
              std::tie(row.added, row.changed, row.deleted));
  }

  const auto runs = *archive.runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].kind, RunKind::Incremental);
  EXPECT_EQ(std::make_tuple(runs[1].soups, runs[1].totals.entries, runs[1].totals.added, runs[1].totals.changed,
                            runs[1].totals.deleted),
            std::make_tuple(2, 8, 1, 1, 1));

  // Entry 2: added, then changed, its first bytes still there; entry 4: deleted, never erased.
  const auto edited = *archive.history(StoreId{1}, "Names", 2);
  ASSERT_EQ(edited.size(), 2u);
  EXPECT_EQ(edited[1].change, Change::Changed);
  EXPECT_EQ(*archive.bytesOf(edited[0].version), entryBytes(2, 0));
  const auto gone = *archive.history(StoreId{1}, "Names", 4);
  ASSERT_EQ(gone.size(), 2u);
  EXPECT_EQ(gone[1].run, run2);
  EXPECT_EQ(gone[1].change, Change::Deleted);
  EXPECT_EQ(*archive.bytesOf(gone[1].version), entryBytes(4));
  EXPECT_FALSE(archive.entryAt(run2, StoreId{1}, "Names", 4)->has_value());
}

TEST(ArchiveHistory, AnUnfinishedRunsSoupsCountAsDoneAndTheRestAreNotInvented) {
  test::TempDir dir;
  const std::string path = dir.path() + "/ben.skiff";
  {
    auto archive = openOrDie(path);
    const RunId run = writeRun(archive, RunKind::Full, {{"Names", SoupMethod::Full, entriesOf({3, 9, 4})}}, false);
    auto notes = archive.beginSoup(run, StoreId{1}, "Notes", std::nullopt, std::nullopt, SoupMethod::Full);
    ASSERT_TRUE(notes->addEntry(1, 5, entryBytes(1)));
  }  // the line dropped: Notes never committed, the run never finished
  auto archive = openOrDie(path);
  const auto runs = *archive.runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_FALSE(runs[0].completed || runs[0].endedAt);

  const auto names = *archive.lastCompleteSoup(StoreId{1}, "Names");
  ASSERT_TRUE(names);
  EXPECT_EQ(names->run, runs[0].id);
  EXPECT_EQ(names->newtonTime, 60'000'000u);
  EXPECT_EQ(names->highestId, 9u);
  EXPECT_EQ(names->entries, 3);
  EXPECT_FALSE(archive.lastCompleteSoup(StoreId{1}, "Notes")->has_value());
  const auto notInRun = archive.entries(runs[0].id, StoreId{1}, "Notes");
  ASSERT_FALSE(notInRun);
  EXPECT_EQ(notInRun.failure().problem, Problem::Missing);

  EXPECT_EQ(archive.beginRun({0xBAD, "Someone Else", {}}, 1, RunKind::Full).failure().problem, Problem::Mismatch);
  // The next run lists an ID the archive never held: the soup is refused rather than made up.
  const RunId run2 = *archive.beginRun(kNewton, 60'000'100, RunKind::Incremental);
  ASSERT_TRUE(archive.putStore(run2, kInternal));
  const auto unknown = writeSoup(archive, run2, StoreId{1}, {"Names", SoupMethod::Incremental, {}, {3, 4, 9, 77}});
  ASSERT_FALSE(unknown);
  EXPECT_EQ(unknown.failure().problem, Problem::Mismatch);
  EXPECT_NE(unknown.reason().find("77"), std::string::npos) << unknown.reason();
  EXPECT_FALSE(*archive.soupDoneInRun(run2, StoreId{1}, "Names"));
  auto again = archive.entries(run2, StoreId{1}, "Names");
  ASSERT_FALSE(again);
  EXPECT_NE(again.reason().find("run 1 holds its last copy"), std::string::npos) << again.reason();
}

// --- interruptions -------------------------------------------------------------------------------------------

// Run 2 commits Notes, then writes 3 MB of Dates (beyond SQLite's page cache, so into the file) and stops.
void interruptedRun(const std::string& path, const std::function<void()>& stop) {
  auto archive = openOrDie(path);
  writeRun(archive, RunKind::Full, {{"Notes", SoupMethod::Full, entriesOf({7})}}, false);
  auto dates = archive.beginSoup(RunId{2}, StoreId{1}, "Dates", std::nullopt, std::nullopt, SoupMethod::Full);
  for (std::uint32_t id = 0; id < 48; ++id) ASSERT_TRUE(dates->addEntry(id, 1, entryBytes(id, 0, 64 << 10)));
  stop();
}

enum class Stop { WriterDestroyed, ProcessKilled };

class ArchiveInterrupted : public ::testing::TestWithParam<Stop> {};

TEST_P(ArchiveInterrupted, MidSoupLeavesNothingOfItAndEveryEarlierSoupIntact) {
  test::TempDir dir;
  const std::string path = dir.path() + "/ben.skiff";
  {
    auto archive = openOrDie(path);
    writeRun(archive, RunKind::Full, {{"Names", SoupMethod::Full, entriesOf({1, 2})}});
  }
  const auto sizeBefore = std::filesystem::file_size(path);
  if (GetParam() == Stop::WriterDestroyed) {
    interruptedRun(path, [] {});
  } else {
    Child child([&](int toParent) { interruptedRun(path, [&] { tell(toParent, "mid"); pause(); }); });
    ASSERT_EQ(child.read(), "mid");
    child.kill();
    EXPECT_GT(std::filesystem::file_size(path), sizeBefore + (1 << 20));  // the soup had reached the file
  }
  ASSERT_TRUE(passesIntegrityCheck(path));
  auto archive = openOrDie(path);
  EXPECT_EQ(stateOf(archive, RunId{1}, "Names"), entriesOf({1, 2}));
  EXPECT_EQ(stateOf(archive, RunId{2}, "Notes"), entriesOf({7}));
  EXPECT_FALSE(archive.lastCompleteSoup(StoreId{1}, "Dates")->has_value());
  EXPECT_EQ(count(archive, "SELECT count(*) FROM entry_version"), 3);
}

INSTANTIATE_TEST_SUITE_P(Stops, ArchiveInterrupted, ::testing::Values(Stop::WriterDestroyed, Stop::ProcessKilled));

enum class Fill { PageLimit, FileSizeLimit };

class ArchiveDiskFull : public ::testing::TestWithParam<Fill> {};

TEST_P(ArchiveDiskFull, RollsTheSoupBackWithTheReason) {
  test::TempDir dir;
  const std::string path = dir.path() + "/ben.skiff";
  {
    auto archive = openOrDie(path);
    writeRun(archive, RunKind::Full, {{"Names", SoupMethod::Full, entriesOf({1, 2})}}, false);
  }
  const SoupRun big{"Packages", SoupMethod::Full, entriesOf({1, 2, 3, 4, 5, 6}, 0, 1 << 20)};
  const auto fillUp = [&](const std::function<void(Archive&)>& limit) {
    auto archive = openOrDie(path);
    limit(archive);
    auto counts = writeSoup(archive, RunId{1}, StoreId{1}, big);
    return counts ? std::string("committed") : counts.reason();
  };
  std::string reason;
  if (GetParam() == Fill::PageLimit) {
    reason = fillUp([](Archive& archive) {
      sqlite3_exec(archive.connectionForTests(), "PRAGMA max_page_count = 600", nullptr, nullptr, nullptr);
    });
    EXPECT_NE(reason.find("disk full while writing soup Packages of Internal in " + path), std::string::npos);
  } else {
    Child child([&](int toParent) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{2 << 20, 2 << 20};
      setrlimit(RLIMIT_FSIZE, &limit);
      tell(toParent, fillUp([](Archive&) {}));
    });
    reason = child.read();
  }
  EXPECT_NE(reason.find("soup Packages of Internal"), std::string::npos) << reason;
  EXPECT_EQ(reason.find('\n'), std::string::npos);
  ASSERT_TRUE(passesIntegrityCheck(path));
  auto archive = openOrDie(path);
  EXPECT_EQ(stateOf(archive, RunId{1}, "Names"), entriesOf({1, 2}));
  EXPECT_FALSE(*archive.soupDoneInRun(RunId{1}, StoreId{1}, "Packages"));
  // With room again the same soup goes in whole.
  ASSERT_TRUE(writeSoup(archive, RunId{1}, StoreId{1}, big));
  EXPECT_EQ(stateOf(archive, RunId{1}, "Packages"), big.sent);
}

INSTANTIATE_TEST_SUITE_P(Fills, ArchiveDiskFull, ::testing::Values(Fill::PageLimit, Fill::FileSizeLimit));

// --- the file ------------------------------------------------------------------------------------------------

TEST(ArchiveFile, OnlyItsOwnerCanReadItOrAnythingBesideIt) {
  test::TempDir dir;
  const std::string path = dir.path() + "/ben.skiff";
  const auto everyFileIsPrivate = [&] {
    for (const auto& file : std::filesystem::directory_iterator(dir.path())) {
      struct stat info {};
      stat(file.path().c_str(), &info);
      EXPECT_EQ(info.st_mode & 0777, 0600u) << file.path();
    }
  };
  const mode_t saved = umask(0);  // the mode must not depend on the user's umask
  {
    auto archive = openOrDie(path);
    auto writer = archive.beginSoup(writeRun(archive, RunKind::Full, {}, false), StoreId{1}, "Names", std::nullopt,
                                    std::nullopt, SoupMethod::Full);
    ASSERT_TRUE(writer->addEntry(1, 1, entryBytes(1, 0, 4 << 20)));
    everyFileIsPrivate();  // the journal too, mid-soup
  }
  umask(saved);
  chmod(path.c_str(), 0644);
  auto archive = openOrDie(path);
  everyFileIsPrivate();
  ASSERT_EQ(archive.notices().size(), 1u);
  EXPECT_NE(archive.notices()[0].find("(it was 0644)"), std::string::npos) << archive.notices()[0];
}

struct Refusal {
  const char* name;
  std::function<std::string(const test::TempDir&)> makePath;  // the archive's path, with whatever it needs
  std::function<std::string(const std::string& path, const std::string& folder)> expected;
  OpenOptions options = {};
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

std::string textFile(const test::TempDir& dir) { return dir.file("notes.txt", "not a database, just some text"); }

class ArchiveRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ArchiveRefusal, SaysWhyInOneLine) {
  test::TempDir dir;
  const std::string path = GetParam().makePath(dir);
  std::string reason;
  if (geteuid() == 0 && std::string(GetParam().name) == "ReadOnlyFolder") {
    // Root writes anywhere: the refusal is seen by an ordinary user.
    Child child([&](int toParent) {
      if (setgid(65534) != 0 || setuid(65534) != 0) tell(toParent, "cannot become nobody");
      tell(toParent, Archive::open(path, GetParam().options).reason());
    });
    reason = child.read();
  } else {
    auto archive = Archive::open(path, GetParam().options);
    ASSERT_FALSE(archive);
    reason = archive.reason();
  }
  const std::string expected = GetParam().expected(path, path.substr(0, path.rfind('/')));
  EXPECT_EQ(fnmatch(expected.c_str(), reason.c_str(), 0), 0) << reason << "\n is not \n" << expected;
  EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
}

const Refusal kRefusals[] = {
    {"FileNameTooLong", [](auto& dir) { return dir.path() + "/" + std::string(300, 'x') + ".skiff"; },
     [](auto& path, auto&) { return "cannot open " + path + ": File name too long"; }},
    {"MissingFolderOfA1000CharacterPath",
     [](auto& dir) { return dir.path() + "/" + std::string(250, 'm') + "/" + std::string(250, 'n') + "/" +
                            std::string(250, 'o') + "/" + std::string(250, 'p') + ".skiff"; },
     [](auto& path, auto&) { return "cannot create " + path + ": No such file or directory"; }},
    {"ReadOnlyFolder",
     [](auto& dir) {
       const std::string folder = dir.path() + "/locked";
       mkdir(folder.c_str(), 0555);
       chmod(dir.path().c_str(), 0755);
       return folder + "/ben.skiff";
     },
     [](auto& path, auto&) { return "cannot create " + path + ": Permission denied"; }},
    {"NoRoom", [](auto& dir) { return dir.path() + "/ben.skiff"; },
     [](auto&, auto& folder) { return "no room: * free on " + folder + ", at least 1048576.0 GB wanted"; },
     OpenOptions{1ull << 50}},
    {"Damaged",
     [](auto& dir) {
       const std::string path = dir.path() + "/ben.skiff";
       std::int64_t page = 0, pageSize = 0;
       {
         auto archive = openOrDie(path);  // a page that opening does not read: an empty table's
         page = count(archive, "SELECT rootpage FROM sqlite_schema WHERE name = 'run_entry'");
         pageSize = count(archive, "PRAGMA page_size");
       }
       std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
       file.seekp((page - 1) * pageSize);
       file << std::string(64, '\xFF');
       return path;
     },
     [](auto& path, auto&) { return path + " is damaged*"; }},
    {"WrittenByANewerSkiff",
     [](auto& dir) {
       const std::string path = dir.path() + "/ben.skiff";
       auto archive = openOrDie(path);
       sqlite3_exec(archive.connectionForTests(), "PRAGMA user_version = 2", nullptr, nullptr, nullptr);
       return path;
     },
     [](auto& path, auto&) {
       return path + " was written by a newer skiff (archive version 2; this one reads version 1)";
     }},
    {"NotAnArchive", textFile,
     [](auto& path, auto&) { return path + " is not a Skiff archive (file is not a database)"; }},
};

INSTANTIATE_TEST_SUITE_P(Refusals, ArchiveRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ArchiveFile, ASecondSkiffIsRefusedAtOnceWhileABackupHoldsIt) {
  test::TempDir dir;
  const std::string path = dir.path() + "/ben.skiff";
  Child backup([&](int toParent) {
    auto archive = openOrDie(path);
    writeRun(archive, RunKind::Full, {{"Names", SoupMethod::Full, entriesOf({1})}}, false);
    tell(toParent, "holding");
    pause();
  });
  ASSERT_EQ(backup.read(), "holding");
  const std::string inUse = "the archive " + path + " is in use by another skiff";
  EXPECT_EQ(Archive::open(path).reason(), inUse);
  EXPECT_EQ(Archive::openForReading(path).reason(), inUse);
  backup.kill();
  auto archive = Archive::openForReading(path);
  ASSERT_TRUE(archive) << archive.reason();
  EXPECT_EQ(stateOf(*archive, RunId{1}, "Names"), entriesOf({1}));
}

class ArchiveBlobs : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ArchiveBlobs, ComeBackByteForByte) {
  test::TempDir dir;
  auto archive = openOrDie(dir.path() + "/ben.skiff");
  const EntryMap sent = {{GetParam() % 1000, entryBytes(1, 0, GetParam())}};
  writeRun(archive, RunKind::Full, {{"Packages", SoupMethod::Full, sent}});
  EXPECT_EQ(stateOf(archive, RunId{1}, "Packages"), sent);
  const auto entry = *archive.entryAt(RunId{1}, StoreId{1}, "Packages", GetParam() % 1000);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->size, static_cast<std::int64_t>(GetParam()));
  EXPECT_EQ(*archive.bytesOf(entry->version), sent.begin()->second);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ArchiveBlobs, ::testing::Values(0, 1, 4095, 4096, 65537, 1 << 20));

}  // namespace
}  // namespace skiff::archive
