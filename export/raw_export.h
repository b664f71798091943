// `skiff export --raw`: every store, soup and entry of a run as the Newton sent them, in the layout of
// dock/entry_files.h, which the simulated Newton reads back (newton/content.h's loadContent), so a backup
// can be served again and backed up again, byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace skiff::exporting {

struct RawReport {
  int stores = 0;
  int soups = 0;
  std::int64_t entries = 0;
  std::int64_t bytes = 0;
  std::vector<std::string> problems;  // a soup the archive could not give, or the file that could not be written
};

RawReport exportRaw(archive::Archive& archive, archive::RunId run, const std::string& dir);

}  // namespace skiff::exporting
