// The one option parser of the three commands: every value is checked here, before anything is opened.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skiff::cli {

enum class Command { Listen, Send, Install, Backup, Export, Import, Keyboard };

struct CommandLine {
  std::string port;                      // --port DEVICE or tcp:[HOST:]PORT; empty when not given
  std::optional<int> baud;               // --baud N
  std::optional<double> timeoutSeconds;  // --timeout SECONDS
  int window = 1;                        // --window N
  int frameGapChars = 8;                 // --frame-gap CHARS
  bool hardwareFlowControl = false;      // --rtscts
  bool moreBackgroundTime = false;       // --more-background-time
  bool compress = false;                 // --compress
  std::string passwordFile;              // --password-file FILE
  bool list = false;                     // --list
  bool full = false;                     // --full
  std::string rawDir;                    // export --raw DIR
  std::string toDir;                     // export --to DIR
  std::optional<long> run;               // export --run N
  bool help = false;                     // --help, -h
  bool version = false;                  // --version
  std::vector<std::string> operands;     // the files, as typed
};

struct ParsedCommandLine {
  CommandLine line;
  std::string error;  // why the command line is refused, e.g. "--port needs a value"; empty when it is good
};

// `args` are the words after the command's name. Options may come as "--name value" or "--name=value"; "--"
// ends them.
ParsedCommandLine parseCommandLine(Command command, const std::vector<std::string>& args);

// "listen", "send", "install", "backup", "export", "import", "keyboard".
const char* commandName(Command command);
// The text of 'skiff COMMAND --help'.
const char* usageText(Command command);

// What is wrong with a port name, "tcp:99999: the port is a number from 0 to 65535: ..."; empty when it can be
// tried (a device path is only known to be wrong once it is opened).
std::string portNameProblem(const std::string& portName);

// The port for this run: --port, else $SKIFF_PORT, else the one skiff.cfg holds (its field may be padded
// with NULs). Empty when none of them names one.
std::string chosenPort(const std::string& option, const char* environment, const std::string& fromSettings);

// The speeds `skiff install --baud` takes: the three package speeds of skiff.cfg and the Windows program, and the
// higher ones a Newton with a speed extension docks at.
bool isInstallSpeed(long baud);

}  // namespace skiff::cli
