#include "archive/schema.h"

#include <algorithm>
#include <string>

namespace skiff::archive {

namespace {

// docs/archive.md explains every table and column; keep the two together.
constexpr const char* kTables = R"sql(
CREATE TABLE newton (
  id          INTEGER PRIMARY KEY,
  unique_id   INTEGER NOT NULL UNIQUE,
  owner_name  TEXT NOT NULL,
  name_frame  BLOB NOT NULL
) STRICT;

CREATE TABLE run (
  id           INTEGER PRIMARY KEY,
  newton       INTEGER NOT NULL REFERENCES newton (id),
  kind         TEXT NOT NULL CHECK (kind IN ('full', 'incremental')),
  started_at   INTEGER NOT NULL,
  ended_at     INTEGER,
  completed    INTEGER NOT NULL DEFAULT 0 CHECK (completed IN (0, 1)),
  newton_time  INTEGER NOT NULL
) STRICT;

CREATE TABLE store (
  id         INTEGER PRIMARY KEY,
  name       TEXT NOT NULL,
  signature  INTEGER NOT NULL,
  kind       TEXT NOT NULL,
  UNIQUE (name, signature)
) STRICT;

CREATE TABLE run_store (
  run    INTEGER NOT NULL REFERENCES run (id),
  store  INTEGER NOT NULL REFERENCES store (id),
  frame  BLOB NOT NULL,
  PRIMARY KEY (run, store)
) STRICT, WITHOUT ROWID;

CREATE TABLE soup (
  id     INTEGER PRIMARY KEY,
  store  INTEGER NOT NULL REFERENCES store (id),
  name   TEXT NOT NULL,
  UNIQUE (store, name)
) STRICT;

CREATE TABLE run_soup (
  run       INTEGER NOT NULL REFERENCES run (id),
  soup      INTEGER NOT NULL REFERENCES soup (id),
  method    TEXT NOT NULL CHECK (method IN ('full', 'incremental', 'unchanged')),
  base_run  INTEGER REFERENCES run (id),
  info      BLOB,
  indexes   BLOB,
  PRIMARY KEY (run, soup)
) STRICT, WITHOUT ROWID;
CREATE INDEX run_soup_by_soup ON run_soup (soup, run);

CREATE TABLE entry_version (
  id         INTEGER PRIMARY KEY,
  soup       INTEGER NOT NULL REFERENCES soup (id),
  unique_id  INTEGER NOT NULL,
  mod_time   INTEGER,
  size       INTEGER NOT NULL,
  digest     INTEGER NOT NULL,
  first_run  INTEGER NOT NULL REFERENCES run (id)
) STRICT;

CREATE TABLE entry_bytes (
  version  INTEGER PRIMARY KEY REFERENCES entry_version (id),
  nsof     BLOB NOT NULL
) STRICT;

CREATE TABLE run_entry (
  run        INTEGER NOT NULL,
  soup       INTEGER NOT NULL,
  unique_id  INTEGER NOT NULL,
  version    INTEGER NOT NULL REFERENCES entry_version (id),
  change     INTEGER NOT NULL CHECK (change BETWEEN 0 AND 3),
  PRIMARY KEY (run, soup, unique_id),
  FOREIGN KEY (run, soup) REFERENCES run_soup (run, soup)
) STRICT, WITHOUT ROWID;
CREATE INDEX run_entry_events ON run_entry (soup, unique_id, run) WHERE change <> 0;
)sql";

// One integer from a pragma or a query of one row.
Result<std::int64_t> single(Connection& connection, const char* sql) {
  Statement query(connection, sql);
  const int rc = query.step();
  if (rc != SQLITE_ROW) return connection.failure(rc, "reading the archive's header");
  return query.integer(0);
}

}  // namespace

Status prepareSchema(Connection& connection, bool mayCreate) {
  const auto applicationId = single(connection, "PRAGMA application_id");
  if (!applicationId) return applicationId.status();
  const auto version = single(connection, "PRAGMA user_version");
  if (!version) return version.status();
  const auto tables = single(connection, "SELECT count(*) FROM sqlite_schema");
  if (!tables) return tables.status();

  if (*applicationId == 0 && *version == 0 && *tables == 0) {
    if (!mayCreate) return Failure{Problem::Missing, connection.path() + " holds no backup yet"};
    const std::string create = std::string(kTables) + "PRAGMA application_id = " + std::to_string(kApplicationId) +
                               "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    return connection.run(create, "making the archive's tables");
  }
  if (*applicationId != kApplicationId) {
    return Failure{Problem::BadFile, connection.path() + " is not a Skiff archive (another program's database)"};
  }
  if (*version > kSchemaVersion) {
    return Failure{Problem::BadFile, connection.path() + " was written by a newer skiff (archive version " +
                                         std::to_string(*version) + "; this one reads version " +
                                         std::to_string(kSchemaVersion) + ")"};
  }
  if (*version < kSchemaVersion) {
    return Failure{Problem::BadFile, connection.path() + " has archive version " + std::to_string(*version) +
                                         ", which this skiff does not read"};
  }
  return {};
}

Status checkIntegrity(Connection& connection) {
  Statement check(connection, "PRAGMA integrity_check(1)");
  const int rc = check.step();
  if (rc != SQLITE_ROW) return connection.failure(rc, "checking the archive");
  const std::string verdict = check.text(0);
  if (verdict == "ok") return {};
  // SQLite's report has a line naming the database, then the problem: one line of problem is kept.
  std::string problem;
  std::size_t start = 0;
  while (start <= verdict.size()) {
    const std::size_t end = std::min(verdict.find('\n', start), verdict.size());
    const std::string line = verdict.substr(start, end - start);
    if (!line.empty() && line.rfind("***", 0) != 0) problem += (problem.empty() ? "" : "; ") + line;
    start = end + 1;
  }
  return Failure{Problem::BadFile, connection.path() + " is damaged: " + problem};
}

}  // namespace skiff::archive
