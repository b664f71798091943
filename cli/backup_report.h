// What `skiff backup` says: a line per soup as it ends, the summary it ends with, and the listing of an archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "backup/backup_run.h"

namespace skiff::cli {

// "2,431": thousands grouped, as the summary writes its counts.
std::string groupedCount(std::int64_t count);
// "9 min 12 s", "41.3 s", "2 h 3 min".
std::string durationText(double seconds);

// "Internal/Notes: 120 entries (48 KB)"; "Internal/Notes: 121 entries (3 added, 5 changed, 2 deleted; 4 KB)";
// "Internal/Names: 23 entries, unchanged"; "Internal/System: failed, -48005 (object corrupted)".
std::string soupLine(const backup::SoupResult& soup);

// "Backed up 2 stores, 14 soups, 2,431 entries (1.9 MB received) in 9 min 12 s; 1 soup failed: System (-48005)";
// after a backup of changes, "... 2,431 entries (3 added, 5 changed, 2 deleted; 4 KB received) in 21.3 s".
std::string backupSummary(const backup::BackupOutcome& outcome, double seconds);

// The runs of the archive and, for each, its stores and soups with their entries.
std::string archiveListing(archive::Archive& archive);

}  // namespace skiff::cli
