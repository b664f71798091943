// skiff send: the Download command without its dialogs. The files on the command line are the selection.
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/os_reasons.h"
#include "cli/send_summary.h"
#include "transfer/download_command.h"

namespace skiff::cli {

namespace {

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int cmdSend(int argc, char** argv) {
  const auto taken = takeCommandLine(Command::Send, argc, argv);
  if (const int* exitCode = std::get_if<int>(&taken)) return *exitCode;
  const CommandLine& line = std::get<CommandLine>(taken);

  AppState app;
  if (!chooseSettings(Command::Send, line, app.settings)) return 2;

  // Only regular files this user may read go. Any other is reported by name now, before the link opens, and
  // the rest of the batch still goes.
  DownloadSelection selection;
  selection.several = line.operands.size() > 1;
  int refusedFiles = 0;
  for (const std::string& path : line.operands) {
    if (const std::string problem = fileProblem(path); !problem.empty()) {
      complain(Command::Send, problem);
      ++refusedFiles;
    } else {
      selection.files.push_back({path, baseName(path)});
    }
  }
  if (selection.files.empty()) return 1;

  const auto start = std::chrono::steady_clock::now();
  const CommandOutcome outcome = runTerminalCommand(
      app, {line.window, nullptr, [&](Runtime& rt) { return runDownloadSelection(rt, selection); }, line.compress});
  explainPortFailure(Command::Send, outcome.result, app.settings.portName);
  const int exitCode = exitCodeFor(outcome, outcome.stopped, refusedFiles > 0);

  SendFigures figures;
  figures.named = static_cast<int>(line.operands.size());
  figures.sent = app.download.filesSent;
  figures.bytes = app.download.bytesSent;
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.incomplete = static_cast<int>(app.download.incomplete.size());
  std::printf("%s\n", sendSummary(figures).c_str());
  return exitCode;
}

}  // namespace skiff::cli
