// Which kind of file a path names, and the header line a text note starts with: decided by the upper-cased
// path alone, a substring anywhere in it (folders included), tested in a fixed order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace skiff {

struct Classification {
  std::int32_t kind = 1;  // FileKind
  std::string header;     // for text: "*TODO*\n" and the like, or empty
  bool textMode = true;   // text is read in text mode, every other kind in binary
};

// The ASCII letters upper-cased, every other byte kept.
std::string upperCased(std::string_view path);

// `upperPath` is the upper-cased full path.
Classification classifyPath(std::string_view upperPath);

}  // namespace skiff
