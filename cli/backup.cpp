// skiff backup: everything on a Newton OS 2.x Newton into one archive file, and --list to see what an archive
// holds. The archive (or, when none is named, the folder it will go in) is checked before the port opens.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "archive/archive.h"
#include "archive/file_checks.h"
#include "backup/backup_run.h"
#include "cli/backup_report.h"
#include "cli/command_run.h"
#include "cli/commands.h"
#include "cli/password_file.h"
#include "core/connect.h"
#include "core/texts.h"

namespace skiff::cli {

namespace {

constexpr Command kBackup = Command::Backup;

// "Ben_Tem-00001234.newton-backup": the owner's name with what a file name should not hold replaced, and the
// Newton's unique ID, so that each Newton has its own archive in a folder.
std::string defaultArchiveName(const dock::NewtonName& name) {
  std::string owner;
  for (const unsigned char c : name.owner) {
    const bool plain = c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       c == '-' || c == '.';
    owner += plain ? static_cast<char>(c) : '_';
    if (owner.size() >= 64) break;
  }
  while (!owner.empty() && owner.front() == '.') owner.erase(owner.begin());
  if (owner.empty()) owner = "Newton";
  char id[16];
  std::snprintf(id, sizeof id, "%08X", name.uniqueId());
  return owner + "-" + id + ".newton-backup";
}

int listArchive(const std::string& path) {
  auto opened = archive::Archive::openForReading(path);
  if (!opened.ok()) {
    complain(kBackup, opened.reason());
    return 1;
  }
  std::fputs(archiveListing(*opened).c_str(), stdout);
  return 0;
}

// The end of a backup in words, on stderr; the exit code.
int tellTheEnd(const backup::BackupOutcome& outcome, bool stopped) {
  using backup::BackupEnd;
  switch (outcome.end) {
    case BackupEnd::Completed:
      break;
    case BackupEnd::PasswordRejected:
      std::fprintf(stderr, "The Newton's password does not match; give it with --password-file\n");
      return 1;
    case BackupEnd::OldNewton:
      std::fprintf(stderr, "This Newton runs Newton OS 1.x, whose dock has no backup of this kind; packages still "
                           "install with skiff install\n");
      return 1;
    case BackupEnd::NewtonCancelled:
      std::fprintf(stderr, "The Newton cancelled the backup; the soups backed up before it are kept\n");
      return 1;
    case BackupEnd::Stopped:
      std::fprintf(stderr, "Stopped; the soups backed up before it are kept\n");
      return 130;
    case BackupEnd::ArchiveFailed:
    case BackupEnd::NoArchive:
      complain(kBackup, outcome.problem);
      return 1;
    case BackupEnd::LinkLost:
      if (!outcome.problem.empty()) complain(kBackup, outcome.problem);
      return stopped ? 130 : 1;
  }
  for (const auto& soup : outcome.soups)
    if (soup.error != 0) return 1;
  return 0;
}

}  // namespace

int cmdBackup(int argc, char** argv) {
  const auto taken = takeCommandLine(kBackup, argc, argv);
  if (const int* exitCode = std::get_if<int>(&taken)) return *exitCode;
  const CommandLine& line = std::get<CommandLine>(taken);
  if (line.list) return listArchive(line.operands.front());

  std::string password;
  if (!line.passwordFile.empty()) {
    std::string problem;
    if (!readPasswordFile(line.passwordFile, &password, &problem)) {
      complain(kBackup, problem);
      return 2;
    }
  }
  AppState app;
  if (!chooseSettings(kBackup, line, app.settings)) return 2;
  if (line.baud) app.settings.packageBaud = *line.baud;
  if (!isInstallSpeed(app.settings.packageBaud)) {
    complain(kBackup, "skiff.cfg holds the package speed " + std::to_string(app.settings.packageBaud) +
                          "; give --baud N");
    return 2;
  }

  // The archive is opened, or its folder checked, before the port opens.
  std::optional<archive::Archive> held;
  if (!line.operands.empty()) {
    auto opened = archive::Archive::open(line.operands.front());
    if (!opened.ok()) {
      complain(kBackup, opened.reason());
      return 1;
    }
    held.emplace(std::move(*opened));
  } else {
    archive::Status folder = archive::checkFolder("./archive", false);
    if (folder.ok()) folder = archive::checkRoom(".", archive::kDefaultRoomBytes);
    if (!folder.ok()) {
      complain(kBackup, folder.reason());
      return 1;
    }
  }

  TerminalShell* terminal = nullptr;
  backup::BackupJob job;
  job.password = password;
  job.full = line.full;
  job.archiveFor = [&](const dock::NewtonName& name) -> archive::Result<archive::Archive*> {
    if (!held) {
      auto opened = archive::Archive::open(defaultArchiveName(name));
      if (!opened.ok()) return opened.failure();
      held.emplace(std::move(*opened));
    }
    for (const std::string& notice : held->notices()) {
      if (terminal) terminal->endStatusLine();
      std::fprintf(stderr, "%s\n", notice.c_str());
    }
    return &*held;
  };
  job.onSoup = [&](const backup::SoupResult& soup) {
    if (terminal) terminal->endStatusLine();
    std::printf("%s\n", soupLine(soup).c_str());
    std::fflush(stdout);
  };

  backup::BackupOutcome result;
  bool ran = false;
  const auto start = std::chrono::steady_clock::now();
  TerminalCommand command;
  command.link = linkTuning(line);
  command.callWatch = CallWatch(app.settings.packageBaud, line.baud.has_value());
  command.prepare = [&](TerminalShell& shell) { terminal = &shell; };
  command.run = [&](Runtime& rt) {
    bool connected = false;
    const SessionRun session = runConnected(rt, ConnectionPlan{app.settings.packageBaud, 1}, connected, [&] {
      ran = true;
      return backup::runBackup(rt, job, result);
    });
    if (!session.ended) return session.result;
    return session.ended->how == Connection::Stopped ? 0 : session.ended->code;
  };
  const CommandOutcome outcome = runTerminalCommand(app, command);
  explainPortFailure(kBackup, outcome.result, app.settings.portName, outcome.portError);
  const bool stopped = outcome.stopped || app.abortRequested;
  if (!ran) return exitCodeFor(outcome, stopped, false);
  const int exitCode = tellTheEnd(result, stopped);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!result.soups.empty() || result.end == backup::BackupEnd::Completed) {
    std::printf("%s\n", backupSummary(result, seconds).c_str());
  }
  if (!result.archivePath.empty()) std::printf("Archive: %s\n", result.archivePath.c_str());
  return outcome.result != 0 ? 1 : exitCode;
}

}  // namespace skiff::cli
