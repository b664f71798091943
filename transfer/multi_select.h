// The open-file dialog's answer: one file, or a directory and several names in one buffer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/shell_ops.h"

namespace skiff {

// One file was chosen when the character just before the name offset is a backslash.
bool isSingleSelection(const OpenFileResult& result);

// Walks a multi-selection buffer: the directory, then each NUL-ended name up to the empty one. Never reads past
// the end of the buffer, whatever it holds.
class MultiSelectWalker {
 public:
  explicit MultiSelectWalker(std::string_view buffer);
  const std::string& directory() const { return directory_; }
  // The next name; nothing at the empty name that ends the list (and ever after).
  std::optional<std::string> next();

 private:
  std::string buffer_;  // its own copy: a walker never outlives what it walks
  std::size_t position_ = 0;
  std::string directory_;
};

// "%s%s" when the directory ends in a backslash (a drive's root), else "%s\%s".
std::string joinSelectedPath(std::string_view directory, std::string_view name);

}  // namespace skiff
