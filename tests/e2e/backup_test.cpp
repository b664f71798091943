// skiff backup against newton-sim's backup role over a pseudo-terminal (and TCP), with the real link library:
// what the archive holds afterwards, byte for byte, and how each way of ending leaves it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "dock/nsof.h"
#include "newton/content.h"
#include "tests/support/pty_process.h"
#include "tests/support/sim_process.h"

namespace skiff::e2e {
namespace {

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Backup : ::testing::Test {
  std::filesystem::path dir;
  std::unique_ptr<test::SimProcess> sim;

  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("skiff-backup-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "out");
  }
  void TearDown() override {
    if (!HasFailure()) {
      std::error_code ignored;
      std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ignored);
      std::filesystem::remove_all(dir, ignored);
    }
  }
  std::string archivePath() const { return (dir / "test.newton-backup").string(); }

  void startNewton(const std::vector<std::string>& options, const std::vector<std::string>& line = {},
                   const std::string& out = "out") {
    std::vector<std::string> args{"--log", (dir / "sim.log").string(), "--retransmit-ms", "300"};
    args.insert(args.end(), line.begin(), line.end());
    for (const char* arg : {"backup", "--out"}) args.emplace_back(arg);
    args.push_back((dir / out).string());
    args.insert(args.end(), options.begin(), options.end());
    sim = std::make_unique<test::SimProcess>(args);
    ASSERT_TRUE(sim->start()) << sim->errors();
  }
  test::CommandResult backup(const std::vector<std::string>& options, int timeoutMs = 120000) {
    const std::string port = sim ? sim->device() : "/dev/skiff-no-such-port";
    std::string command = "cd " + quoted(dir.string()) + " && exec " + quoted(test::binPath("skiff")) +
                          " backup --port " + quoted(port);
    for (const auto& option : options) command += " " + quoted(option);
    return test::runCommand({"/bin/sh", "-c", command}, timeoutMs);
  }

