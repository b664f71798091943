#include "archive/sqlite_db.h"

#include "archive/file_checks.h"

namespace skiff::archive {

Connection::~Connection() {
  rollback();
  sqlite3_close_v2(db_);
}

Status Connection::run(std::string_view sql, std::string_view doing) {
  const std::string statements(sql);
  const int rc = sqlite3_exec(db_, statements.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return failure(rc, doing);
  return {};
}

void Connection::rollback() {
  if (db_ != nullptr && inTransaction()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

Failure Connection::failure(int rc, std::string_view doing) const {
  const std::string where = std::string(doing) + " in " + path_;
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return {Problem::InUse, "the archive " + path_ + " is in use by another skiff"};
    case SQLITE_FULL:
      return {Problem::NoRoom, "disk full while " + where};
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM: {
      // SQLite keeps the system's error of the failed call for I/O errors and failed opens only.
      const int err = (rc & 0xFF) == SQLITE_IOERR || (rc & 0xFF) == SQLITE_CANTOPEN ? sqlite3_system_errno(db_) : 0;
      std::string reason = std::string(sqlite3_errstr(rc)) + " while " + where;
      if (err != 0) reason += ": " + systemWords(err);
      return {Problem::System, reason, err};
    }
    case SQLITE_NOTADB:
      return {Problem::BadFile, path_ + " is not a Skiff archive (" + sqlite3_errstr(rc) + ")"};
    case SQLITE_CORRUPT:
      return {Problem::BadFile, path_ + " is damaged (" + sqlite3_errstr(rc) + ") while " + std::string(doing)};
    case SQLITE_CONSTRAINT:
      return {Problem::Mismatch, std::string(sqlite3_errmsg(db_)) + " while " + where};
    default:
      return {Problem::Misuse, std::string(sqlite3_errmsg(db_)) + " while " + where};
  }
}

Statement::Statement(Connection& connection, std::string_view sql) {
  prepareRc_ = sqlite3_prepare_v2(connection.handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (prepareRc_ != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
  }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement::Statement(Statement&& other) noexcept : stmt_(other.stmt_), prepareRc_(other.prepareRc_) {
  other.stmt_ = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(stmt_);
    stmt_ = other.stmt_;
    prepareRc_ = other.prepareRc_;
    other.stmt_ = nullptr;
  }
  return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
  sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
  return *this;
}

Statement& Statement::bind(int index, std::span<const std::uint8_t> blob) {
  // A zero-length blob is still a blob, not NULL: an entry of no bytes stays an entry.
  if (blob.empty()) {
    sqlite3_bind_zeroblob(stmt_, index, 0);
  } else {
    sqlite3_bind_blob64(stmt_, index, blob.data(), blob.size(), SQLITE_STATIC);
  }
  return *this;
}

Statement& Statement::bindNull(int index) {
  sqlite3_bind_null(stmt_, index);
  return *this;
}

int Statement::step() { return stmt_ == nullptr ? prepareRc_ : sqlite3_step(stmt_); }

void Statement::reset() {
  if (stmt_ == nullptr) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int column) const {
  const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  if (chars == nullptr) return {};
  return std::string(chars, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::span<const std::uint8_t> Statement::blob(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  const int size = sqlite3_column_bytes(stmt_, column);
  if (data == nullptr || size <= 0) return {};
  return {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)};
}

}  // namespace skiff::archive
