// skiff import: text files into the Notes of a Newton OS 2.x Newton, no companion application needed. Every file
// is checked before the port opens; each note is reported as the Newton answers it.
#include <cstdio>
#include <string>

#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/file_checks.h"
#include "cli/secure_command.h"
#include "core/connect.h"
#include "dock/result.h"
#include "import/import_run.h"
#include "import/text_file.h"

namespace skiff::cli {

namespace {

constexpr Command kImport = Command::Import;

// "letter.txt: note 17", "long.txt (2): refused by the Newton: -10617 (store full)".
std::string noteLine(const import::NoteResult& note) {
  const std::string name = note.path + (note.number > 1 ? " (" + std::to_string(note.number) + ")" : "");
  if (note.id) return name + ": note " + std::to_string(*note.id);
  if (!note.problem.empty()) return name + ": not imported: " + note.problem;
  return name + ": refused by the Newton: " + dock::resultText(note.refusal);
}

// "Imported 5 notes from 3 files." or "Imported 4 of 5 notes from 3 files; 1 refused by the Newton."
std::string importSummary(const import::ImportOutcome& outcome, std::size_t files) {
  std::size_t imported = 0, refused = 0;
  for (const auto& note : outcome.notes) {
    imported += note.imported() ? 1 : 0;
    refused += note.refusal != 0 ? 1 : 0;
  }
  const auto plural = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string text = "Imported ";
  if (imported != outcome.notes.size()) text += std::to_string(imported) + " of ";
  text += plural(outcome.notes.size(), "note", "notes") + " from " + plural(files, "file", "files");
  if (refused > 0) text += "; " + std::to_string(refused) + " refused by the Newton";
  return text + ".";
}

// The end of an import in words, on stderr; the exit code.
int tellTheEnd(const import::ImportOutcome& outcome, bool stopped) {
  using import::ImportEnd;
  switch (outcome.end) {
    case ImportEnd::Completed:
      return import::everyNoteImported(outcome) ? 0 : 1;
    case ImportEnd::PasswordRejected:
      std::fprintf(stderr, "%s\n", kPasswordMismatch);
      return 1;
    case ImportEnd::OldNewton:
      std::fprintf(stderr, "%s\n", kOldNewton);
      return 1;
    case ImportEnd::NoNotesSoup:
      complain(kImport, outcome.problem + ": " + dock::resultText(outcome.code));
      return 1;
    case ImportEnd::NewtonCancelled:
      std::fprintf(stderr, "The Newton cancelled the import; the notes it answered are there\n");
      return 1;
    case ImportEnd::Stopped:
      std::fprintf(stderr, "Stopped; the notes the Newton answered are there\n");
      return 130;
    case ImportEnd::LinkLost:
      if (!outcome.problem.empty()) complain(kImport, outcome.problem);
      return stopped ? 130 : 1;
  }
  return 1;
}

}  // namespace

int cmdImport(int argc, char** argv) {
  const auto taken = takeCommandLine(kImport, argc, argv);
  if (const int* exitCode = std::get_if<int>(&taken)) return *exitCode;
  const CommandLine& line = std::get<CommandLine>(taken);

  AppState app;
  std::string password;
  if (!prepareSecureCommand(kImport, line, app, &password)) return 2;

  import::ImportJob job;
  job.password = password;
  int refusedFiles = 0;
  import::TextFileCheck checked;
  const auto textCheck = [&](const std::string& path) {
    checked = import::checkTextFile(path);
    return checked.problem;
  };
  takeFilesThatMayGo(kImport, line.operands, textCheck, refusedFiles,
                     [&](const std::string& path) { job.files.push_back({path, checked.encoding}); });
  if (job.files.empty()) return 1;

  TerminalShell* terminal = nullptr;
  job.onNote = [&](const import::NoteResult& note) {
    if (terminal) terminal->endStatusLine();
    std::printf("%s\n", noteLine(note).c_str());
    std::fflush(stdout);
  };

  import::ImportOutcome result;
  bool ran = false;
  TerminalCommand command;
  command.link = linkTuning(line);
  command.callWatch = CallWatch(app.settings.packageBaud, line.baud.has_value());
  command.prepare = [&](TerminalShell& shell) { terminal = &shell; };
  command.run = [&](Runtime& rt) {
    bool connected = false;
    const SessionRun session = runConnected(rt, ConnectionPlan{app.settings.packageBaud, 1}, connected, [&] {
      ran = true;
      return import::runImport(rt, job, result);
    });
    if (!session.ended) return session.result;
    return session.ended->how == Connection::Stopped ? 0 : session.ended->code;
  };
  const CommandOutcome outcome = runTerminalCommand(app, command);
  explainPortFailure(kImport, outcome.result, app.settings.portName, outcome.portError);
  const bool stopped = outcome.stopped || app.abortRequested;
  if (!ran) return exitCodeFor(outcome, stopped, true);
  const int exitCode = tellTheEnd(result, stopped);
  if (!result.notes.empty()) std::printf("%s\n", importSummary(result, job.files.size()).c_str());
  if (outcome.result != 0) return 1;
  return exitCode == 0 && refusedFiles > 0 ? 1 : exitCode;
}

}  // namespace skiff::cli
