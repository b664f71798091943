#include "cli/options.h"

#include <cmath>
#include <cstdlib>

#include "core/settings.h"
#include "dil/serial.h"
#include "dil/tcp_address.h"

namespace skiff::cli {

namespace {

constexpr unsigned bit(Command command) { return 1u << static_cast<unsigned>(command); }
// The commands that open a link to the Newton, and the one that reads an archive (none of the link's options).
// The 2.x dock session's commands check the Newton's password.
constexpr unsigned kSecure = bit(Command::Backup) | bit(Command::Import) | bit(Command::Keyboard);
constexpr unsigned kDock = bit(Command::Install) | kSecure;  // the commands of the Newton's dock
constexpr unsigned kLink = bit(Command::Listen) | bit(Command::Send) | kDock;
constexpr unsigned kExport = bit(Command::Export);
constexpr unsigned kEvery = kLink | kExport;

// A whole number written in plain digits, within [low, high].
std::optional<long> wholeNumber(const std::string& text, long low, long high) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return {};
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value < low || value > high) return {};
  return value;
}

using Apply = std::string (*)(CommandLine&, const std::string&);

struct OptionRule {
  const char* name;
  unsigned commands;  // the commands that take it
  bool takesValue;
  Apply apply;        // checks the value and stores it; the error text, or empty
};

std::string applyPort(CommandLine& line, const std::string& value) {
  if (std::string problem = portNameProblem(value); !problem.empty()) return "--port " + problem;
  line.port = value;
  return {};
}

std::string applyLineSpeed(CommandLine& line, const std::string& value) {
  const auto baud = wholeNumber(value, 1, 99'999'999);
  if (!baud || !dil::baudSupported(static_cast<int>(*baud)))
    return "--baud " + value + " is not a speed the serial port supports (the Newton's is 38400)";
  line.baud = static_cast<int>(*baud);
  return {};
}

std::string applyPackageSpeed(CommandLine& line, const std::string& value) {
  const auto baud = wholeNumber(value, 1, 99'999'999);
  if (!baud || !isInstallSpeed(*baud))
    return "the package speed is 230400, 115200, 57600, 38400, 9600 or 2400, not '" + value + "'";
  if (!dil::baudSupported(static_cast<int>(*baud)))
    return "--baud " + value + " is not a speed this system's serial ports support";
  line.baud = static_cast<int>(*baud);
  return {};
}

std::string applyFrameGap(CommandLine& line, const std::string& value) {
  const auto chars = wholeNumber(value, 0, 1000);
  if (!chars) return "--frame-gap is a number of character times from 0 to 1000, not '" + value + "'";
  line.frameGapChars = static_cast<int>(*chars);
  return {};
}

std::string applyHardwareFlowControl(CommandLine& line, const std::string&) {
  line.hardwareFlowControl = true;
  return {};
}

std::string applyTimeout(CommandLine& line, const std::string& value) {
  char* end = nullptr;
  const double seconds = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e9)
    return "--timeout needs a number of seconds above 0, not '" + value + "'";
  line.timeoutSeconds = seconds;
  return {};
}

std::string applyWindow(CommandLine& line, const std::string& value) {
  const auto window = wholeNumber(value, 1, 8);
  if (!window) return "--window is a number of frames from 1 to 8, not '" + value + "'";
  line.window = static_cast<int>(*window);
  return {};
}

std::string applyMoreBackgroundTime(CommandLine& line, const std::string&) {
  line.moreBackgroundTime = true;
  return {};
}
std::string applyCompress(CommandLine& line, const std::string&) {
  line.compress = true;
  return {};
}
std::string applyPasswordFile(CommandLine& line, const std::string& value) {
  line.passwordFile = value;
  return {};
}
std::string applyList(CommandLine& line, const std::string&) {
  line.list = true;
  return {};
}
std::string applyFull(CommandLine& line, const std::string&) {
  line.full = true;
  return {};
}
std::string applyRawDir(CommandLine& line, const std::string& value) {
  if (!line.toDir.empty()) return "--raw and --to cannot go together: the raw export is a folder of its own";
  line.rawDir = value;
  return {};
}
std::string applyToDir(CommandLine& line, const std::string& value) {
  if (!line.rawDir.empty()) return "--raw and --to cannot go together: the raw export is a folder of its own";
  line.toDir = value;
  return {};
}
std::string applyRun(CommandLine& line, const std::string& value) {
  const auto run = wholeNumber(value, 1, 999'999'999);
  if (!run) return "--run is the number of a run of the archive (1, 2, ...), not '" + value + "'";
  line.run = *run;
  return {};
}
std::string applyHelp(CommandLine& line, const std::string&) {
  line.help = true;
  return {};
}
std::string applyVersion(CommandLine& line, const std::string&) {
  line.version = true;
  return {};
}

