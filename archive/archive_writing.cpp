// Writing runs: the run, its stores, a writer per soup, the end of the run; and what a resumed run asks of
// the runs before it.
#include "archive/archive.h"

#include <cstdio>
#include <ctime>

#include "archive/queries.h"

namespace skiff::archive {

namespace {

std::string hex32(std::uint32_t value) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// Runs `body` in one transaction: committed when it succeeds, rolled back when it fails.
template <typename Body>
Status inTransaction(Connection& connection, const char* doing, Body&& body) {
  if (auto begun = connection.run("BEGIN IMMEDIATE", doing); !begun) return begun;
  Status status = body();
  if (status) status = connection.run("COMMIT", doing);
  if (!status) connection.rollback();
  return status;
}

Status stepDone(Connection& connection, Statement& statement, const char* doing) {
  const int rc = statement.step();
  return rc == SQLITE_DONE ? Status() : Status(connection.failure(rc, doing));
}

// The run exists and is still being written.
Status openRun(Connection& connection, RunId run) {
  Statement query(connection, "SELECT ended_at FROM run WHERE id = ?1");
  query.bind(1, run.value);
  const int rc = query.step();
  if (rc == SQLITE_DONE) {
    return Failure{Problem::Missing, "no run " + std::to_string(run.value) + " in " + connection.path()};
  }
  if (rc != SQLITE_ROW) return connection.failure(rc, "reading a run");
  if (!query.isNull(0)) return Failure{Problem::Misuse, "run " + std::to_string(run.value) + " is already finished"};
  return {};
}

}  // namespace

Result<RunId> Archive::beginRun(const NewtonIdentity& newton, std::uint32_t newtonTime, RunKind kind) {
  if (connection_->writerActive) return Failure{Problem::Misuse, "a soup is still being written"};
  Connection& db = *connection_;
  RunId run;
  const auto status = inTransaction(db, "starting a run", [&]() -> Status {
    Statement held(db, "SELECT id, unique_id, owner_name FROM newton");
    const int rc = held.step();
    std::int64_t newtonRow = 0;
    if (rc == SQLITE_ROW) {
      newtonRow = held.integer(0);
      const auto heldId = static_cast<std::uint32_t>(held.integer(1));
      if (heldId != newton.uniqueId) {
        return Failure{Problem::Mismatch, db.path() + " holds the backups of another Newton (" + hex32(heldId) +
                                              ", " + held.text(2) + "); this one is " + hex32(newton.uniqueId) +
                                              " (" + newton.owner + ")"};
      }
      Statement update(db, "UPDATE newton SET owner_name = ?1, name_frame = ?2 WHERE id = ?3");
      update.bind(1, newton.owner).bind(2, newton.nameFrame).bind(3, newtonRow);
      if (auto done = stepDone(db, update, "starting a run"); !done) return done;
    } else if (rc == SQLITE_DONE) {
      Statement insert(db, "INSERT INTO newton (unique_id, owner_name, name_frame) VALUES (?1, ?2, ?3)");
      insert.bind(1, newton.uniqueId).bind(2, newton.owner).bind(3, newton.nameFrame);
      if (auto done = stepDone(db, insert, "starting a run"); !done) return done;
      newtonRow = sqlite3_last_insert_rowid(db.handle());
    } else {
      return db.failure(rc, "starting a run");
    }
    Statement insert(db, "INSERT INTO run (newton, kind, started_at, newton_time) VALUES (?1, ?2, ?3, ?4)");
    insert.bind(1, newtonRow).bind(2, kind == RunKind::Full ? "full" : "incremental")
        .bind(3, static_cast<std::int64_t>(std::time(nullptr))).bind(4, newtonTime);
    if (auto done = stepDone(db, insert, "starting a run"); !done) return done;
    run = RunId{sqlite3_last_insert_rowid(db.handle())};
    return {};
  });
  if (!status) return status;
  return run;
}

Result<StoreId> Archive::putStore(RunId run, const StoreInfo& store) {
  if (connection_->writerActive) return Failure{Problem::Misuse, "a soup is still being written"};
  Connection& db = *connection_;
  StoreId id;
  const auto status = inTransaction(db, "recording a store", [&]() -> Status {
    if (auto open = openRun(db, run); !open) return open;
    Statement upsert(db, R"sql(
      INSERT INTO store (name, signature, kind) VALUES (?1, ?2, ?3)
      ON CONFLICT (name, signature) DO UPDATE SET kind = excluded.kind RETURNING id)sql");
    upsert.bind(1, store.name).bind(2, store.signature).bind(3, store.kind);
    const int rc = upsert.step();
    if (rc != SQLITE_ROW) return db.failure(rc, "recording a store");
    id = StoreId{upsert.integer(0)};
    upsert.reset();
    Statement frame(db, R"sql(
      INSERT INTO run_store (run, store, frame) VALUES (?1, ?2, ?3)
      ON CONFLICT (run, store) DO UPDATE SET frame = excluded.frame)sql");
    frame.bind(1, run.value).bind(2, id.value).bind(3, store.frame);
    return stepDone(db, frame, "recording a store");
  });
  if (!status) return status;
  return id;
}

std::string Archive::soupLabel(StoreId store, std::string_view soup) {
  Statement query(*connection_, "SELECT name FROM store WHERE id = ?1");
  query.bind(1, store.value);
  const std::string storeName = query.step() == SQLITE_ROW ? query.text(0) : "store " + std::to_string(store.value);
  return "soup " + std::string(soup) + " of " + storeName;
}

Result<SoupWriter> Archive::beginSoup(RunId run, StoreId store, std::string_view soup,
                                      std::optional<std::span<const std::uint8_t>> info,
                                      std::optional<std::span<const std::uint8_t>> indexes, SoupMethod method) {
  Connection& db = *connection_;
  if (db.writerActive) return Failure{Problem::Misuse, "another soup is still being written"};
  const std::string label = soupLabel(store, soup);
  if (auto begun = db.run("BEGIN IMMEDIATE", "starting " + label); !begun) return begun;
  // Everything below, the soup's own row included, belongs to the soup's transaction.
  // An unchanged soup starts as an incremental one and is then made its base again.
  const SoupMethod written = method == SoupMethod::Full ? SoupMethod::Full : SoupMethod::Incremental;
  auto started = [&]() -> Result<SoupWriter::Place> {
    if (auto open = openRun(db, run); !open) return open;
    Statement listed(db, "SELECT 1 FROM run_store WHERE run = ?1 AND store = ?2");
    listed.bind(1, run.value).bind(2, store.value);
    if (listed.step() != SQLITE_ROW) return Failure{Problem::Misuse, label + ": the store was not put in this run"};
    auto found = findSoup(db, store, soup);
    if (!found) return found.status();
    std::int64_t soupRow = 0;
    if (*found) {
      soupRow = **found;
    } else {
      Statement insert(db, "INSERT INTO soup (store, name) VALUES (?1, ?2)");
      insert.bind(1, store.value).bind(2, soup);
      if (auto done = stepDone(db, insert, ("starting " + label).c_str()); !done) return done;
      soupRow = sqlite3_last_insert_rowid(db.handle());
    }
    auto base = latestCopy(db, soupRow, run);
    if (!base) return base.status();
    if (*base && **base == run) {
      return Failure{Problem::Misuse, label + " is already in run " + std::to_string(run.value)};
    }
    if (method != SoupMethod::Full && !*base) {
      return Failure{Problem::Misuse, "no earlier copy of " + label + " to build on; back it up in full"};
    }
    Statement insert(db, R"sql(
      INSERT INTO run_soup (run, soup, method, base_run, info, indexes)
      VALUES (?1, ?2, ?3, ?4, coalesce(?5, (SELECT info FROM run_soup WHERE run = ?4 AND soup = ?2)),
                              coalesce(?6, (SELECT indexes FROM run_soup WHERE run = ?4 AND soup = ?2))))sql");
    insert.bind(1, run.value).bind(2, soupRow).bind(3, methodName(written));
    if (*base) insert.bind(4, (*base)->value); else insert.bindNull(4);
    if (info) insert.bind(5, *info); else insert.bindNull(5);
    if (indexes) insert.bind(6, *indexes); else insert.bindNull(6);
    if (auto done = stepDone(db, insert, ("starting " + label).c_str()); !done) return done;
    return SoupWriter::Place{run, soupRow, *base, written, label};
  }();
  if (!started) {
    db.rollback();
    return started.failure();
  }
  SoupWriter writer(db, *started);
  if (writer.failure_) return *writer.failure_;
  if (method == SoupMethod::Unchanged) {
    if (auto same = writer.unchanged(); !same) return same.failure();
  }
  return writer;
}

Status Archive::finishRun(RunId run, bool completed) {
  if (connection_->writerActive) return Failure{Problem::Misuse, "a soup is still being written"};
  Connection& db = *connection_;
  return inTransaction(db, "finishing a run", [&]() -> Status {
    if (auto open = openRun(db, run); !open) return open;
    Statement update(db, "UPDATE run SET ended_at = ?1, completed = ?2 WHERE id = ?3");
    update.bind(1, static_cast<std::int64_t>(std::time(nullptr))).bind(2, completed ? 1 : 0).bind(3, run.value);
    return stepDone(db, update, "finishing a run");
  });
}

Result<std::optional<SoupCopy>> Archive::lastCompleteSoup(StoreId store, std::string_view soup) {
  Connection& db = *connection_;
  auto found = findSoup(db, store, soup);
  if (!found) return found.status();
  if (!*found) return std::optional<SoupCopy>();
  auto latest = latestCopy(db, **found, std::nullopt);
  if (!latest) return latest.status();
  if (!*latest) return std::optional<SoupCopy>();
  Statement query(db, R"sql(
    SELECT r.newton_time, r.completed,
           (SELECT count(*) FROM run_entry WHERE run = r.id AND soup = ?2 AND change <> 3),
           (SELECT max(unique_id) FROM run_entry WHERE run = r.id AND soup = ?2 AND change <> 3)
    FROM run r WHERE r.id = ?1)sql");
  query.bind(1, (*latest)->value).bind(2, **found);
  const int rc = query.step();
  if (rc != SQLITE_ROW) return db.failure(rc, "reading a soup's latest copy");
  SoupCopy copy;
  copy.run = **latest;
  copy.newtonTime = static_cast<std::uint32_t>(query.integer(0));
  copy.runCompleted = query.integer(1) != 0;
  copy.entries = query.integer(2);
  if (!query.isNull(3)) copy.highestId = static_cast<std::uint32_t>(query.integer(3));
  return std::optional<SoupCopy>(copy);
}

Result<bool> Archive::soupDoneInRun(RunId run, StoreId store, std::string_view soup) {
  auto found = findSoup(*connection_, store, soup);
  if (!found) return found.status();
  if (!*found) return false;
  Statement query(*connection_, "SELECT 1 FROM run_soup WHERE run = ?1 AND soup = ?2");
  query.bind(1, run.value).bind(2, **found);
  const int rc = query.step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return connection_->failure(rc, "reading a run's soups");
  return rc == SQLITE_ROW;
}

}  // namespace skiff::archive
