// The Download command: choose files, classify them, connect, and send each through the transfer session.
#pragma once

#include <cstdint>

#include "app/shell_ops.h"

namespace skiff {

// Returns 0, or a link status code for the main window's "Error -- " report.
std::int32_t runDownloadCommand(Runtime& rt);

}  // namespace skiff