constexpr OptionRule kRules[] = {
    {"--port", kLink, true, applyPort},
    {"--baud", bit(Command::Listen), true, applyLineSpeed},
    {"--baud", kDock, true, applyPackageSpeed},
    {"--timeout", bit(Command::Listen), true, applyTimeout},
    {"--window", bit(Command::Send) | kDock, true, applyWindow},
    {"--frame-gap", kLink, true, applyFrameGap},
    {"--rtscts", kLink, false, applyHardwareFlowControl},
    {"--more-background-time", bit(Command::Install), false, applyMoreBackgroundTime},
    {"--compress", bit(Command::Send) | kDock, false, applyCompress},
    {"--password-file", kSecure, true, applyPasswordFile},
    {"--list", bit(Command::Backup), false, applyList},
    {"--full", bit(Command::Backup), false, applyFull},
    {"--raw", kExport, true, applyRawDir},
    {"--to", kExport, true, applyToDir},
    {"--run", kExport, true, applyRun},
    {"--help", kEvery, false, applyHelp},
    {"-h", kEvery, false, applyHelp},
    {"--version", kEvery, false, applyVersion},
};

const OptionRule* ruleFor(Command command, const std::string& name) {
  for (const auto& rule : kRules)
    if (name == rule.name && (rule.commands & bit(command)) != 0) return &rule;
  return nullptr;
}

// What the command needs besides its options; the error text, or empty.
std::string checkOperands(Command command, const std::vector<std::string>& operands) {
  switch (command) {
    case Command::Listen:
      if (!operands.empty()) return "unexpected argument '" + operands.front() + "'";
      return {};
    case Command::Send:
      if (operands.empty()) return "no file to send";
      return {};
    case Command::Install:
      if (operands.empty()) return "no package to install";
      return {};
    case Command::Backup:
      if (operands.size() > 1) return "one archive at a time: unexpected argument '" + operands[1] + "'";
      return {};
    case Command::Export:
      if (operands.empty()) return "no archive to export";
      if (operands.size() > 1) return "one archive at a time: unexpected argument '" + operands[1] + "'";
      return {};
    case Command::Import:
      if (operands.empty()) return "no file to import";
      return {};
    case Command::Keyboard:
      if (!operands.empty()) return "unexpected argument '" + operands.front() + "' (the keys come from standard input)";
      return {};
  }
  return {};
}

}  // namespace

ParsedCommandLine parseCommandLine(Command command, const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CommandLine& line = parsed.line;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      line.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionRule* rule = ruleFor(command, name);
    if (rule == nullptr) {
      parsed.error = "unknown option '" + name + "'";
      return parsed;
    }
    std::string value;
    if (rule->takesValue) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      }
      if (value.empty()) {
        parsed.error = name + " needs a value";
        return parsed;
      }
    } else if (equals != std::string::npos) {
      parsed.error = name + " takes no value";
      return parsed;
    }
    if (std::string error = rule->apply(line, value); !error.empty()) {
      parsed.error = std::move(error);
      return parsed;
    }
  }
  if (!line.help && !line.version) parsed.error = checkOperands(command, line.operands);
  if (parsed.error.empty() && line.list && line.operands.empty()) parsed.error = "--list needs the archive to list";
  return parsed;
}

const char* commandName(Command command) {
  switch (command) {
    case Command::Listen: return "listen";
    case Command::Send: return "send";
    case Command::Install: return "install";
    case Command::Backup: return "backup";
    case Command::Export: return "export";
    case Command::Import: return "import";
    case Command::Keyboard: return "keyboard";
  }
  return "";
}

