// skiff install: the Download Package command without its dialogs. The package on the command line is the
// choice; port, speed and background-time mode come from skiff.cfg unless given here.
#include <cstdio>
#include <string>

#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/os_reasons.h"
#include "package/package_command.h"
#include "ui/texts.h"

namespace skiff::cli {

int cmdInstall(int argc, char** argv) {
  const auto taken = takeCommandLine(Command::Install, argc, argv);
  if (const int* exitCode = std::get_if<int>(&taken)) return *exitCode;
  const CommandLine& line = std::get<CommandLine>(taken);

  AppState app;
  if (!chooseSettings(Command::Install, line, app.settings)) return 2;
  // Options hold for this run only; the file keeps its settings.
  if (line.baud) app.settings.packageBaud = *line.baud;
  if (line.moreBackgroundTime) app.settings.moreBackgroundTime = 1;
  if (!isPackageSpeed(app.settings.packageBaud)) {
    complain(Command::Install, "skiff.cfg holds the package speed " + std::to_string(app.settings.packageBaud) +
                                   "; the package speed is 38400, 9600 or 2400 (give --baud N)");
    return 2;
  }

  const std::string& package = line.operands.front();
  if (const std::string problem = fileProblem(package); !problem.empty()) {
    complain(Command::Install, problem);
    return 1;
  }

  const CommandOutcome outcome = runTerminalCommand(
      app, {line.window,
            [&](TerminalShell& shell) {
              OpenFileResult chosen;
              chosen.buffer = package;
              chosen.fileOffset = package.find_last_of('/') + 1;  // 0 when there is no folder
              chosen.title = package.substr(chosen.fileOffset);
              shell.setSelection(chosen);
            },
            runPackageCommand, line.compress});
  explainPortFailure(Command::Install, outcome.result, app.settings.portName);
  const int exitCode = exitCodeFor(outcome, outcome.stopped || app.abortRequested, false);
  if (exitCode == 0) std::printf("%s\n", LoadText(TextId::TransferCompleted).c_str());
  return exitCode;
}

}  // namespace skiff::cli
