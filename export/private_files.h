// An export holds what the archive holds, a person's names, addresses and notes: its folders are made for their
// owner only (0700) and its files too (0600), from their first moment and whatever the umask. Each function
// returns why it failed in one line naming the path, or nothing.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

namespace skiff::exporting {

// Makes the folder, or takes the one there; `mayBeLink`: the folder the user named may be a symbolic link to
// one, a folder the export makes inside it may not (a link planted there would lead the files elsewhere).
std::string makePrivateFolder(const std::string& path, bool mayBeLink);

// Writes the file anew (never through a symbolic link), mode 0600.
std::string writePrivateFile(const std::string& path, std::span<const std::uint8_t> bytes);
std::string writePrivateFile(const std::string& path, std::string_view text);

// Sets the file's modification (and access) time.
std::string setModificationTime(const std::string& path, std::time_t time);

}  // namespace skiff::exporting
