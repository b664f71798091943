#include "archive/file_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace skiff::archive {

namespace {

std::string modeText(mode_t mode) {
  std::string text = "0";
  for (int shift = 6; shift >= 0; shift -= 3) text += static_cast<char>('0' + ((mode >> shift) & 7));
  return text;
}

Failure systemFailure(const std::string& what, int err) {
  return {Problem::System, what + ": " + systemWords(err), err};
}

}  // namespace

std::string systemWords(int err) { return std::generic_category().message(err); }

std::string sizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kKilo = 1024;
  if (bytes < kKilo) return std::to_string(bytes) + " bytes";
  if (bytes < kKilo * kKilo) return std::to_string(bytes / kKilo) + " KB";
  const bool giga = bytes >= kKilo * kKilo * kKilo;
  const std::uint64_t tenths = (giga ? bytes / kKilo / kKilo : bytes / kKilo) * 10 / kKilo;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + (giga ? " GB" : " MB");
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Status checkFolder(const std::string& path, bool exists) {
  const std::string folder = folderOf(path);
  const std::string what = exists ? "cannot write beside " + path : "cannot create " + path;
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return systemFailure(what, errno);
  if (!S_ISDIR(info.st_mode)) return systemFailure(what, ENOTDIR);
  // The effective IDs decide, as they will when SQLite makes its journal; a read-only file system says so
  // even to root.
  if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return systemFailure(what, errno);
  return {};
}

Status checkRoom(const std::string& folder, std::uint64_t bytes) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return systemFailure("cannot measure the room on " + folder, errno);
  const std::uint64_t free = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  if (free < bytes) {
    return Failure{Problem::NoRoom, "no room: " + sizeText(free) + " free on " + folder + ", at least " +
                                        sizeText(bytes) + " wanted"};
  }
  return {};
}

Status createPrivateFile(const std::string& path) {
  // O_EXCL: a file or a link already there is never opened through; the mode is the file's from its first
  // moment, and fchmod restores the owner's bits should a umask have taken them.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) return systemFailure("cannot create " + path, errno);
  const int changed = fchmod(fd, S_IRUSR | S_IWUSR);
  const int err = errno;
  ::close(fd);
  if (changed != 0) return systemFailure("cannot make " + path + " private", err);
  return {};
}

Result<std::optional<std::string>> makePrivate(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return std::optional<std::string>();
    return systemFailure("cannot open " + path, errno);
  }
  const mode_t others = info.st_mode & (S_IRWXG | S_IRWXO);
  if (others == 0) return std::optional<std::string>();
  if (info.st_uid != geteuid()) {
    return Failure{Problem::System, path + " can be read by others (mode " + modeText(info.st_mode & 07777) +
                                        ") and is not ours to make private; chmod 600 it or choose another archive"};
  }
  if (chmod(path.c_str(), (info.st_mode & S_IRWXU) | S_IRUSR | S_IWUSR) != 0) {
    return systemFailure("cannot make " + path + " private", errno);
  }
  return std::optional<std::string>("made " + path + " readable by its owner only (it was " +
                                    modeText(info.st_mode & 07777) + ")");
}

}  // namespace skiff::archive
