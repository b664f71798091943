// skiff send: the Download command without its dialogs. The files on the command line are the selection.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "cli/commands.h"
#include "cli/terminal_command.h"
#include "transfer/download_command.h"
#include "ui/texts.h"

namespace skiff::cli {

namespace {

void sendUsage(std::FILE* out) {
  std::fputs(
      "usage: skiff send [--port DEVICE] FILE...\n"
      "Sends notes (text), pictures (.PIC), bitmaps (.BMP) and packages (.PKG) to Skiff's companion application\n"
      "on the Newton, all over one connection. Start the companion on the Newton and tap connect when\n"
      "\"Looking for Newton...\" shows; Ctrl-C stops the wait.\n\n"
      "  --port DEVICE  the serial device (default: the port in skiff.cfg in the current directory)\n",
      out);
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int cmdSend(int argc, char** argv) {
  std::string port;
  DownloadSelection selection;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      sendUsage(stdout);
      return 0;
    }
    if (std::strcmp(arg, "--port") == 0) {
      if (++i >= argc) {
        sendUsage(stderr);
        return 2;
      }
      port = argv[i];
      continue;
    }
    if (std::strcmp(arg, "--") == 0) {
      for (++i; i < argc; ++i) selection.files.push_back({argv[i], baseName(argv[i])});
      break;
    }
    if (arg[0] == '-' && arg[1] != '\0') {
      std::fprintf(stderr, "skiff send: unknown option '%s'\n", arg);
      sendUsage(stderr);
      return 2;
    }
    selection.files.push_back({arg, baseName(arg)});
  }
  if (selection.files.empty()) {
    sendUsage(stderr);
    return 2;
  }
  selection.several = selection.files.size() > 1;

  AppState app;
  LoadSettings(app.settings);
  if (!port.empty()) app.settings.portName = port;  // for this run only; the file keeps its port
  const CommandOutcome outcome =
      runTerminalCommand(app, nullptr, [&](Runtime& rt) { return runDownloadSelection(rt, selection); });

  if (outcome.result != 0) return 1;
  if (outcome.stopped) {
    if (outcome.messagesShown == 0) std::fprintf(stderr, "%s\n", LoadText(11).c_str());
    return 130;
  }
  return outcome.messagesShown > 0 ? 1 : 0;  // a report for any file of the batch is a failure
}

}  // namespace skiff::cli
