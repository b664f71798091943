#include "cli/file_checks.h"

#include <sys/stat.h>

#include <cstdio>

#include "cli/command_run.h"
#include "cli/os_reasons.h"
#include "core/app_state.h"
#include "transfer/classify.h"
#include "transfer/transfer_session.h"

namespace skiff::cli {

void takeFilesThatMayGo(Command command, const std::vector<std::string>& paths, const PathCheck& contentProblem,
                        int& refused, const std::function<void(const std::string& path)>& take) {
  for (const std::string& path : paths) {
    std::string problem = fileProblem(path);
    if (problem.empty()) problem = contentProblem(path);
    if (problem.empty()) {
      take(path);
    } else {
      complain(command, problem);
      ++refused;
    }
  }
}

namespace {

// The start of a file as a user can read it: printable ASCII as it is, anything else as \xHH.
std::string shownStart(std::string_view bytes) {
  std::string shown;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  return shown;
}

}  // namespace

std::string packageProblem(const std::string& path, std::string_view start) {
  if (start.size() >= 8 && start.substr(0, 7) == "package" && (start[7] == '0' || start[7] == '1')) return {};
  const std::string what = start.empty() ? "it is empty" : "it starts with \"" + shownStart(start.substr(0, 8)) + "\"";
  return path + ": not a package (" + what + "; a package starts with \"package0\" or \"package1\")";
}

std::string pictureProblem(const std::string& path, std::int64_t size) {
  if (size < 0 || size >= kPictureSkip || classifyPath(upperCased(path)).kind != kPicture) return {};
  return path + ": " + std::to_string(size) + (size == 1 ? " byte" : " bytes") +
         ", shorter than the 512-byte header of a picture";
}

std::string firstBytes(const std::string& path, std::size_t count) {
  std::string bytes(count, '\0');
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  bytes.resize(std::fread(bytes.data(), 1, count, file));
  std::fclose(file);
  return bytes;
}

std::int64_t fileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

}  // namespace skiff::cli
