// Skiff's own link library: serial port, MNP and the pipe states, behind the link operations.
#pragma once

#include <memory>

#include "link/link_ops.h"

namespace skiff {

// The library every front end uses. One instance serves the whole process.
std::unique_ptr<LinkOps> makeDilLink();

}  // namespace skiff
