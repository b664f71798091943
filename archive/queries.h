// Queries both the writing and the reading side need.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "archive/records.h"
#include "archive/sqlite_db.h"
#include "archive/status.h"

namespace skiff::archive {

// The entries and bytes of a soup as of a run, and what the run added, changed and deleted.
Result<Counts> soupCounts(Connection& connection, RunId run, std::int64_t soup);
// The latest run, up to and including `upTo` (any run when unset), that committed the soup.
Result<std::optional<RunId>> latestCopy(Connection& connection, std::int64_t soup, std::optional<RunId> upTo);
// The soup's row for a store and a name; unset when no run has committed it.
Result<std::optional<std::int64_t>> findSoup(Connection& connection, StoreId store, std::string_view name);

const char* methodName(SoupMethod method);
SoupMethod methodNamed(std::string_view name);

}  // namespace skiff::archive
