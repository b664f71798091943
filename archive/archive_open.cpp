// Opening the archive: the checks on the file system, then the connection, its lock, the integrity check and
// the schema.
#include "archive/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive/file_checks.h"
#include "archive/schema.h"

namespace skiff::archive {

namespace {

// How long to wait for a listing's read to end before saying the archive is in use. A backup holds its lock
// for the whole run, so waiting longer would only delay the refusal.
constexpr int kBusyWaitMs = 1000;

// The files SQLite may keep beside the archive; they hold the same data, so they get the same mode.
constexpr const char* kSiblings[] = {"-journal", "-wal", "-shm"};

Failure cannotOpen(const std::string& path, int err) {
  return {Problem::System, "cannot open " + path + ": " + systemWords(err), err};
}

}  // namespace

Result<Archive> Archive::open(const std::string& path, const OpenOptions& options) {
  struct stat info {};
  const bool exists = stat(path.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) return cannotOpen(path, errno);
  if (exists && !S_ISREG(info.st_mode)) return Failure{Problem::System, "cannot open " + path + ": not a regular file"};
  // SQLite would open a file it may not write read-only without a word, and fail only at the first soup.
  if (exists && faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
    return Failure{Problem::System, "cannot write " + path + ": " + systemWords(errno), errno};
  }
  if (auto folder = checkFolder(path, exists); !folder) return folder.failure();
  if (auto room = archive::checkRoom(folderOf(path), options.minimumFreeBytes); !room) return room.failure();
  if (!exists) {
    // Another skiff may have made it since the stat; then it is opened as it stands, checked like any other.
    if (auto created = createPrivateFile(path); !created && created.failure().systemError != EEXIST) {
      return created.failure();
    }
  }
  return connect(path, true);
}

Result<Archive> Archive::openForReading(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return cannotOpen(path, errno);
  if (!S_ISREG(info.st_mode)) return Failure{Problem::System, "cannot open " + path + ": not a regular file"};
  return connect(path, false);
}

Result<Archive> Archive::connect(const std::string& path, bool forWriting) {
  std::vector<std::string> notices;
  for (const std::string& file : {path, path + kSiblings[0], path + kSiblings[1], path + kSiblings[2]}) {
    auto made = makePrivate(file);
    if (!made) return made.failure();
    if (*made) notices.push_back(**made);
  }

  // A listing opens read-write when it may, so that SQLite can roll back what a killed backup left in the
  // journal; query_only keeps it from writing anything of its own.
  const bool writable = forWriting || access(path.c_str(), W_OK) == 0;
  sqlite3* db = nullptr;
  const int flags = writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
  const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  auto connection = std::make_unique<Connection>(db, path);
  if (opened != SQLITE_OK) return connection->failure(opened, "opening the archive");
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyWaitMs);

  // A backup keeps the lock from here to the end (locking_mode EXCLUSIVE), so a second skiff is refused at
  // once. A rollback journal rather than WAL: a soup's transaction then needs its bytes once on disk, not
  // twice, the archive is one file at rest, and it works on network folders, which WAL does not.
  const char* settings = forWriting ? "PRAGMA locking_mode = EXCLUSIVE; PRAGMA journal_mode = DELETE;"
                                      "PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON; BEGIN EXCLUSIVE"
                                    : "PRAGMA query_only = ON; BEGIN";
  if (auto set = connection->run(settings, "opening the archive"); !set) return set.failure();
  if (auto sound = checkIntegrity(*connection); !sound) return sound.failure();
  if (auto schema = prepareSchema(*connection, forWriting); !schema) return schema.failure();
  if (auto done = connection->run("COMMIT", "opening the archive"); !done) return done.failure();

  Archive archive(std::move(connection));
  archive.notices_ = std::move(notices);
  return archive;
}

Status Archive::checkRoom(std::uint64_t bytes) const { return archive::checkRoom(folderOf(path()), bytes); }

}  // namespace skiff::archive
