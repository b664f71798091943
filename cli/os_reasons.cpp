#include "cli/os_reasons.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "dil/serial.h"

namespace skiff::cli {

std::string fileProblem(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return path + ": " + std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return path + ": " + std::strerror(EISDIR);
  // A FIFO would hold the transfer until something writes to it; a device has no end.
  if (!S_ISREG(info.st_mode)) return path + ": not a regular file";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return path + ": " + std::strerror(errno);
  close(fd);
  return {};
}

std::string portProblem(const std::string& typed, int error) {
  const std::string device = dil::systemPortName(typed);
  std::string group = "dialout";
  struct stat info {};
  if (stat(device.c_str(), &info) == 0) {
    if (const struct group* owner = getgrgid(info.st_gid); owner != nullptr && owner->gr_gid != 0)
      group = owner->gr_name;
  }
  return portProblemText(device == typed ? typed : typed + " (" + device + ")", error, group);
}

std::string portProblemText(const std::string& device, int error, const std::string& group) {
  switch (error) {
    case 0:
      return device + ": could not be opened";
    case EACCES:
    case EPERM:
      return device + ": " + std::strerror(error) + " (your user needs to be in the group '" + group +
             "': sudo usermod -aG " + group + " $USER, then log in again)";
    case EBUSY:
      return device + ": in use by another program";
    case ENOTTY:
      return device + ": not a serial port";
    default:
      return device + ": " + std::strerror(error);
  }
}

}  // namespace skiff::cli
