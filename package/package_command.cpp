#include "package/package_command.h"

namespace skiff {

std::int32_t runPackageCommand(Runtime&) { return 0; }

}  // namespace skiff
