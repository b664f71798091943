// Reading the archive back: runs, the stores and soups of a run, a soup as of a run, an entry's history.
#include "archive/archive.h"

#include "archive/queries.h"

namespace skiff::archive {

namespace {

std::string runText(RunId run) { return "run " + std::to_string(run.value); }

}  // namespace

Result<std::vector<RunSummary>> Archive::runs() {
  Connection& db = *connection_;
  Statement query(db, R"sql(
    SELECT r.id, r.kind, r.started_at, r.ended_at, r.completed, r.newton_time,
           (SELECT count(*) FROM run_soup WHERE run = r.id),
           count(re.unique_id) FILTER (WHERE re.change <> 3),
           coalesce(sum(v.size) FILTER (WHERE re.change <> 3), 0),
           count(re.unique_id) FILTER (WHERE re.change = 1),
           count(re.unique_id) FILTER (WHERE re.change = 2),
           count(re.unique_id) FILTER (WHERE re.change = 3)
    FROM run r LEFT JOIN run_entry re ON re.run = r.id LEFT JOIN entry_version v ON v.id = re.version
    GROUP BY r.id ORDER BY r.id)sql");
  std::vector<RunSummary> runs;
  int rc;
  while ((rc = query.step()) == SQLITE_ROW) {
    RunSummary run;
    run.id = RunId{query.integer(0)};
    run.kind = query.text(1) == "incremental" ? RunKind::Incremental : RunKind::Full;
    run.startedAt = query.integer(2);
    if (!query.isNull(3)) run.endedAt = query.integer(3);
    run.completed = query.integer(4) != 0;
    run.newtonTime = static_cast<std::uint32_t>(query.integer(5));
    run.soups = query.integer(6);
    run.totals = Counts{query.integer(7), query.integer(8), query.integer(9), query.integer(10), query.integer(11)};
    runs.push_back(run);
  }
  if (rc != SQLITE_DONE) return db.failure(rc, "listing the runs");
  return runs;
}

Result<std::vector<StoreRecord>> Archive::stores(RunId run) {
  Connection& db = *connection_;
  Statement query(db, R"sql(
    SELECT s.id, s.name, s.signature, s.kind, rs.frame FROM run_store rs JOIN store s ON s.id = rs.store
    WHERE rs.run = ?1 ORDER BY s.id)sql");
  query.bind(1, run.value);
  std::vector<StoreRecord> stores;
  int rc;
  while ((rc = query.step()) == SQLITE_ROW) {
    const auto frame = query.blob(4);
    stores.push_back({StoreId{query.integer(0)}, query.text(1), static_cast<std::uint32_t>(query.integer(2)),
                      query.text(3), Bytes(frame.begin(), frame.end())});
  }
  if (rc != SQLITE_DONE) return db.failure(rc, "listing a run's stores");
  return stores;
}

Result<std::vector<SoupSummary>> Archive::soups(RunId run) {
  Connection& db = *connection_;
  Statement query(db, R"sql(
    SELECT rs.soup, so.store, st.name, so.name, rs.method, rs.base_run
    FROM run_soup rs JOIN soup so ON so.id = rs.soup JOIN store st ON st.id = so.store
    WHERE rs.run = ?1 ORDER BY st.id, so.name)sql");
  query.bind(1, run.value);
  std::vector<SoupSummary> soups;
  int rc;
  while ((rc = query.step()) == SQLITE_ROW) {
    SoupSummary soup;
    soup.store = StoreId{query.integer(1)};
    soup.storeName = query.text(2);
    soup.name = query.text(3);
    soup.method = methodNamed(query.text(4));
    if (!query.isNull(5)) soup.baseRun = RunId{query.integer(5)};
    auto counts = soupCounts(db, run, query.integer(0));
    if (!counts) return counts.status();
    soup.counts = *counts;
    soups.push_back(soup);
  }
  if (rc != SQLITE_DONE) return db.failure(rc, "listing a run's soups");
  return soups;
}

Result<std::int64_t> Archive::soupOfRun(RunId run, StoreId store, std::string_view soup) {
  Connection& db = *connection_;
  const std::string label = soupLabel(store, soup);
  Statement known(db, "SELECT 1 FROM run WHERE id = ?1");
  known.bind(1, run.value);
  if (known.step() != SQLITE_ROW) return Failure{Problem::Missing, "no " + runText(run) + " in " + db.path()};
  auto found = findSoup(db, store, soup);
  if (!found) return found.status();
  if (!*found) return Failure{Problem::Missing, "no run backed up " + label + " in " + db.path()};
  auto latest = latestCopy(db, **found, run);
  if (!latest) return latest.status();
  if (*latest && **latest == run) return **found;
  const std::string before = *latest ? "; " + runText(**latest) + " holds its last copy before it" : "";
  return Failure{Problem::Missing, runText(run) + " did not reach " + label + before};
}

Result<EntryCursor> Archive::entries(RunId run, StoreId store, std::string_view soup) {
  auto soupRow = soupOfRun(run, store, soup);
  if (!soupRow) return soupRow.status();
  EntryCursor cursor(*connection_, run, *soupRow);
  if (!cursor.rows_.prepared()) return connection_->failure(cursor.rows_.prepareResult(), "reading entries");
  return cursor;
}

Result<std::pair<Bytes, Bytes>> Archive::soupInfo(RunId run, StoreId store, std::string_view soup) {
  auto soupRow = soupOfRun(run, store, soup);
  if (!soupRow) return soupRow.status();
  Statement query(*connection_, "SELECT info, indexes FROM run_soup WHERE run = ?1 AND soup = ?2");
  query.bind(1, run.value).bind(2, *soupRow);
  const int rc = query.step();
  if (rc != SQLITE_ROW) return connection_->failure(rc, "reading a soup's info");
  const auto info = query.blob(0);
  const auto indexes = query.blob(1);
  return std::pair(Bytes(info.begin(), info.end()), Bytes(indexes.begin(), indexes.end()));
}

Result<std::optional<EntryRecord>> Archive::entryAt(RunId run, StoreId store, std::string_view soup,
                                                    std::uint32_t uniqueId) {
  auto soupRow = soupOfRun(run, store, soup);
  if (!soupRow) return soupRow.status();
  Statement query(*connection_, R"sql(
    SELECT v.mod_time, v.size, re.version, v.first_run, re.change
    FROM run_entry re JOIN entry_version v ON v.id = re.version
    WHERE re.run = ?1 AND re.soup = ?2 AND re.unique_id = ?3 AND re.change <> 3)sql");
  query.bind(1, run.value).bind(2, *soupRow).bind(3, uniqueId);
  const int rc = query.step();
  if (rc == SQLITE_DONE) return std::optional<EntryRecord>();
  if (rc != SQLITE_ROW) return connection_->failure(rc, "reading an entry");
  EntryRecord entry;
  entry.uniqueId = uniqueId;
  if (!query.isNull(0)) entry.modTime = static_cast<std::uint32_t>(query.integer(0));
  entry.size = query.integer(1);
  entry.version = VersionId{query.integer(2)};
  entry.firstRun = RunId{query.integer(3)};
  entry.change = static_cast<Change>(query.integer(4));
  return std::optional<EntryRecord>(entry);
}

Result<std::vector<EntryEvent>> Archive::history(StoreId store, std::string_view soup, std::uint32_t uniqueId) {
  Connection& db = *connection_;
  auto found = findSoup(db, store, soup);
  if (!found) return found.status();
  std::vector<EntryEvent> events;
  if (!*found) return events;
  Statement query(db, R"sql(
    SELECT re.run, re.change, re.version, v.mod_time, v.size
    FROM run_entry re JOIN entry_version v ON v.id = re.version
    WHERE re.soup = ?1 AND re.unique_id = ?2 AND re.change <> 0 ORDER BY re.run)sql");
  query.bind(1, **found).bind(2, uniqueId);
  int rc;
  while ((rc = query.step()) == SQLITE_ROW) {
    EntryEvent event;
    event.run = RunId{query.integer(0)};
    event.change = static_cast<Change>(query.integer(1));
    event.version = VersionId{query.integer(2)};
    if (!query.isNull(3)) event.modTime = static_cast<std::uint32_t>(query.integer(3));
    event.size = query.integer(4);
    events.push_back(event);
  }
  if (rc != SQLITE_DONE) return db.failure(rc, "reading an entry's history");
  return events;
}

Result<Bytes> Archive::bytesOf(VersionId version) { return readVersion(*connection_, version); }

}  // namespace skiff::archive
