// One soup of one run on its way into the archive: everything of it goes in one transaction, so a soup is
// in the archive whole or not at all. Entries go to the file as they come (SQLite spills to disk beyond its
// page cache), so a soup of many megabytes never sits in memory; the caller holds one entry at a time.
//
// Each entry sent is compared with the copy of the soup the writer builds on (its base: the soup's latest
// committed copy): the same bytes are kept (no second copy is stored), other bytes become a new version, an
// ID the base lacks is added. At commit every ID of the base that the run neither received nor had listed as
// still present is recorded as deleted in this run; nothing is ever erased.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/records.h"
#include "archive/sqlite_db.h"
#include "archive/status.h"

namespace skiff::archive {

class SoupWriter {
 public:
  SoupWriter(SoupWriter&& other) noexcept;
  SoupWriter& operator=(SoupWriter&&) = delete;
  SoupWriter(const SoupWriter&) = delete;
  // Without commit(), nothing of the soup stays.
  ~SoupWriter();

  // One entry as the Newton sent it ("entr"), with the slots the caller decoded from it. A failure sticks:
  // later calls do nothing and commit() reports it; after a full disk the soup is already rolled back.
  Status addEntry(std::uint32_t uniqueId, std::optional<std::uint32_t> modTime, std::span<const std::uint8_t> nsof);
  // Incremental soups: IDs the Newton listed ("bids") and did not send again; they keep the version the base
  // has. An ID the base does not hold fails the commit, since its bytes are nowhere.
  Status stillPresent(std::span<const std::uint32_t> uniqueIds);
  // Incremental soups: the Newton said nothing changed ("ndir"); the soup is its base again, whole.
  Status unchanged();
  // Records the deletions and makes the soup part of the archive. Ends the writer either way.
  Result<Counts> commit();

  SoupMethod method() const { return method_; }
  std::optional<RunId> baseRun() const { return base_; }

 private:
  friend class Archive;
  struct Place {
    RunId run;
    std::int64_t soup = 0;
    std::optional<RunId> base;
    SoupMethod method = SoupMethod::Full;
    std::string label;  // "soup Names of Internal", for the reasons
  };
  SoupWriter(Connection& connection, const Place& place);
  // Fails the soup: rolls it back and keeps the failure for commit().
  Status fail(Failure failure);
  Status failOn(int rc, const char* doing);
  Status ready(bool takesEntries);

  Connection* connection_;
  RunId run_;
  std::int64_t soup_;
  std::optional<RunId> base_;
  SoupMethod method_;
  std::string label_;
  std::optional<Failure> failure_;
  bool open_ = true;
  bool tookEntries_ = false;
  std::vector<std::uint32_t> unknownIds_;  // listed as present, never held; only the first few are kept
  std::int64_t unknownCount_ = 0;

  Statement findInBase_;
  Statement sameBytes_;
  Statement addVersion_;
  Statement addBytes_;
  Statement addRunEntry_;
  Statement carry_;
  Statement inRun_;
};

}  // namespace skiff::archive
