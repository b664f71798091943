// The entries of one soup as of one run, in uniqueID order, one at a time: a row holds the entry's fields, and
// its bytes are read only when asked for, so a soup of large packages is never in memory at once.
#pragma once

#include "archive/records.h"
#include "archive/sqlite_db.h"
#include "archive/status.h"

namespace skiff::archive {

class EntryCursor {
 public:
  // Moves to the next entry; false at the end or on a failure (status() tells which).
  bool next();
  const EntryRecord& entry() const { return entry_; }
  // The current entry's NSOF, exactly as the Newton sent it.
  Result<Bytes> bytes();
  const Status& status() const { return status_; }

 private:
  friend class Archive;
  EntryCursor(Connection& connection, RunId run, std::int64_t soup);

  Connection* connection_;
  Statement rows_;
  EntryRecord entry_;
  Status status_;
};

// The bytes of one version of an entry.
Result<Bytes> readVersion(Connection& connection, VersionId version);

}  // namespace skiff::archive
