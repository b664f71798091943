// What the command line checks in a file's content before the link opens, so that a file the Newton would not
// take is refused at once, by name, instead of after the user tapped Connect.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"

namespace skiff::cli {

// Hands each named file that may go to `take`, in their order: a regular file this user may read, without a
// `contentProblem`. Every other one is reported by name now, before the link opens, and counted in `refused`;
// the rest still go.
using PathCheck = std::function<std::string(const std::string& path)>;
void takeFilesThatMayGo(Command command, const std::vector<std::string>& paths, const PathCheck& contentProblem,
                        int& refused, const std::function<void(const std::string& path)>& take);

// Why `path` cannot be installed, from its first bytes (up to eight): a package starts with "package0" or
// "package1". Empty when it may.
std::string packageProblem(const std::string& path, std::string_view start);

// Why `path` cannot be sent: a picture (by its name, as the Download command classifies it) shorter than the
// 512-byte header its data follows has no picture in it. Empty when it may.
std::string pictureProblem(const std::string& path, std::int64_t size);

// The first `count` bytes of a file (fewer when it is shorter, none when it cannot be read) and its size, -1
// when unknown.
std::string firstBytes(const std::string& path, std::size_t count);
std::int64_t fileSize(const std::string& path);

}  // namespace skiff::cli
