// What the commands of the Newton OS 2.x session (import, keyboard) set up alike before the port opens: the
// password from --password-file, and the settings with the package speed (--baud) checked.
#pragma once

#include <string>

#include "cli/options.h"
#include "core/app_state.h"

namespace skiff::cli {

// False, with the reason printed, when the command ends here (exit code 2).
bool prepareSecureCommand(Command command, const CommandLine& line, AppState& app, std::string* password);

// What the commands say when the session did not open: a wrong password, a Newton OS 1.x Newton.
inline constexpr const char* kPasswordMismatch = "The Newton's password does not match; give it with --password-file";
inline constexpr const char* kOldNewton =
    "This Newton runs Newton OS 1.x, whose dock has no such session; packages still install with skiff install";

}  // namespace skiff::cli
