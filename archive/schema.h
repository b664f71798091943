// The archive's tables (docs/archive.md describes each), made in a new file and checked in an existing one.
#pragma once

#include <cstdint>

#include "archive/sqlite_db.h"
#include "archive/status.h"

namespace skiff::archive {

// In the file's header (PRAGMA application_id): "SKIF". Tells an archive from any other SQLite file.
inline constexpr std::int32_t kApplicationId = 0x534B4946;
// PRAGMA user_version: raised whenever the tables change; a newer file is refused, never guessed at.
inline constexpr std::int32_t kSchemaVersion = 1;

// Inside the caller's transaction: makes the tables in an empty file (when `mayCreate`), or checks that the
// file is an archive of a version this program reads.
Status prepareSchema(Connection& connection, bool mayCreate);
// PRAGMA integrity_check: the first problem SQLite reports, as a failure.
Status checkIntegrity(Connection& connection);

}  // namespace skiff::archive
