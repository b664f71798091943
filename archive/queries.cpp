#include "archive/queries.h"

#include <cstdint>

namespace skiff::archive {

Result<Counts> soupCounts(Connection& connection, RunId run, std::int64_t soup) {
  Statement query(connection, R"sql(
    SELECT count(*) FILTER (WHERE re.change <> 3),
           coalesce(sum(v.size) FILTER (WHERE re.change <> 3), 0),
           count(*) FILTER (WHERE re.change = 1),
           count(*) FILTER (WHERE re.change = 2),
           count(*) FILTER (WHERE re.change = 3)
    FROM run_entry re JOIN entry_version v ON v.id = re.version
    WHERE re.run = ?1 AND re.soup = ?2)sql");
  query.bind(1, run.value).bind(2, soup);
  const int rc = query.step();
  if (rc != SQLITE_ROW) return connection.failure(rc, "counting a soup's entries");
  return Counts{query.integer(0), query.integer(1), query.integer(2), query.integer(3), query.integer(4)};
}

Result<std::optional<RunId>> latestCopy(Connection& connection, std::int64_t soup, std::optional<RunId> upTo) {
  Statement query(connection, "SELECT max(run) FROM run_soup WHERE soup = ?1 AND run <= ?2");
  query.bind(1, soup).bind(2, upTo ? upTo->value : INT64_MAX);
  const int rc = query.step();
  if (rc != SQLITE_ROW) return connection.failure(rc, "finding a soup's latest copy");
  if (query.isNull(0)) return std::optional<RunId>();
  return std::optional<RunId>(RunId{query.integer(0)});
}

Result<std::optional<std::int64_t>> findSoup(Connection& connection, StoreId store, std::string_view name) {
  Statement query(connection, "SELECT id FROM soup WHERE store = ?1 AND name = ?2");
  query.bind(1, store.value).bind(2, name);
  const int rc = query.step();
  if (rc == SQLITE_DONE) return std::optional<std::int64_t>();
  if (rc != SQLITE_ROW) return connection.failure(rc, "finding a soup");
  return std::optional<std::int64_t>(query.integer(0));
}

const char* methodName(SoupMethod method) {
  switch (method) {
    case SoupMethod::Full: return "full";
    case SoupMethod::Incremental: return "incremental";
    case SoupMethod::Unchanged: return "unchanged";
  }
  return "full";
}

SoupMethod methodNamed(std::string_view name) {
  if (name == "incremental") return SoupMethod::Incremental;
  if (name == "unchanged") return SoupMethod::Unchanged;
  return SoupMethod::Full;
}

}  // namespace skiff::archive
