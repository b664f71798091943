// A thin hold on SQLite's C API: the connection and its prepared statements as owned values, and SQLite's
// result codes turned into the archive's failures with the path and the system's words.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "archive/status.h"

namespace skiff::archive {

class Connection {
 public:
  Connection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  sqlite3* handle() const { return db_; }
  const std::string& path() const { return path_; }
  // Runs statements that return no rows.
  Status run(std::string_view sql, std::string_view doing);
  // The failure for result code `rc` while `doing` ("writing soup Names").
  Failure failure(int rc, std::string_view doing) const;
  bool inTransaction() const { return sqlite3_get_autocommit(db_) == 0; }
  void rollback();  // if a transaction is open; SQLite may already have ended it after a full disk

  bool writerActive = false;  // one soup writer at a time: its transaction is the connection's

 private:
  sqlite3* db_;
  std::string path_;
};

class Statement {
 public:
  Statement() = default;
  Statement(Connection& connection, std::string_view sql);
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;

  bool prepared() const { return stmt_ != nullptr; }
  int prepareResult() const { return prepareRc_; }

  // Parameters count from 1. A blob or text is not copied: it must live until the step.
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, std::string_view text);
  Statement& bind(int index, std::span<const std::uint8_t> blob);
  Statement& bindNull(int index);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step();
  // Clears the last step and the parameters, so the statement runs again.
  void reset();

  std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
  bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
  std::string text(int column) const;
  std::span<const std::uint8_t> blob(int column) const;  // valid until the next step or reset

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int prepareRc_ = SQLITE_OK;
};

}  // namespace skiff::archive
