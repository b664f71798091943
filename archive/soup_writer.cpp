#include "archive/soup_writer.h"

#include <string>

#include "archive/queries.h"

namespace skiff::archive {

namespace {

constexpr std::int64_t kDeleted = static_cast<std::int64_t>(Change::Deleted);
constexpr std::size_t kUnknownIdsNamed = 5;

// FNV-1a, 64 bits: tells most different entries apart without reading the stored bytes; equal digests are
// confirmed byte for byte.
std::int64_t digestOf(std::span<const std::uint8_t> bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const auto byte : bytes) hash = (hash ^ byte) * 0x100000001b3ULL;
  return static_cast<std::int64_t>(hash);
}

}  // namespace

SoupWriter::SoupWriter(Connection& connection, const Place& place)
    : connection_(&connection),
      run_(place.run),
      soup_(place.soup),
      base_(place.base),
      method_(place.method),
      label_(place.label),
      findInBase_(connection, R"sql(
        SELECT re.version, v.size, v.digest FROM run_entry re JOIN entry_version v ON v.id = re.version
        WHERE re.run = ?1 AND re.soup = ?2 AND re.unique_id = ?3 AND re.change <> 3)sql"),
      sameBytes_(connection, "SELECT nsof = ?2 FROM entry_bytes WHERE version = ?1"),
      addVersion_(connection, R"sql(
        INSERT INTO entry_version (soup, unique_id, mod_time, size, digest, first_run)
        VALUES (?1, ?2, ?3, ?4, ?5, ?6))sql"),
      addBytes_(connection, "INSERT INTO entry_bytes (version, nsof) VALUES (?1, ?2)"),
      addRunEntry_(connection,
                   "INSERT INTO run_entry (run, soup, unique_id, version, change) VALUES (?1, ?2, ?3, ?4, ?5)"),
      carry_(connection, R"sql(
        INSERT OR IGNORE INTO run_entry (run, soup, unique_id, version, change)
        SELECT ?1, soup, unique_id, version, 0 FROM run_entry
        WHERE run = ?2 AND soup = ?3 AND unique_id = ?4 AND change <> 3)sql"),
      inRun_(connection, "SELECT 1 FROM run_entry WHERE run = ?1 AND soup = ?2 AND unique_id = ?3") {
  connection.writerActive = true;
  for (const Statement* statement :
       {&findInBase_, &sameBytes_, &addVersion_, &addBytes_, &addRunEntry_, &carry_, &inRun_}) {
    if (!statement->prepared()) {
      failOn(statement->prepareResult(), "preparing to write");
      break;
    }
  }
}

SoupWriter::SoupWriter(SoupWriter&& other) noexcept
    : connection_(other.connection_),
      run_(other.run_),
      soup_(other.soup_),
      base_(other.base_),
      method_(other.method_),
      label_(std::move(other.label_)),
      failure_(std::move(other.failure_)),
      open_(other.open_),
      tookEntries_(other.tookEntries_),
      unknownIds_(std::move(other.unknownIds_)),
      unknownCount_(other.unknownCount_),
      findInBase_(std::move(other.findInBase_)),
      sameBytes_(std::move(other.sameBytes_)),
      addVersion_(std::move(other.addVersion_)),
      addBytes_(std::move(other.addBytes_)),
      addRunEntry_(std::move(other.addRunEntry_)),
      carry_(std::move(other.carry_)),
      inRun_(std::move(other.inRun_)) {
  other.open_ = false;
}

SoupWriter::~SoupWriter() {
  if (!open_) return;
  connection_->rollback();
  connection_->writerActive = false;
}

Status SoupWriter::fail(Failure failure) {
  if (open_) {
    connection_->rollback();
    connection_->writerActive = false;
    open_ = false;
  }
  if (!failure_) failure_ = failure;
  return failure;
}

Status SoupWriter::failOn(int rc, const char* doing) {
  return fail(connection_->failure(rc, std::string(doing) + " " + label_));
}

Status SoupWriter::ready(bool takesEntries) {
  if (failure_) return *failure_;
  if (!open_) return Failure{Problem::Misuse, label_ + " is already committed"};
  if (takesEntries && method_ == SoupMethod::Unchanged) {
    return fail({Problem::Misuse, label_ + " was declared unchanged and takes no entries"});
  }
  return {};
}

