#include "archive/entry_cursor.h"

namespace skiff::archive {

EntryCursor::EntryCursor(Connection& connection, RunId run, std::int64_t soup)
    : connection_(&connection),
      rows_(connection, R"sql(
        SELECT re.unique_id, v.mod_time, v.size, re.version, v.first_run, re.change
        FROM run_entry re JOIN entry_version v ON v.id = re.version
        WHERE re.run = ?1 AND re.soup = ?2 AND re.change <> 3
        ORDER BY re.unique_id)sql") {
  rows_.bind(1, run.value).bind(2, soup);
}

bool EntryCursor::next() {
  if (!status_) return false;
  const int rc = rows_.step();
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) {
    status_ = connection_->failure(rc, "reading entries");
    return false;
  }
  entry_.uniqueId = static_cast<std::uint32_t>(rows_.integer(0));
  entry_.modTime = rows_.isNull(1) ? std::nullopt : std::optional(static_cast<std::uint32_t>(rows_.integer(1)));
  entry_.size = rows_.integer(2);
  entry_.version = VersionId{rows_.integer(3)};
  entry_.firstRun = RunId{rows_.integer(4)};
  entry_.change = static_cast<Change>(rows_.integer(5));
  return true;
}

Result<Bytes> EntryCursor::bytes() { return readVersion(*connection_, entry_.version); }

Result<Bytes> readVersion(Connection& connection, VersionId version) {
  Statement query(connection, "SELECT nsof FROM entry_bytes WHERE version = ?1");
  query.bind(1, version.value);
  const int rc = query.step();
  if (rc == SQLITE_DONE) {
    return Failure{Problem::Missing, "no entry version " + std::to_string(version.value) + " in " + connection.path()};
  }
  if (rc != SQLITE_ROW) return connection.failure(rc, "reading an entry");
  const auto blob = query.blob(0);
  return Bytes(blob.begin(), blob.end());
}

}  // namespace skiff::archive
