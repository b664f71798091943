// backup/: getting the owner's data off the Newton into the archive.
//
// A backup over a Newton OS 2.x dock session: every store ("gsto", "ssto"), every soup of each ("gets", "ssou",
// "gsin", "gind") and every entry of each soup ("snds": "entr" … "bsdn"), packages included, into the archive, a
// soup to a transaction. A soup the archive already holds is backed up incrementally: only what changed since
// its last copy ("stme" with the Newton's clock then, "cinf", "cidx", "bksp": "entr", "base", "bids" … "bsdn",
// or "ndir" when nothing did), so the archive learns what the Newton deleted too. A soup the Newton fails on is
// noted and the backup goes on; the Newton's cancel, the user's stop, a lost line or a full disk end it with
// every soup committed so far kept.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "core/shell_ops.h"
#include "dock/newton_name.h"

namespace skiff::backup {

struct SoupResult {
  std::string store;
  std::string soup;
  std::int64_t entries = 0;   // in the soup as the archive now holds it
  std::int64_t bytes = 0;     // received in this run
  std::int32_t error = 0;     // the Newton's result when it failed the soup
  bool incremental = false;   // only the changes were asked for
  bool unchanged = false;     // ... and the Newton said there were none
  std::int64_t added = 0, changed = 0, deleted = 0;  // against the soup's last copy
};

enum class BackupEnd {
  Completed,         // every soup of every store was asked for (some may have failed)
  NewtonCancelled,   // the Newton's "opca"
  Stopped,           // the user's stop
  LinkLost,          // the line or a link call failed: `code`
  PasswordRejected,  // the Newton's password is not the one given
  OldNewton,         // a Newton OS 1.x Newton: no backup over this session
  ArchiveFailed,     // the archive could not take what came: `problem`
  NoArchive,         // the archive could not be opened once the Newton was known: `problem`
};

struct BackupOutcome {
  BackupEnd end = BackupEnd::LinkLost;
  std::int32_t code = 0;
  std::string problem;
  int stores = 0;
  std::vector<SoupResult> soups;
  std::optional<dock::NewtonName> newton;
  std::string archivePath;
};

struct BackupJob {
  // The archive, once the Newton is known (its owner's name and unique ID may name the file); empty or a failure
  // ends the backup before anything is asked.
  std::function<archive::Result<archive::Archive*>(const dock::NewtonName&)> archiveFor;
  std::string password;                                 // UTF-8; empty: the Newton has none
  bool full = false;                                    // every entry again, even of soups the archive holds
  std::function<void(const SoupResult&)> onSoup;        // each soup as it ends; may be empty
};

// Requires a connected pipe. SESSION_RECONNECT when the Newton did not open as a new session must; else 0, with
// the outcome filled in (a failure of the link is in outcome.code as well).
std::int32_t runBackup(Runtime& rt, BackupJob& job, BackupOutcome& outcome);

}  // namespace skiff::backup