Status SoupWriter::addEntry(std::uint32_t uniqueId, std::optional<std::uint32_t> modTime,
                            std::span<const std::uint8_t> nsof) {
  if (auto status = ready(true); !status) return status;
  tookEntries_ = true;
  const std::int64_t size = static_cast<std::int64_t>(nsof.size());
  const std::int64_t digest = digestOf(nsof);

  // The version the base holds, when its bytes are these.
  std::optional<std::int64_t> version;
  Change change = Change::Added;
  if (base_) {
    findInBase_.reset();
    findInBase_.bind(1, base_->value).bind(2, soup_).bind(3, uniqueId);
    const int rc = findInBase_.step();
    if (rc == SQLITE_ROW) {
      change = Change::Changed;
      if (findInBase_.integer(1) == size && findInBase_.integer(2) == digest) {
        sameBytes_.reset();
        sameBytes_.bind(1, findInBase_.integer(0)).bind(2, nsof);
        const int same = sameBytes_.step();
        if (same != SQLITE_ROW) return failOn(same, "comparing an entry of");
        if (sameBytes_.integer(0) == 1) {
          version = findInBase_.integer(0);
          change = Change::Kept;
        }
      }
    } else if (rc != SQLITE_DONE) {
      return failOn(rc, "reading");
    }
    findInBase_.reset();
    sameBytes_.reset();
  }

  if (!version) {
    addVersion_.reset();
    addVersion_.bind(1, soup_).bind(2, uniqueId).bind(4, size).bind(5, digest).bind(6, run_.value);
    if (modTime) addVersion_.bind(3, *modTime); else addVersion_.bindNull(3);
    if (const int rc = addVersion_.step(); rc != SQLITE_DONE) return failOn(rc, "writing");
    version = sqlite3_last_insert_rowid(connection_->handle());
    addBytes_.reset();
    addBytes_.bind(1, *version).bind(2, nsof);
    const int rc = addBytes_.step();
    addBytes_.reset();  // lets go of the caller's bytes
    if (rc != SQLITE_DONE) return failOn(rc, "writing");
  }

  addRunEntry_.reset();
  addRunEntry_.bind(1, run_.value).bind(2, soup_).bind(3, uniqueId).bind(4, *version)
      .bind(5, static_cast<std::int64_t>(change));
  const int rc = addRunEntry_.step();
  addRunEntry_.reset();
  if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
    return fail({Problem::Mismatch, "entry " + std::to_string(uniqueId) + " of " + label_ + " came twice"});
  }
  if (rc != SQLITE_DONE) return failOn(rc, "writing");
  return {};
}

Status SoupWriter::stillPresent(std::span<const std::uint32_t> uniqueIds) {
  if (auto status = ready(true); !status) return status;
  if (method_ != SoupMethod::Incremental || !base_) {
    return fail({Problem::Misuse, label_ + " is not incremental: no IDs can be carried forward"});
  }
  tookEntries_ = true;
  for (const auto id : uniqueIds) {
    carry_.reset();
    carry_.bind(1, run_.value).bind(2, base_->value).bind(3, soup_).bind(4, id);
    if (const int rc = carry_.step(); rc != SQLITE_DONE) return failOn(rc, "writing");
    if (sqlite3_changes(connection_->handle()) > 0) continue;
    // Nothing carried: either the run already has the ID (sent as well as listed) or the base never had it.
    inRun_.reset();
    inRun_.bind(1, run_.value).bind(2, soup_).bind(3, id);
    const int rc = inRun_.step();
    inRun_.reset();
    if (rc == SQLITE_DONE) {
      if (unknownIds_.size() < kUnknownIdsNamed) unknownIds_.push_back(id);
      ++unknownCount_;
    } else if (rc != SQLITE_ROW) {
      return failOn(rc, "reading");
    }
  }
  return {};
}

Status SoupWriter::unchanged() {
  if (auto status = ready(false); !status) return status;
  if (method_ != SoupMethod::Incremental || !base_ || tookEntries_) {
    return fail({Problem::Misuse, label_ + " can be unchanged only as an incremental soup that took no entries"});
  }
  method_ = SoupMethod::Unchanged;
  Statement mark(*connection_, "UPDATE run_soup SET method = 'unchanged' WHERE run = ?1 AND soup = ?2");
  mark.bind(1, run_.value).bind(2, soup_);
  if (const int rc = mark.step(); rc != SQLITE_DONE) return failOn(rc, "writing");
  Statement copy(*connection_, R"sql(
    INSERT INTO run_entry (run, soup, unique_id, version, change)
    SELECT ?1, soup, unique_id, version, 0 FROM run_entry WHERE run = ?2 AND soup = ?3 AND change <> 3)sql");
  copy.bind(1, run_.value).bind(2, base_->value).bind(3, soup_);
  if (const int rc = copy.step(); rc != SQLITE_DONE) return failOn(rc, "writing");
  return {};
}

Result<Counts> SoupWriter::commit() {
  if (auto status = ready(false); !status) return status;
  if (unknownCount_ > 0) {
    std::string ids;
    for (const auto id : unknownIds_) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
    if (unknownCount_ > static_cast<std::int64_t>(unknownIds_.size())) ids += ", ...";
    return fail({Problem::Mismatch, "the Newton listed " + std::to_string(unknownCount_) + " entries of " + label_ +
                                        " that the archive does not hold (" + ids + "); back the soup up in full"});
  }
  if (base_ && method_ != SoupMethod::Unchanged) {
    // What the base held and this run neither received nor heard of is gone from the Newton.
    Statement deletions(*connection_, R"sql(
      INSERT INTO run_entry (run, soup, unique_id, version, change)
      SELECT ?1, b.soup, b.unique_id, b.version, ?4 FROM run_entry b
      WHERE b.run = ?2 AND b.soup = ?3 AND b.change <> ?4
        AND NOT EXISTS (SELECT 1 FROM run_entry n WHERE n.run = ?1 AND n.soup = ?3 AND n.unique_id = b.unique_id))sql");
    deletions.bind(1, run_.value).bind(2, base_->value).bind(3, soup_).bind(4, kDeleted);
    if (const int rc = deletions.step(); rc != SQLITE_DONE) return failOn(rc, "writing");
  }
  auto counts = soupCounts(*connection_, run_, soup_);
  if (!counts) return fail(counts.failure());
  if (const int rc = sqlite3_exec(connection_->handle(), "COMMIT", nullptr, nullptr, nullptr); rc != SQLITE_OK) {
    return failOn(rc, "committing");
  }
  open_ = false;
  connection_->writerActive = false;
  return counts;
}

}  // namespace skiff::archive
