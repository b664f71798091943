// What the archive checks on the file system before SQLite opens it, so before any port opens: the folder
// exists and takes new files (the journal goes beside the archive), it has room, and the archive and the files
// SQLite keeps beside it are readable and writable by their owner only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/status.h"

namespace skiff::archive {

// The system's words for an errno value: "Read-only file system".
std::string systemWords(int err);
// "512 bytes", "120 KB", "1.9 MB", "3.2 GB".
std::string sizeText(std::uint64_t bytes);
// The folder a path names its file in; "." for a bare name.
std::string folderOf(const std::string& path);

// The folder of `path` exists and new files can be made in it. `exists` says whether the archive is already
// there, which only changes the words: "cannot create PATH: ..." or "cannot write beside PATH: ...".
Status checkFolder(const std::string& path, bool exists);
// At least `bytes` are free for an unprivileged writer in `folder`: "no room: 120 KB free on /x".
Status checkRoom(const std::string& folder, std::uint64_t bytes);
// Makes `path` with mode 0600 from the start, so that it is never readable by others, not even briefly;
// fails with EEXIST (in systemError) when anything, a link included, is already there.
Status createPrivateFile(const std::string& path);
// Takes group and other access away from an existing file of ours and says so in the notice; refuses a
// file others can read that belongs to someone else. No notice when nothing needed changing; a missing file
// needs nothing.
Result<std::optional<std::string>> makePrivate(const std::string& path);

}  // namespace skiff::archive
