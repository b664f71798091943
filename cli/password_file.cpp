#include "cli/password_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace skiff::cli {

namespace {
constexpr std::size_t kLongest = 4096;  // far beyond any password a Newton takes
}

bool readPasswordFile(const std::string& path, std::string* password, std::string* problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY);
  if (fd < 0) {
    *problem = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat info{};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    *problem = path + ": not a regular file";
    return false;
  }
  if ((info.st_mode & 077) != 0) {
    ::close(fd);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    *problem = path + ": permissions " + mode + " are too open: others could read the Newton's password (chmod 600 " +
               path + ")";
    return false;
  }
  std::string text(kLongest, '\0');
  const ssize_t got = ::read(fd, text.data(), text.size());
  ::close(fd);
  if (got < 0) {
    *problem = path + ": " + std::strerror(errno);
    return false;
  }
  text.resize(static_cast<std::size_t>(got));
  text = text.substr(0, text.find_first_of("\r\n"));
  *password = text;
  return true;
}

}  // namespace skiff::cli
