// The Download Package command: choose one package, connect at the package speed, load it through the dock.
#pragma once

#include <cstdint>

#include "app/shell_ops.h"

namespace skiff {

// Returns 0, or a link status code for the main window's "Error -- " report.
std::int32_t runPackageCommand(Runtime& rt);

}  // namespace skiff
