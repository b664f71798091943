#include "cli/secure_command.h"

#include "cli/command_run.h"
#include "cli/password_file.h"

namespace skiff::cli {

bool prepareSecureCommand(Command command, const CommandLine& line, AppState& app, std::string* password) {
  if (!line.passwordFile.empty()) {
    std::string problem;
    if (!readPasswordFile(line.passwordFile, password, &problem)) {
      complain(command, problem);
      return false;
    }
  }
  if (!chooseSettings(command, line, app.settings)) return false;
  if (line.baud) app.settings.packageBaud = *line.baud;
  if (!isInstallSpeed(app.settings.packageBaud)) {
    complain(command, "skiff.cfg holds the package speed " + std::to_string(app.settings.packageBaud) +
                          "; give --baud N");
    return false;
  }
  return true;
}

}  // namespace skiff::cli
