// What the operating system says is wrong with a file to send or with a serial port, in words for the user.
// Each text starts with the name as the user gave it.
#pragma once

#include <string>

namespace skiff::cli {

// Why `path` cannot be sent or installed: only a regular file this user may read can. Empty when it can.
std::string fileProblem(const std::string& path);

// Why the serial port the user typed (a device path, or COM1 to COM4) could not be opened, from the system's
// error the link library kept where the open failed.
std::string portProblem(const std::string& typed, int error);
// The words for `error` (an errno value, or EBUSY when another program holds the port, ENOTTY when it is no
// serial port); `group` owns the device and goes into the hint for a refused permission.
std::string portProblemText(const std::string& device, int error, const std::string& group);

}  // namespace skiff::cli
