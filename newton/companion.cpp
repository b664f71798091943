#include "newton/roles.h"

namespace skiff::newton {

int runCompanionRole(NewtonStream& stream, const RoleArgs&) {
  stream.log("companion: not available yet");
  return 2;
}

std::string companionRoleUsage() { return "  companion --out DIR   (not available yet)\n"; }

}  // namespace skiff::newton
