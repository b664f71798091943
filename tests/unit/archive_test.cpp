#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fnmatch.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "archive/archive.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace skiff::archive {
namespace {

Archive openOrDie(const std::string& path, const OpenOptions& options = {}) {
  auto archive = Archive::open(path, options);
  if (!archive) ADD_FAILURE() << archive.reason();
  return std::move(*archive);
}

std::int64_t count(Archive& archive, const std::string& sql) {
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(archive.connectionForTests(), sql.c_str(), -1, &query, nullptr);
  const std::int64_t value = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
  sqlite3_finalize(query);
  return value;
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
    everyFileIsPrivate();  // the journal too
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
    tell(toParent, "holding");
    pause();
  });
  ASSERT_EQ(backup.read(), "holding");
  const std::string inUse = "the archive " + path + " is in use by another skiff";
  EXPECT_EQ(Archive::open(path).reason(), inUse);
  EXPECT_EQ(Archive::openForReading(path).reason(), inUse);
  backup.kill();
  auto archive = Archive::openForReading(path);
  EXPECT_TRUE(archive) << archive.reason();
}

}  // namespace
}  // namespace skiff::archive
