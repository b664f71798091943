#include "export/private_files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace skiff::exporting {
namespace {

std::string failed(const char* doing, const std::string& path, int error = errno) {
  return std::string("cannot ") + doing + " " + path + ": " + std::strerror(error);
}

}  // namespace

std::string makePrivateFolder(const std::string& path, bool mayBeLink) {
  if (::mkdir(path.c_str(), 0700) == 0) {
    if (::chmod(path.c_str(), 0700) != 0) return failed("make private", path);  // the umask may have taken more
    return {};
  }
  if (errno != EEXIST) return failed("create", path);
  struct stat status {};
  if ((mayBeLink ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status)) != 0) return failed("look at", path);
  if (S_ISLNK(status.st_mode)) return path + " is a symbolic link; the export makes its folders itself";
  if (!S_ISDIR(status.st_mode)) return path + " is there and is no folder";
  return {};
}

std::string writePrivateFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return failed("create", path);
  std::string problem;
  if (::fchmod(fd, 0600) != 0) problem = failed("make private", path);
  std::size_t done = 0;
  while (problem.empty() && done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) problem = failed("write", path, wrote < 0 ? errno : ENOSPC);
    else done += static_cast<std::size_t>(wrote);
  }
  if (::close(fd) != 0 && problem.empty()) problem = failed("write", path);
  return problem;
}

std::string writePrivateFile(const std::string& path, std::string_view text) {
  return writePrivateFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string setModificationTime(const std::string& path, std::time_t time) {
  struct timespec times[2] = {{time, 0}, {time, 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return failed("set the time of", path);
  return {};
}

}  // namespace skiff::exporting
