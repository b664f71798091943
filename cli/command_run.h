// What the three commands share around their engines: the command line taken (help, version and refusals
// printed the same way), the settings and port for this run, the reasons behind a port failure, the exit code.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "cli/options.h"
#include "cli/terminal_command.h"
#include "core/settings.h"

namespace skiff::cli {

// The command line, or the exit code when the command ends here: 0 after --help or --version (printed on
// stdout), 2 when it was refused (the reason on stderr).
std::variant<CommandLine, int> takeCommandLine(Command command, int argc, char** argv);

// The last part of a path: the name reports give a file.
std::string baseName(const std::string& path);

// The link's settings the command line chose: window, frame gap, flow control, compression; and its patience
// with a Newton that does not answer (30 s, counted in time rather than tries).
DilTuning linkTuning(const CommandLine& line);

// Prints "skiff COMMAND: <text>" on stderr.
void complain(Command command, const std::string& text);

// Settings from skiff.cfg in the current directory (a missing file stays missing), with the port this run uses
// (--port, $SKIFF_PORT, skiff.cfg) in settings.portName. False, with the reason printed, when no port is named.
bool chooseSettings(Command command, const CommandLine& line, Settings& settings);

// After a command whose result was `result`: a port that could not be opened is told in one line, the port as
// typed with the system's reason (`systemError`, kept by the link library) and the hint where there is one.
void explainPortFailure(Command command, std::int32_t result, const std::string& port, int systemError);

// 1 when the command failed with a link status; else 130 when the user stopped it (saying so when nothing else
// was said); else 1 when any failure was reported (by the command or, `failedBefore`, before it ran); else 0.
int exitCodeFor(const CommandOutcome& outcome, bool stopped, bool failedBefore);

}  // namespace skiff::cli
