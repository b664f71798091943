// Names for the files an export makes from what the user wrote (a note's title, a package's name): safe on any
// file system a person may copy them to, unique within their folder, and short.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace skiff::exporting {

inline constexpr std::size_t kLongestFileName = 100;  // characters, the extension included
inline constexpr std::size_t kLongestFileBytes = 255;  // what ext4, NTFS and APFS take in one name

// `wanted` made safe: characters that no common file system takes in a name (/ \ : * ? " < > | and control
// characters) become '_', runs of white space one space, leading and trailing spaces and dots go (so never "."
// or ".."), names Windows reserves (CON, NUL, COM1 ...) get a '_'; empty becomes `fallback`.
std::string safeFileStem(std::string_view wanted, std::string_view fallback);

// Hands out names in one folder: stem + extension, cut on a character boundary so the whole name has at most
// kLongestFileName characters and kLongestFileBytes bytes of UTF-8, and " (2)", " (3)" ... before the extension when the name (compared without
// regard to case, as Windows and macOS compare) is taken.
class FileNamer {
 public:
  std::string take(std::string_view wanted, std::string_view extension, std::string_view fallback);

 private:
  std::set<std::string> taken_;  // lower-cased
};

}  // namespace skiff::exporting
