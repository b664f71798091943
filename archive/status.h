// archive/: the backup archive, one SQLite file per Newton: every run, store, soup and entry version, kept
// as the Newton sent them (docs/archive.md has the schema and the reasons for it).
//
// What can go wrong with it, in a few kinds the caller acts on, each with a one-line reason that names the
// file and says what the system said.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace skiff::archive {

enum class Problem {
  System,     // the system refused (no such folder, permission, read-only file system, an I/O error)
  NoRoom,     // too little free space to start, or the disk filled while writing: stop the backup
  InUse,      // another skiff has the archive open
  BadFile,    // not an archive, damaged, or written by a newer skiff
  Mismatch,   // the data do not fit the archive: another Newton, an entry twice, an ID it never held
  Missing,    // no such run, store or soup in the archive, or the run did not reach the soup
  Misuse,     // called out of order: our own bug
};

struct Failure {
  Problem problem = Problem::Misuse;
  std::string reason;  // one line: "cannot create /x/y.skiff: Read-only file system"
  int systemError = 0;  // errno where the system said it, else 0
};

// Success, or the failure that stopped it.
class Status {
 public:
  Status() = default;
  Status(Failure failure) : failure_(std::move(failure)), ok_(false) {}  // NOLINT: a failure is a status
  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const Failure& failure() const { return failure_; }
  const std::string& reason() const { return failure_.reason; }

 private:
  Failure failure_;
  bool ok_ = true;
};

// A value, or the failure that kept it from being made.
template <typename T>
class Result {
 public:
  Result(T value) : held_(std::move(value)) {}          // NOLINT: a value is a result
  Result(Failure failure) : held_(std::move(failure)) {}  // NOLINT: so is a failure
  Result(const Status& status) : held_(status.failure()) {}  // NOLINT: only for a failed status

  bool ok() const { return std::holds_alternative<T>(held_); }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<T>(held_); }
  const T& value() const { return std::get<T>(held_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const Failure& failure() const { return std::get<Failure>(held_); }
  const std::string& reason() const { return failure().reason; }
  Status status() const { return ok() ? Status() : Status(failure()); }

 private:
  std::variant<T, Failure> held_;
};

}  // namespace skiff::archive
