// skiff install: the Download Package command without its dialogs, for any number of packages over one
// connection. Port, speed and background-time mode come from skiff.cfg unless given here.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/batch_summary.h"
#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/file_checks.h"
#include "core/texts.h"
#include "package/package_command.h"

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
  if (!isPackageSpeed(app.settings.packageBaud) && !line.baud) {
    complain(Command::Install, "skiff.cfg holds the package speed " + std::to_string(app.settings.packageBaud) +
                                   "; the package speed is 38400, 9600 or 2400 (give --baud N)");
    return 2;
  }

  // Only packages go.
  PackageBatch batch;
  batch.streamAhead = true;
  int refusedFiles = 0;
  const auto packageCheck = [](const std::string& path) { return packageProblem(path, firstBytes(path, 8)); };
  takeFilesThatMayGo(Command::Install, line.operands, packageCheck, refusedFiles,
                     [&](const std::string& path) { batch.packages.push_back({path, baseName(path)}); });
  if (batch.packages.empty()) return 1;

  TerminalShell* terminal = nullptr;
  // In a batch each installed package is said as it ends; a refusal is reported by the engine.
  batch.onOutcome = [&](std::size_t index, const PackageOutcome& outcome) {
    if (batch.packages.size() < 2 || outcome.fate != PackageFate::Installed) return;
    if (terminal) terminal->endStatusLine();
    std::printf("%s: installed.\n", batch.packages[index].name.c_str());
    std::fflush(stdout);
  };

  const auto start = std::chrono::steady_clock::now();
  TerminalCommand command;
  command.link = linkTuning(line);
  command.callWatch = CallWatch(app.settings.packageBaud, line.baud.has_value());
  command.prepare = [&](TerminalShell& shell) { terminal = &shell; };
  command.run = [&](Runtime& rt) { return runPackageBatchCommand(rt, batch); };
  const CommandOutcome outcome = runTerminalCommand(app, command);
  explainPortFailure(Command::Install, outcome.result, app.settings.portName, outcome.portError);
  const int exitCode = exitCodeFor(outcome, outcome.stopped || app.abortRequested, refusedFiles > 0);
  if (exitCode == 0) std::printf("%s\n", LoadText(TextId::TransferCompleted).c_str());

  InstallFigures figures;
  figures.named = static_cast<int>(line.operands.size());
  std::vector<std::string> notSent;
  for (std::size_t i = 0; i < batch.packages.size(); ++i) {
    const PackageOutcome& outcome = batch.outcomes.at(i);
    if (outcome.fate == PackageFate::Installed) {
      ++figures.installed;
      figures.bytes += outcome.bytes;
    }
    if (outcome.fate == PackageFate::Refused) ++figures.refused;
    // Nothing is said of a package the user stopped or the link lost: it was named as it started, and its
    // failure was reported.
    if (outcome.fate == PackageFate::NotSent && batch.packages.size() > 1) notSent.push_back(batch.packages[i].name);
  }
  if (!notSent.empty() && app.batch.fileNumber > 0) std::fprintf(stderr, "%s\n", notSentLine(notSent).c_str());
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s\n", installSummary(figures).c_str());
  return exitCode;
}

}  // namespace skiff::cli
