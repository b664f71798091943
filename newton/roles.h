// newton/: the simulated Newton (newton-sim) that the tests and demos talk to.
//
// The applications a simulated Newton can play once the link is up. Each returns the process exit code.
#pragma once

#include <string>
#include <vector>

#include "newton/newton_stream.h"

namespace skiff::newton {

// Arguments after the role name, e.g. {"--out", "DIR", "--reply-no", "3"}.
using RoleArgs = std::vector<std::string>;

// A role's result asking newton-sim to call the desktop once more (after a fault on the first connection).
inline constexpr int kRoleCallAgain = 100;

int runCompanionRole(NewtonStream& stream, const RoleArgs& args);  // the companion application
int runDockRole(NewtonStream& stream, const RoleArgs& args);       // the dock, for package loading
int runBackupRole(NewtonStream& stream, const RoleArgs& args);     // the dock of a Newton OS 2.x Newton to back up
// Usage lines of each role, for newton-sim --help.
std::string companionRoleUsage();
std::string dockRoleUsage();

}  // namespace skiff::newton
