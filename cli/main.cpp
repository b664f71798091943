#include <cstdio>
#include <cstring>

#include "cli/commands.h"

namespace {

void usage(std::FILE* out) {
  std::fputs(
      "usage: skiff COMMAND [OPTIONS]\n"
      "Moves files between this computer and a Newton over a serial cable or TCP.\n\n"
      "commands:\n"
      "  listen    check the connection: wait for the Newton, connect, disconnect\n"
      "  send      send notes, pictures, bitmaps and packages to the companion application\n"
      "  install   install a package (.PKG) through the Newton's dock\n"
      "  backup    back up every store, soup and entry of a Newton OS 2.x Newton into an archive file\n"
      "  export    turn a backup archive into notes, vCards, iCalendar and packages\n"
      "  import    put text files into the Notes of a Newton OS 2.x Newton, a note each\n"
      "  keyboard  type on a Newton OS 2.x Newton from this computer's keyboard or standard input\n\n"
      "Run 'skiff COMMAND --help' for the options of a command, 'skiff --version' for the version.\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    usage(stdout);
    return 0;
  }
  if (std::strcmp(command, "--version") == 0) {
    std::printf("skiff %s\n", SKIFF_VERSION);
    return 0;
  }
  if (std::strcmp(command, "listen") == 0) return skiff::cli::cmdListen(argc - 1, argv + 1);
  if (std::strcmp(command, "send") == 0) return skiff::cli::cmdSend(argc - 1, argv + 1);
  if (std::strcmp(command, "install") == 0) return skiff::cli::cmdInstall(argc - 1, argv + 1);
  if (std::strcmp(command, "backup") == 0) return skiff::cli::cmdBackup(argc - 1, argv + 1);
  if (std::strcmp(command, "export") == 0) return skiff::cli::cmdExport(argc - 1, argv + 1);
  if (std::strcmp(command, "import") == 0) return skiff::cli::cmdImport(argc - 1, argv + 1);
  if (std::strcmp(command, "keyboard") == 0) return skiff::cli::cmdKeyboard(argc - 1, argv + 1);
  std::fprintf(stderr, "skiff: unknown command '%s'\n", command);
  usage(stderr);
  return 2;
}
