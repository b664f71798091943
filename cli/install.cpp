// skiff install: the Download Package command without its dialogs. The package on the command line is the
// choice; port, speed and background-time mode come from skiff.cfg unless given here.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "cli/commands.h"
#include "cli/terminal_command.h"
#include "package/package_command.h"
#include "ui/texts.h"

namespace skiff::cli {

namespace {

void installUsage(std::FILE* out) {
  std::fputs(
      "usage: skiff install [--port DEVICE] [--baud 38400|9600|2400] [--more-background-time] PACKAGE\n"
      "Installs a Newton package (.PKG) through the Newton's dock. On the Newton, open the Dock (Connection)\n"
      "and tap Connect when \"Looking for Newton...\" shows; Ctrl-C stops the wait or the transfer.\n\n"
      "  --port DEVICE           the serial device (default: the port in skiff.cfg in the current directory)\n"
      "  --baud N                38400, 9600 or 2400 (default: the package speed in skiff.cfg, else 38400)\n"
      "  --more-background-time  send in small pieces (slower; default: as in skiff.cfg)\n\n"
      "Exit code 0 when the Newton installed the package; 1 on any failure (the reason is printed), 130 when\n"
      "stopped.\n",
      out);
}

std::size_t nameOffset(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

int cmdInstall(int argc, char** argv) {
  std::string port;
  long baud = 0;
  bool moreBackgroundTime = false;
  std::string package;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      installUsage(stdout);
      return 0;
    }
    if (arg == "--more-background-time") {
      moreBackgroundTime = true;
      continue;
    }
    if (arg == "--port" || arg == "--baud") {
      if (++i >= argc) {
        std::fprintf(stderr, "skiff install: %s needs a value\n", arg.c_str());
        installUsage(stderr);
        return 2;
      }
      if (arg == "--port") {
        port = argv[i];
        continue;
      }
      char* end = nullptr;
      baud = std::strtol(argv[i], &end, 10);
      if (*end != '\0' || (baud != 38400 && baud != 9600 && baud != 2400)) {
        std::fprintf(stderr, "skiff install: the package speed is 38400, 9600 or 2400, not '%s'\n", argv[i]);
        return 2;
      }
      continue;
    }
    if (arg == "--" && i + 1 < argc && package.empty()) {
      package = argv[++i];
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "skiff install: unknown option '%s'\n", arg.c_str());
      installUsage(stderr);
      return 2;
    }
    if (!package.empty()) {
      std::fputs("skiff install: one package at a time\n", stderr);
      return 2;
    }
    package = arg;
  }
  if (package.empty()) {
    installUsage(stderr);
    return 2;
  }

  AppState app;
  LoadSettings(app.settings);
  // Options hold for this run only; the file keeps its settings.
  if (!port.empty()) app.settings.portName = port;
  if (baud != 0) app.settings.packageBaud = static_cast<std::int32_t>(baud);
  if (moreBackgroundTime) app.settings.moreBackgroundTime = 1;
  const CommandOutcome outcome = runTerminalCommand(
      app,
      [&](TerminalShell& shell) {
        OpenFileResult chosen;
        chosen.buffer = package;
        chosen.fileOffset = nameOffset(package);
        chosen.title = package.substr(chosen.fileOffset);
        shell.setSelection(chosen);
      },
      runPackageCommand);

  if (outcome.result != 0 || outcome.messagesShown > 0) return 1;
  if (outcome.stopped || app.abortRequested) {
    std::fprintf(stderr, "%s\n", LoadText(11).c_str());
    return 130;
  }
  std::printf("%s\n", LoadText(39).c_str());
  return 0;
}

}  // namespace skiff::cli