  // Every entry of every soup the latest run holds, by "store/soup/id"; the archive's own check passed.
  std::map<std::string, std::vector<std::uint8_t>> held(const std::string& path = "") const {
    std::map<std::string, std::vector<std::uint8_t>> out;
    auto archive = archive::Archive::openForReading(path.empty() ? archivePath() : path);
    EXPECT_TRUE(archive.ok()) << archive.reason();
    if (!archive.ok()) return out;
    const auto runs = archive->runs();
    if (!runs.ok() || runs->empty()) return out;
    const auto soups = archive->soups(runs->back().id);
    for (const auto& soup : *soups) {
      auto cursor = archive->entries(runs->back().id, soup.store, soup.name);
      while (cursor->next())
        out[soup.storeName + "/" + soup.name + "/" + std::to_string(cursor->entry().uniqueId)] = *cursor->bytes();
    }
    return out;
  }
  // What the simulated Newton holds, generated as newton-sim generates it.
  static std::map<std::string, std::vector<std::uint8_t>> onTheNewton(const std::vector<newton::ContentEdit>& edits = {},
                                                                      std::uint32_t editedAt = 0) {
    newton::ContentOptions options;
    options.now = 64'870'920;
    newton::NewtonContent content = newton::generatedContent(options);
    if (!edits.empty()) newton::editContent(content, edits, editedAt);
    std::map<std::string, std::vector<std::uint8_t>> out;
    for (const auto& store : content.stores)
      for (const auto& soup : store.soups) {
        for (const auto& entry : soup.entries)
          out[store.name + "/" + soup.name + "/" + std::to_string(entry.uniqueId)] = entry.nsof;
      }
    return out;
  }
};

TEST_F(Backup, EveryEntryOfEveryStoreIsInTheArchiveByteForByte) {
  startNewton({});
  const auto result = backup({archivePath()});
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(held(), onTheNewton());
  EXPECT_TRUE(has(result.out, "Internal/Notes: 12 entries")) << result.out;
  EXPECT_TRUE(has(result.out, "Backed up 2 stores, ")) << result.out;
  EXPECT_TRUE(has(result.out, "Archive: " + archivePath())) << result.out;
  EXPECT_TRUE(has(result.err, " entries, byte ")) << result.err;  // the progress: entries and bytes
  EXPECT_EQ(sim->wait(20000), 0) << sim->errors();
  struct stat info{};
  ASSERT_EQ(::stat(archivePath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const auto listed = test::runCommand({test::binPath("skiff"), "backup", "--list", archivePath()}, 20000);
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_TRUE(has(listed.out, "completed: " + std::to_string(onTheNewton().size()) + " entries")) << listed.out;
  EXPECT_TRUE(has(listed.out, "  Internal/Notes: 12 entries")) << listed.out;

  // The backup exports as the Newton's content does (whose files real parsers read back, tests/e2e/export_test).
  const auto readable = test::runCommand({test::binPath("skiff"), "export", "--to", (dir / "readable").string(),
                                          archivePath()}, 60000);
  EXPECT_EQ(readable.exitCode, 0) << readable.err;
  EXPECT_TRUE(has(readable.out, "Exported 19 notes, 19 cards, 46 events, 3 packages")) << readable.out;
  // The raw export writes every entry back as it came: a Newton given that folder backs up to the same archive.
  const auto raw = test::runCommand({test::binPath("skiff"), "export", "--raw", (dir / "raw").string(), archivePath()},
                                    60000);
  ASSERT_EQ(raw.exitCode, 0) << raw.err;
  startNewton({"--content", (dir / "raw").string()});
  const std::string again = (dir / "again.newton-backup").string();
  const auto second = backup({again});
  ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
  EXPECT_EQ(held(again), onTheNewton());
}

// Over TCP, MNP and all as the Newton emulator's serial line carries it, and raw as a Newton docking over the
// network sends its frames: the same backup.
TEST_F(Backup, OverTcpTheSame) {
  for (const bool raw : {false, true}) {
    std::filesystem::remove(archivePath());
    test::SimProcess skiff({"-C", dir.string(), test::binPath("skiff"), "backup", "--port", "tcp:127.0.0.1:0",
                            archivePath()},
                           "/usr/bin/env");
    ASSERT_TRUE(skiff.start(10000, false));
    const std::string listening = "Listening on 127.0.0.1:";
    ASSERT_TRUE(skiff.waitForError(" (TCP)\n", 10000)) << skiff.errors();
    const int port = std::atoi(skiff.errors().c_str() + skiff.errors().find(listening) + listening.size());
    std::vector<std::string> args{"--tcp-connect", "127.0.0.1:" + std::to_string(port)};
    if (raw) args.push_back("--raw-dock");
    for (const char* arg : {"backup", "--out"}) args.emplace_back(arg);
    args.push_back((dir / "out").string());
    test::SimProcess newton(args);
    ASSERT_TRUE(newton.start()) << newton.errors();
    EXPECT_EQ(skiff.wait(120000), 0) << raw << skiff.output() << skiff.errors();
    EXPECT_EQ(newton.wait(20000), 0) << raw << newton.errors();
    EXPECT_EQ(held(), onTheNewton()) << raw;
  }
}

struct EndCase {
  const char* name;
  std::vector<std::string> newton;   // newton-sim backup's options
  int exitCode;
  const char* says;                  // on stdout or stderr
  const char* without;               // "store/soup" missing from the archive ("*": everything)
};

class BackupEnds : public Backup, public ::testing::WithParamInterface<EndCase> {};

TEST_P(BackupEnds, AsDescribedWithNothingCommittedLost) {
  const EndCase& c = GetParam();
  startNewton(c.newton);
  const auto result = backup({archivePath()});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
  EXPECT_TRUE(has(result.out + result.err, c.says)) << result.out << result.err;
  if (std::string(c.without) == "*") {
    EXPECT_TRUE(held().empty());
  } else if (*c.without != 0) {
    // Every soup done before the end is whole; the one under way is not there at all.
    const auto all = onTheNewton();
    const auto got = held();
    for (const auto& [key, bytes] : got) EXPECT_EQ(bytes, all.at(key)) << key;
    for (const auto& [key, bytes] : got) EXPECT_NE(key.rfind(std::string(c.without) + "/", 0), 0u) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackupEnds,
    ::testing::Values(
        EndCase{"WrongPassword", {"--password", "secret"}, 1,
                "The Newton's password does not match; give it with --password-file", "*"},
        EndCase{"NewtonOs1", {"--os1"}, 1, "This Newton runs Newton OS 1.x", "*"},
        EndCase{"ASoupFails", {"--fail-soup", "Names"}, 1, "; 1 soup failed: Names (-48005)", "Internal/Names"},
        EndCase{"TheNewtonCancels", {"--cancel-in-soup", "Names:3"}, 1, "The Newton cancelled the backup", "Internal/Names"},
        EndCase{"TheLineDrops", {"--drop-in-soup", "Names:3"}, 1, "Error -- ", "Internal/Names"}),
    [](const auto& info) { return info.param.name; });

// A line that drops in a soup, then a second run: it completes the archive, asking only for what it lacks.
TEST_F(Backup, ASecondRunCompletesAnInterruptedOne) {
  startNewton({"--drop-in-soup", "Names:3"});
  const auto first = backup({archivePath()});
  EXPECT_EQ(first.exitCode, 1) << first.out << first.err;
  sim->wait(20000);
  startNewton({});
  const auto second = backup({archivePath()});
  EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
  EXPECT_TRUE(has(second.out, "Internal/Notes: 12 entries, unchanged")) << second.out;
  EXPECT_EQ(held(), onTheNewton());
}

// The second backup asks only for what changed: after a full backup and the user's changes (5 changed, 3 added,
// 2 deleted across two soups), exactly those 8 entries come, the 2 deleted are recorded so, and the archive holds
// what a fresh full backup of the changed Newton would, with the earlier versions still there. A third backup of
// the unchanged Newton takes none; one that drops in the middle, then a good one, end the same way.
TEST_F(Backup, IncrementalBackupsTakeOnlyTheChanges) {
  const std::uint32_t editedAt = 64'871'000;
  const std::string at = "@" + std::to_string(editedAt);
  const std::vector<std::string> edits{"--edit", "Notes:changed=3,added=2,deleted=1" + at, "--edit",
                                       "Names:changed=2,added=1,deleted=1" + at};
  const std::vector<newton::ContentEdit> asEdited{{"", "Notes", 3, 2, 1}, {"", "Names", 2, 1, 1}};
  const auto entriesSent = [&](const std::string& out) {
    std::ifstream log(dir / out / "dock.log");
    int n = 0;
    for (std::string line; std::getline(log, line);) n += line.rfind("tx entr ", 0) == 0;
    return n;
  };
  const auto session = [&](const std::string& out, std::vector<std::string> options, std::uint32_t clock) {
    options.insert(options.end(), {"--clock", std::to_string(clock)});
    startNewton(options, {}, out);
    auto result = backup({archivePath()});
    sim->wait(20000);
    return result;
  };
  ASSERT_EQ(session("full", {}, 64'870'920).exitCode, 0);
  const auto changes = session("changes", edits, editedAt + 60);
  ASSERT_EQ(changes.exitCode, 0) << changes.out << changes.err;
  EXPECT_EQ(entriesSent("changes"), 8);
  EXPECT_TRUE(has(changes.out, "(3 added, 5 changed, 2 deleted; ")) << changes.out;
  EXPECT_TRUE(has(changes.out, "Internal/Notes: 13 entries (2 added, 3 changed, 1 deleted; ")) << changes.out;
  EXPECT_EQ(held(), onTheNewton(asEdited, editedAt));
  {
    auto archive = archive::Archive::openForReading(archivePath());
    ASSERT_TRUE(archive.ok());
    const auto stores = archive->stores(archive->runs()->back().id);
    const auto history = archive->history(stores->front().id, "Notes", 0);  // the first entries are the changed ones
    EXPECT_EQ(history->size(), 2u);
  }

  const auto unchanged = session("unchanged", edits, editedAt + 120);
  EXPECT_EQ(unchanged.exitCode, 0) << unchanged.err;
  EXPECT_EQ(entriesSent("unchanged"), 0);
  EXPECT_TRUE(has(unchanged.out, "Internal/Notes: 13 entries, unchanged")) << unchanged.out;

  auto more = edits;
  more.insert(more.end(), {"--edit", "Names:changed=1,added=1@" + std::to_string(editedAt + 150)});
  auto dropped = more;
  dropped.insert(dropped.end(), {"--drop-in-soup", "Names:0"});
  EXPECT_EQ(session("dropped", dropped, editedAt + 180).exitCode, 1);
  const auto good = session("good", more, editedAt + 240);
  EXPECT_EQ(good.exitCode, 0) << good.out << good.err;
  EXPECT_EQ(entriesSent("good"), 2);
  const auto listed = test::runCommand({test::binPath("skiff"), "backup", "--list", archivePath()}, 20000);
  EXPECT_TRUE(has(listed.out, "incremental, did not finish")) << listed.out;
  EXPECT_TRUE(has(listed.out, "incremental, completed")) << listed.out;
}

// Ctrl-C in the middle: the Newton is asked to stop, the soups done stay, exit 130.
TEST_F(Backup, CtrlCKeepsWhatIsDone) {
  startNewton({"--entry-ms", "100"});
  test::PtyProcess skiff({test::binPath("skiff"), "backup", "--port", sim->device(), archivePath()}, dir.string());
  ASSERT_TRUE(skiff.start());
  ASSERT_TRUE(skiff.waitFor("Internal/Notes: 12 entries", 60000)) << skiff.output();
  skiff.type("\x03");
  EXPECT_EQ(skiff.wait(30000), 130) << skiff.output();
  EXPECT_TRUE(has(skiff.output(), "Stopped; the soups backed up before it are kept")) << skiff.output();
  const auto got = held();
  EXPECT_FALSE(got.empty());
  const auto all = onTheNewton();
  for (const auto& [key, bytes] : got) EXPECT_EQ(bytes, all.at(key)) << key;
}

// Refused before any port opens: an archive in a folder it cannot be made in, a password file others can read.
TEST_F(Backup, RefusedBeforeThePortOpens) {
  std::filesystem::create_directories(dir / "locked");
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                                  std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  std::filesystem::permissions(dir, std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  const std::string open = (dir / "password").string();
  std::ofstream(open) << "secret\n";
  ::chmod(open.c_str(), 0644);
  struct Refusal {
    std::vector<std::string> options;
    bool asSomeoneElse;  // root writes into any folder: that one runs as nobody
    const char* says;
  };
  const std::vector<Refusal> refusals = {
      {{"--password-file", open, archivePath()}, false, "permissions 0644 are too open"},
      {{(dir / "locked" / "a.newton-backup").string()}, ::geteuid() == 0, "cannot create"}};
  for (const auto& refusal : refusals) {
    std::string command = (refusal.asSomeoneElse ? "exec setpriv --reuid=65534 --regid=65534 --clear-groups " : "exec ") +
                          quoted(test::binPath("skiff")) + " backup --port /dev/skiff-no-such-port";
    for (const auto& option : refusal.options) command += " " + quoted(option);
    const auto result = test::runCommand({"/bin/sh", "-c", "cd " + quoted(dir.string()) + " && " + command}, 20000);
    EXPECT_EQ(result.exitCode, refusal.options.front() == "--password-file" ? 2 : 1) << result.err;
    EXPECT_TRUE(has(result.err, refusal.says)) << result.err;
    EXPECT_FALSE(has(result.err, "Looking for Newton")) << result.err;
  }
}

}  // namespace
}  // namespace skiff::e2e
