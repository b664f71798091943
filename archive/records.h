// The values the archive takes and hands back. Newton times are minutes since 1 January 1904 in the Newton's
// local time, as the Newton reports them (the dock protocol's "time" and an entry's _modTime); desktop times are
// seconds since 1970 UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace skiff::archive {

using Bytes = std::vector<std::uint8_t>;

struct RunId {
  std::int64_t value = 0;
  friend bool operator==(RunId, RunId) = default;
};
struct StoreId {
  std::int64_t value = 0;
  friend bool operator==(StoreId, StoreId) = default;
};
struct VersionId {  // one version of one entry: the bytes the Newton sent at some run
  std::int64_t value = 0;
  friend bool operator==(VersionId, VersionId) = default;
};

// Who the Newton is, from its "name" frame.
struct NewtonIdentity {
  std::uint32_t uniqueId = 0;  // the first long of the version information
  std::string owner;           // UTF-8
  Bytes nameFrame;             // the frame's data as sent: version information and the owner's name
};

enum class RunKind { Full, Incremental };
// How a soup came in: every entry ("snds"), the changes and the IDs of the rest ("bksp"), or nothing because
// the Newton said the soup had not changed ("ndir").
enum class SoupMethod { Full, Incremental, Unchanged };
// What a run saw of an entry, compared with the copy of the soup it built on.
enum class Change { Kept = 0, Added = 1, Changed = 2, Deleted = 3 };

// A store as the Newton lists it in "stor"; name and signature say which store it is (a card reformatted gets
// a new signature, so it is a new store).
struct StoreInfo {
  std::string name;
  std::uint32_t signature = 0;
  std::string kind;
  Bytes frame;  // the store's frame as NSOF
};

struct StoreRecord {
  StoreId id;
  std::string name;
  std::uint32_t signature = 0;
  std::string kind;
  Bytes frame;  // as listed in the run
};

struct Counts {
  std::int64_t entries = 0;  // in the soup as of the run
  std::int64_t bytes = 0;    // their NSOF bytes
  std::int64_t added = 0;
  std::int64_t changed = 0;
  std::int64_t deleted = 0;
};

struct RunSummary {
  RunId id;
  RunKind kind = RunKind::Full;
  std::int64_t startedAt = 0;              // desktop time
  std::optional<std::int64_t> endedAt;     // unset: the run never finished (killed, line dropped)
  bool completed = false;                  // finished with every soup done
  std::uint32_t newtonTime = 0;            // the Newton's clock at the run
  std::int64_t soups = 0;                  // soups committed in the run
  Counts totals;
};

struct SoupSummary {
  StoreId store;
  std::string storeName;
  std::string name;
  SoupMethod method = SoupMethod::Full;
  std::optional<RunId> baseRun;  // the earlier run this copy was compared with
  Counts counts;
};

// The latest copy of a soup that was committed, in a run that finished or not: a backup can skip the soup
// or ask the Newton only for what changed since.
struct SoupCopy {
  RunId run;
  std::uint32_t newtonTime = 0;     // the Newton's clock at that run
  bool runCompleted = false;
  std::int64_t entries = 0;
  std::optional<std::uint32_t> highestId;  // unset when the copy is empty
};

// One entry of a soup as of a run: the version it had then.
struct EntryRecord {
  std::uint32_t uniqueId = 0;
  std::optional<std::uint32_t> modTime;
  std::int64_t size = 0;
  VersionId version;
  RunId firstRun;  // the run that received these bytes
  Change change = Change::Kept;
};

// One step of an entry's history: the run added, changed or deleted it (runs that kept it are left out).
struct EntryEvent {
  RunId run;
  Change change = Change::Added;
  VersionId version;  // for a deletion, the version that was deleted
  std::optional<std::uint32_t> modTime;
  std::int64_t size = 0;
};

}  // namespace skiff::archive
