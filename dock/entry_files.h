// A Newton's stores, soups and entries as files, the layout `skiff export --raw` writes and the simulated Newton
// reads back: DIR/STORE/SOUP/UNIQUEID.nsof (the entry's NSOF as the Newton sent it, the ID in decimal), beside
// them SOUP/.info.nsof and SOUP/.indexes.nsof (the soup's info frame and index array) and STORE/.store.nsof (the
// store's frame). Store and soup names become folder names that cannot leave DIR and come back exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skiff::dock {

inline constexpr std::string_view kStoreFrameFile = ".store.nsof";
inline constexpr std::string_view kSoupInfoFile = ".info.nsof";
inline constexpr std::string_view kSoupIndexesFile = ".indexes.nsof";
inline constexpr std::string_view kEntrySuffix = ".nsof";

// A folder name for a store or soup name (UTF-8): "%" followed by two hex digits stands for each byte of '/',
// '\\', '%', ':' and control characters, and for a leading '.', so the name is never ".", "..", a hidden file or
// a path; the empty name is "%". Names longer than a file system takes (over 200 bytes once written so) are cut
// on a character boundary and end in "%~" and 8 hex digits of their FNV-1a hash, and do not come back exactly.
std::string folderNameFor(std::string_view name);
// The name a folder stands for; nothing when the folder is not one folderNameFor makes (or one it cut).
std::optional<std::string> nameOfFolder(std::string_view folder);

// "32.nsof" for ID 32.
std::string entryFileName(std::uint32_t uniqueId);
// The ID of an entry file name: decimal digits without a leading zero (but "0") and ".nsof".
std::optional<std::uint32_t> entryIdOfFile(std::string_view fileName);

}  // namespace skiff::dock
