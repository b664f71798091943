#include "newton/roles.h"

namespace skiff::newton {

int runDockRole(NewtonStream& stream, const RoleArgs&) {
  stream.log("dock: not available yet");
  return 2;
}

std::string dockRoleUsage() { return "  dock --out DIR   (not available yet)\n"; }

}  // namespace skiff::newton