const char* usageText(Command command) {
  switch (command) {
    case Command::Listen:
      return "usage: skiff listen [--port DEVICE] [--baud N] [--timeout SECONDS] [--rtscts] [--frame-gap CHARS]\n"
             "Checks the connection to a Newton: opens the serial port, waits until the Newton calls (tap Connect\n"
             "on the Newton), accepts it, reports the connection and disconnects again. Ctrl-C stops the wait.\n\n"
             "  --port DEVICE      the serial port: a device path such as /dev/ttyUSB0, or COM1 to COM4\n"
             "                     (default: $SKIFF_PORT, else the port in skiff.cfg here, else COM1); or\n"
             "                     tcp:[HOST:]PORT to listen for the Newton emulator or a Newton on the network\n"
             "  --baud N           line speed in bit/s, one the serial port supports (default 38400, the\n"
             "                     Newton's built-in serial speed); on a tcp: port it only sets the timers\n"
             "  --timeout SECONDS  give up when no Newton called in this time (default: wait for ever)\n"
             "  --rtscts           RTS/CTS hardware flow control, for a cable and adapter that carry the\n"
             "                     handshake lines (default: none)\n"
             "  --frame-gap CHARS  quiet line after each frame, in character times (default 8)\n"
             "  --help, --version\n\n"
             "Exit code 0 when the Newton connected; 1 on a failure (the reason is printed); 130 when stopped.\n";
    case Command::Send:
      return "usage: skiff send [--port DEVICE] [--window N] [--rtscts] [--frame-gap CHARS] [--compress] FILE...\n"
             "Sends notes (text), pictures (.PIC), bitmaps (.BMP) and packages (.PKG) to Skiff's companion\n"
             "application on the Newton, all over one connection. Start the companion on the Newton and tap\n"
             "connect when \"Looking for Newton...\" shows. Ctrl-C stops the wait; during a transfer the first\n"
             "Ctrl-C asks to stop and a second one quits at once.\n\n"
             "  --port DEVICE  the serial device (default: $SKIFF_PORT, else the port in skiff.cfg here, else COM1),\n"
             "                 or tcp:[HOST:]PORT to listen for the Newton emulator on TCP\n"
             "  --window N     offer the Newton a window of N frames, 1 to 8 (default 1); more can be faster\n"
             "  --rtscts       RTS/CTS hardware flow control (default: none)\n"
             "  --frame-gap CHARS  quiet line after each frame, in character times (default 8)\n"
             "  --compress     accept the V.42bis compression the Newton offers (default: none)\n"
             "  --help, --version\n\n"
             "Exit code 0 when every file went through whole; 1 when any did not (each is reported); 130 when\n"
             "stopped.\n";
    case Command::Install:
      return "usage: skiff install [--port DEVICE] [--baud 38400|9600|2400|57600|115200|230400]\n"
             "                     [--more-background-time] [--window N] [--rtscts] [--frame-gap CHARS] [--compress]\n"
             "                     PACKAGE...\n"
             "Installs Newton packages (.PKG) through the Newton's dock, all over one connection, in the order\n"
             "given. On the Newton, open the Dock (Connection) and tap Connect when \"Looking for Newton...\"\n"
             "shows; Ctrl-C stops the wait or the transfer (after the current chunk), and a second Ctrl-C quits at\n"
             "once.\n\n"
             "  --port DEVICE           the serial device (default: $SKIFF_PORT, else the port in skiff.cfg here,\n"
             "                          else COM1), or tcp:[HOST:]PORT to listen for the Newton emulator or a\n"
             "                          Newton on the network (tcp:0.0.0.0:3679)\n"
             "  --baud N                38400, 9600 or 2400 (default: the package speed in skiff.cfg, else 38400);\n"
             "                          57600, 115200 or 230400 where the Newton has a speed extension (its\n"
             "                          connection choices then list \"Serial 57600\" and up); on a tcp: port\n"
             "                          it only sets the timers\n"
             "  --more-background-time  send in small pieces (slower; default: as in skiff.cfg)\n"
             "  --window N              offer the Newton a window of N frames, 1 to 8 (default 1); 8 keeps a\n"
             "                          fast line busy behind a USB-serial adapter\n"
             "  --rtscts                RTS/CTS hardware flow control, for a cable and adapter that carry the\n"
             "                          handshake lines (default: none)\n"
             "  --frame-gap CHARS       quiet line after each frame, in character times (default 8)\n"
             "  --compress              accept the V.42bis compression the Newton offers (default: none)\n"
             "  --help, --version\n\n"
             "Exit code 0 when the Newton installed every package; 1 on any failure (each is reported, and a\n"
             "package the Newton refuses does not stop the rest); 130 when stopped.\n";
    case Command::Backup:
      return "usage: skiff backup [--port DEVICE] [--baud N] [--window N] [--rtscts] [--frame-gap CHARS]\n"
             "                    [--compress] [--password-file FILE] [--full] [ARCHIVE]\n"
             "       skiff backup --list ARCHIVE\n"
             "Backs up everything on a Newton OS 2.x Newton: every store (the internal one and each card), every\n"
             "soup and every entry, installed packages included, into ARCHIVE (one file; default: named after the\n"
             "Newton's owner and ID, here). Each soup is kept as soon as it is done, so an interrupted backup loses\n"
             "nothing it had. A backup onto an archive that holds the Newton already asks only for what changed since\n"
             "(and learns what was deleted; the archive keeps every earlier version). On the Newton, open\n"
             "the Dock (Connection) and tap Connect when \"Looking for Newton...\" shows; Ctrl-C stops (the Newton\n"
             "is asked to stop, what is done stays), a second one quits at once.\n\n"
             "  --port DEVICE          the serial device (default: $SKIFF_PORT, else the port in skiff.cfg here,\n"
             "                         else COM1), or tcp:[HOST:]PORT for the Newton emulator or the network\n"
             "  --baud N               as for install: 38400 (default: skiff.cfg's), 9600, 2400, 57600, 115200, 230400\n"
             "  --window N             offer the Newton a window of N frames, 1 to 8 (default 1)\n"
             "  --rtscts               RTS/CTS hardware flow control (default: none)\n"
             "  --frame-gap CHARS      quiet line after each frame, in character times (default 8)\n"
             "  --compress             accept the V.42bis compression the Newton offers (default: none)\n"
             "  --password-file FILE   the Newton's password, the first line of FILE (default: none set); FILE\n"
             "                         must be readable by its owner only\n"
             "  --full                 every entry again, not only the changes (the history is kept either way)\n"
             "  --list                 print ARCHIVE's runs (what each added, changed and deleted) and, per store\n"
             "                         and soup, the entries they hold\n"
             "  --help, --version\n\n"
             "Exit code 0 when every soup was backed up; 1 on any failure (each is reported; a soup the Newton\n"
             "fails on does not stop the rest); 130 when stopped.\n";
    case Command::Export:
      return "usage: skiff export [--run N] [--to DIR] ARCHIVE\n"
             "       skiff export --raw DIR [--run N] ARCHIVE\n"
             "Turns a backup archive into files other programs read, under DIR: notes/ (a text file per note,\n"
             "outlines and checklists as Markdown), names.vcf (vCard 3.0), dates.ics (iCalendar: meetings,\n"
             "repeating meetings with their exceptions, events, to-dos) and packages/ (each package, ready for\n"
             "skiff install). The folder and its files are readable by their owner only.\n\n"
             "  --to DIR   where to write (default: a folder named after the archive, in the current folder)\n"
             "  --run N    the run to export (default: the latest complete one; skiff backup --list lists them)\n"
             "  --raw DIR  write every entry as the Newton sent it instead, as DIR/STORE/SOUP/UNIQUEID.nsof, with\n"
             "             each soup's .info.nsof and .indexes.nsof and each store's .store.nsof (DIR: new or empty)\n"
             "  --help, --version\n\n"
             "Exit code 0 when every entry was exported; 1 when any was not (each is reported with its store,\n"
             "soup and ID, and stays in the archive) or the archive could not be read.\n";
    case Command::Import:
      return "usage: skiff import [--port DEVICE] [--baud N] [--window N] [--rtscts] [--frame-gap CHARS]\n"
             "                    [--compress] [--password-file FILE] FILE...\n"
             "Puts text files into the Notes of a Newton OS 2.x Newton, on its default store, with no application\n"
             "to install: each FILE (UTF-8, with or without a byte-order mark, or Windows-1252; lines ending in LF\n"
             "or CR LF) becomes a note titled with the file's name and dated now; a text longer than 4,000\n"
             "characters becomes several notes, cut at a word, titled \"NAME (2)\" and so on. Each note is\n"
             "reported with the ID the Newton gave it. Every FILE is checked before the port opens. On the\n"
             "Newton, open the Dock (Connection) and tap Connect when \"Looking for Newton...\" shows; Ctrl-C\n"
             "stops after the note under way, a second one quits at once.\n\n"
             "  --port DEVICE          the serial device (default: $SKIFF_PORT, else the port in skiff.cfg here,\n"
             "                         else COM1), or tcp:[HOST:]PORT for the Newton emulator or the network\n"
             "  --baud N               as for install: 38400 (default: skiff.cfg's), 9600, 2400, 57600, 115200, 230400\n"
             "  --window N             offer the Newton a window of N frames, 1 to 8 (default 1)\n"
             "  --rtscts               RTS/CTS hardware flow control (default: none)\n"
             "  --frame-gap CHARS      quiet line after each frame, in character times (default 8)\n"
             "  --compress             accept the V.42bis compression the Newton offers (default: none)\n"
             "  --password-file FILE   the Newton's password, the first line of FILE (default: none set); FILE\n"
             "                         must be readable by its owner only\n"
             "  --help, --version\n\n"
             "Exit code 0 when every file went in whole; 1 on any failure (each is reported; a note the Newton\n"
             "refuses, its store full, does not stop the rest); 130 when stopped.\n";
    case Command::Keyboard:
      return "usage: skiff keyboard [--port DEVICE] [--baud N] [--window N] [--rtscts] [--frame-gap CHARS]\n"
             "                      [--compress] [--password-file FILE]\n"
             "Types on a Newton OS 2.x Newton from this computer's keyboard, wherever its insertion point is. On\n"
             "a terminal the keys go as they are typed: text, Return, Tab, Backspace and the arrows; Alt (or\n"
             "Meta) with a key is the Newton's command key with it; Ctrl-] or Ctrl-C ends, and the terminal is\n"
             "as before. Standard input that is no terminal is typed as it stands (skiff keyboard < letter.txt),\n"
             "each line end as Return. On the Newton, open the Dock (Connection) and tap Connect when \"Looking\n"
             "for Newton...\" shows.\n\n"
             "  --port DEVICE          the serial device (default: $SKIFF_PORT, else the port in skiff.cfg here,\n"
             "                         else COM1), or tcp:[HOST:]PORT for the Newton emulator or the network\n"
             "  --baud N               as for install: 38400 (default: skiff.cfg's), 9600, 2400, 57600, 115200, 230400\n"
             "  --window N             offer the Newton a window of N frames, 1 to 8 (default 1)\n"
             "  --rtscts               RTS/CTS hardware flow control (default: none)\n"
             "  --frame-gap CHARS      quiet line after each frame, in character times (default 8)\n"
             "  --compress             accept the V.42bis compression the Newton offers (default: none)\n"
             "  --password-file FILE   the Newton's password, the first line of FILE (default: none set); FILE\n"
             "                         must be readable by its owner only\n"
             "  --help, --version\n\n"
             "Exit code 0 when everything typed reached the Newton; 1 on a failure; 130 when stopped before the\n"
             "end of standard input.\n";
  }
  return "";
}

std::string portNameProblem(const std::string& portName) {
  std::string why;
  if (dil::isTcpPort(portName) && !dil::parseTcpPort(portName, &why)) return portName + ": " + why;
  return {};
}

bool isInstallSpeed(long baud) {
  return isPackageSpeed(baud) || baud == 57600 || baud == 115200 || baud == 230400;
}

std::string chosenPort(const std::string& option, const char* environment, const std::string& fromSettings) {
  if (!option.empty()) return option;
  if (environment != nullptr && *environment != '\0') return environment;
  return fromSettings.substr(0, fromSettings.find('\0'));
}

}  // namespace skiff::cli
