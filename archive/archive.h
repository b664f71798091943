// The backup archive: one SQLite file holding one Newton's backups, run after run. Opening it checks what can
// be checked before any port opens (the folder, the room, the file's privacy and soundness, that no other
// skiff has it). docs/archive.md has the schema and the reasons.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/sqlite_db.h"
#include "archive/status.h"

namespace skiff::archive {

// Room for a MessagePad's whole internal store (4 MB) and its journal, before any run starts.
inline constexpr std::uint64_t kDefaultRoomBytes = 8ull << 20;

struct OpenOptions {
  std::uint64_t minimumFreeBytes = kDefaultRoomBytes;
};

class Archive {
 public:
  // For a backup: creates the file (mode 0600) if it is missing, checks the folder, the room, the file and
  // its schema, and holds it against every other skiff until the archive is destroyed.
  static Result<Archive> open(const std::string& path, const OpenOptions& options = {});
  // For a listing or an export: the file must exist; nothing is written. Refused while a backup holds it.
  static Result<Archive> openForReading(const std::string& path);

  Archive(Archive&&) noexcept = default;
  Archive& operator=(Archive&&) noexcept = default;
  ~Archive() = default;

  const std::string& path() const { return connection_->path(); }
  // What opening changed that the user should hear of: "made PATH readable by its owner only (it was 0644)".
  const std::vector<std::string>& notices() const { return notices_; }
  // At least `bytes` free beside the archive (say, once the stores' sizes are known).
  Status checkRoom(std::uint64_t bytes) const;

  // For tests that make the disk fill up (PRAGMA max_page_count) or look inside.
  sqlite3* connectionForTests() { return connection_->handle(); }

 private:
  explicit Archive(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}
  static Result<Archive> connect(const std::string& path, bool forWriting);

  std::unique_ptr<Connection> connection_;
  std::vector<std::string> notices_;
};

}  // namespace skiff::archive
