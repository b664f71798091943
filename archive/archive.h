// The backup archive: one SQLite file holding one Newton's backups, run after run. Opening it checks what can
// be checked before any port opens (the folder, the room, the file's privacy and soundness, that no other
// skiff has it); then a backup writes a run soup by soup, each soup one transaction, and a listing or an
// export reads the state of any soup as of any run. docs/archive.md has the schema and the reasons.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/entry_cursor.h"
#include "archive/records.h"
#include "archive/soup_writer.h"
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

  // --- writing a run ---------------------------------------------------------------------------------------
  // `newtonTime`: the Newton's "time" reply, kept so the next run asks for changes since the Newton's own
  // clock, whatever the desktop's says. An archive holds one Newton: another one is refused.
  Result<RunId> beginRun(const NewtonIdentity& newton, std::uint32_t newtonTime, RunKind kind);
  // The store as listed in this run; the same name and signature are the same store in every run.
  Result<StoreId> putStore(RunId run, const StoreInfo& store);
  // Starts a soup's transaction. `info` and `indexes` are the soup's NSOF ("sinf", "indx"); unset keeps the
  // base's, for a soup whose info the Newton said had not changed. Incremental needs an earlier copy.
  Result<SoupWriter> beginSoup(RunId run, StoreId store, std::string_view soup,
                               std::optional<std::span<const std::uint8_t>> info,
                               std::optional<std::span<const std::uint8_t>> indexes, SoupMethod method);
  // Ends the run; `completed` when every soup was done. A run never finished keeps the soups it committed.
  Status finishRun(RunId run, bool completed);

  // --- resuming --------------------------------------------------------------------------------------------
  // The latest committed copy of the soup, from any run, finished or not; unset when there is none.
  Result<std::optional<SoupCopy>> lastCompleteSoup(StoreId store, std::string_view soup);
  Result<bool> soupDoneInRun(RunId run, StoreId store, std::string_view soup);

  // --- reading ---------------------------------------------------------------------------------------------
  Result<std::vector<RunSummary>> runs();
  Result<std::vector<StoreRecord>> stores(RunId run);
  // The soups the run committed, with counts against each soup's base.
  Result<std::vector<SoupSummary>> soups(RunId run);
  // The soup as of the run. A run that did not reach the soup says so, naming the last run before it that did.
  Result<EntryCursor> entries(RunId run, StoreId store, std::string_view soup);
  // The soup's info and index NSOF as of the run (empty when the Newton never sent them).
  Result<std::pair<Bytes, Bytes>> soupInfo(RunId run, StoreId store, std::string_view soup);
  // One entry as of the run; unset when the soup held no such ID then.
  Result<std::optional<EntryRecord>> entryAt(RunId run, StoreId store, std::string_view soup, std::uint32_t uniqueId);
  // The runs that added, changed or deleted the entry, oldest first.
  Result<std::vector<EntryEvent>> history(StoreId store, std::string_view soup, std::uint32_t uniqueId);
  Result<Bytes> bytesOf(VersionId version);

  // For tests that make the disk fill up (PRAGMA max_page_count) or look inside.
  sqlite3* connectionForTests() { return connection_->handle(); }

 private:
  explicit Archive(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}
  static Result<Archive> connect(const std::string& path, bool forWriting);
  Result<std::int64_t> soupOfRun(RunId run, StoreId store, std::string_view soup);
  std::string soupLabel(StoreId store, std::string_view soup);

  std::unique_ptr<Connection> connection_;
  std::vector<std::string> notices_;
};

}  // namespace skiff::archive
