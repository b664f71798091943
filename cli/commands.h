// cli/: the terminal front end (`skiff`), a skin over the engines like the Windows program.
//
// The subcommands of the native front end; each returns the process exit code.
#pragma once

namespace skiff::cli {

int cmdListen(int argc, char** argv);
int cmdSend(int argc, char** argv);
int cmdInstall(int argc, char** argv);
int cmdBackup(int argc, char** argv);
int cmdExport(int argc, char** argv);
int cmdImport(int argc, char** argv);
int cmdKeyboard(int argc, char** argv);

}  // namespace skiff::cli
