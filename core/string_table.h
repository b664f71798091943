// The program's string table (ids 1 to 64, and above them the texts the portable engines added), generated at
// build time from ui/resources/strings.txt.
#pragma once

#include <cstddef>

namespace skiff {

struct StringEntry {
  int id;
  const char* text;
};

extern const StringEntry kStringTable[];
extern const std::size_t kStringTableSize;

}  // namespace skiff
