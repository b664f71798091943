// skiff send: the Download command without its dialogs. The files on the command line are the selection.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "cli/batch_summary.h"
#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/file_checks.h"
#include "cli/windows_names.h"
#include "transfer/classify.h"
#include "transfer/download_command.h"

namespace skiff::cli {

namespace {

// A note's UTF-8 text goes in the Windows character set, as its name does (the Windows program sends the bytes
// of a file written in that set); what the set cannot carry goes as "?", and the command says how much. Nothing
// for a file that is no note, is ASCII or is not UTF-8: its own bytes go.
std::optional<std::string> noteForTheNewton(const std::string& path) {
  if (classifyPath(upperCased(path)).kind != kText) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t replaced = 0;
  std::optional<std::string> converted = windowsTextFromUtf8(text, &replaced);
  if (replaced > 0)
    complain(Command::Send, path + ": " + std::to_string(replaced) +
                                (replaced == 1 ? " character the Newton's character set lacks goes"
                                               : " characters the Newton's character set lacks go") +
                                " as \"?\"");
  return converted;
}

}  // namespace

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
    selection.files.push_back({path, name, announced, noteForTheNewton(path)});
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
