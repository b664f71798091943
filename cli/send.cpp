// skiff send: the Download command without its dialogs. The files on the command line are the selection.
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/batch_summary.h"
#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/file_checks.h"
#include "cli/windows_names.h"
#include "transfer/download_command.h"

namespace skiff::cli {

int cmdSend(int argc, char** argv) {
  const auto taken = takeCommandLine(Command::Send, argc, argv);
  if (const int* exitCode = std::get_if<int>(&taken)) return *exitCode;
  const CommandLine& line = std::get<CommandLine>(taken);

  AppState app;
  if (!chooseSettings(Command::Send, line, app.settings)) return 2;
  // Ctrl-C lets the file being sent finish and starts no further one.
  app.stopBetweenFiles = true;

  // No picture goes without a picture in it.
  DownloadSelection selection;
  selection.several = line.operands.size() > 1;
  int refusedFiles = 0;
  const auto pictureCheck = [](const std::string& path) { return pictureProblem(path, fileSize(path)); };
  takeFilesThatMayGo(Command::Send, line.operands, pictureCheck, refusedFiles, [&](const std::string& path) {
    // The Newton reads names in the Windows character set; one it cannot carry whole is shown as it goes.
    const std::string name = baseName(path);
    bool lossy = false;
    std::string announced = windowsNameFromUtf8(name, &lossy);
    if (lossy) complain(Command::Send, name + ": the Newton gets the name \"" + utf8FromWindowsName(announced) + "\"");
    if (announced == name) announced.clear();
    selection.files.push_back({path, name, announced});
  });

  const auto start = std::chrono::steady_clock::now();
  int exitCode = 1;
  if (!selection.files.empty()) {
    TerminalCommand command;
    command.link = linkTuning(line);
    command.callWatch = CallWatch(kDownloadBaud, false);
    command.run = [&](Runtime& rt) { return runDownloadSelection(rt, selection); };
    const CommandOutcome outcome = runTerminalCommand(app, command);
    explainPortFailure(Command::Send, outcome.result, app.settings.portName, outcome.portError);
    exitCode = exitCodeFor(outcome, outcome.stopped || app.abortRequested, refusedFiles > 0);
    if (!app.batch.notSent.empty()) std::fprintf(stderr, "%s\n", notSentLine(app.batch.notSent).c_str());
  }

  // The summary ends every run, even one in which no file could go.
  SendFigures figures;
  figures.named = static_cast<int>(line.operands.size());
  figures.sent = app.batch.filesSent;
  figures.bytes = app.batch.bytesSent;
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.incomplete = static_cast<int>(app.batch.incomplete.size());
  std::printf("%s\n", sendSummary(figures).c_str());
  return exitCode;
}

}  // namespace skiff::cli
