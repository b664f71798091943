// Which run of the archive an export reads, and the names it gives what it writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "archive/archive.h"

namespace skiff::exporting {

struct RunChoice {
  archive::RunId run;
  std::string notice;   // said to the user, e.g. that the latest run did not finish
  std::string problem;  // no such run, an empty archive, the archive's own failure
};

// `asked` (--run N), else the latest run that completed, else the latest run of all.
RunChoice chooseRun(archive::Archive& archive, std::optional<std::int64_t> asked);

// A UID that names an entry for good: its store's signature, its soup and its ID ("1a1ff001-repeat-meetings-32").
std::string entryUid(std::uint32_t storeSignature, std::string_view soup, std::uint32_t uniqueId);

// "Internal, Notes, entry 17": where an entry is, in a report line.
std::string entryPlace(std::string_view store, std::string_view soup, std::uint32_t uniqueId);

}  // namespace skiff::exporting
