// The command line's own decisions: its option parser (good and bad inputs of the three commands), the port a
// run uses, the summary line of skiff send, and the words for a file or port the system refuses.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "cli/options.h"
#include "cli/os_reasons.h"
#include "cli/batch_summary.h"
#include "cli/call_watch.h"
#include "tests/unit/transfer_harness.h"

namespace skiff::cli {
namespace {

struct ParseCase {
  const char* label;
  Command command;
  std::vector<std::string> args;
  std::string error;  // empty: accepted
  std::function<void(const CommandLine&)> check = nullptr;
};

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, AcceptsOrRefusesWithItsReason) {
  const ParseCase& c = GetParam();
  const ParsedCommandLine parsed = parseCommandLine(c.command, c.args);
  EXPECT_EQ(parsed.error, c.error);
  if (c.check && parsed.error.empty()) c.check(parsed.line);
}

const auto kListen = Command::Listen;
const auto kSend = Command::Send;
const auto kInstall = Command::Install;

INSTANTIATE_TEST_SUITE_P(
    Inputs, ParseTable,
    ::testing::Values(
        // --- good ---
        ParseCase{"ListenWithNothing", kListen, {}, "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.port, "");
                    EXPECT_FALSE(l.baud);
                    EXPECT_FALSE(l.timeoutSeconds);
                  }},
        ParseCase{"ListenEverything", kListen, {"--port", "/dev/ttyUSB0", "--baud", "9600", "--timeout", "2.5"}, "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.port, "/dev/ttyUSB0");
                    EXPECT_EQ(l.baud, 9600);
                    EXPECT_EQ(l.timeoutSeconds, 2.5);
                  }},
        ParseCase{"ValuesAfterAnEqualsSign", kListen, {"--port=/dev/ttyS1", "--baud=115200"}, "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.port, "/dev/ttyS1");
                    EXPECT_EQ(l.baud, 115200);
                  }},
        ParseCase{"SendFilesAndWindow", kSend, {"a.txt", "--window", "8", "b.bmp"}, "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.window, 8);
                    EXPECT_EQ(l.operands, (std::vector<std::string>{"a.txt", "b.bmp"}));
                  }},
        ParseCase{"SendWindowDefaultsToOneUncompressed", kSend, {"a.txt"}, "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.window, 1);
                    EXPECT_FALSE(l.compress);
                  }},
        ParseCase{"SendCompressed", kSend, {"--compress", "a.txt"}, "",
                  [](const CommandLine& l) { EXPECT_TRUE(l.compress); }},
        ParseCase{"DoubleDashEndsOptions", kSend, {"--", "--port", "-"}, "",
                  [](const CommandLine& l) { EXPECT_EQ(l.operands, (std::vector<std::string>{"--port", "-"})); }},
        ParseCase{"ALoneDashIsAFile", kSend, {"-"}, "",
                  [](const CommandLine& l) { EXPECT_EQ(l.operands, std::vector<std::string>{"-"}); }},
        ParseCase{"InstallEverything", kInstall,
                  {"--port", "COM2", "--baud", "2400", "--more-background-time", "--window", "3", "--compress", "x.pkg"},
                  "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.port, "COM2");
                    EXPECT_EQ(l.baud, 2400);
                    EXPECT_TRUE(l.moreBackgroundTime);
                    EXPECT_EQ(l.window, 3);
                    EXPECT_TRUE(l.compress);
                  }},
        ParseCase{"TcpPortForANetworkedNewton", kInstall, {"--port", "tcp:0.0.0.0:3679", "x.pkg"}, "",
                  [](const CommandLine& l) { EXPECT_EQ(l.port, "tcp:0.0.0.0:3679"); }},
        ParseCase{"HelpNeedsNoFile", kSend, {"--help"}, "", [](const CommandLine& l) { EXPECT_TRUE(l.help); }},
        ParseCase{"ShortHelp", kInstall, {"-h"}, "", [](const CommandLine& l) { EXPECT_TRUE(l.help); }},
        ParseCase{"VersionOnEach", kListen, {"--version"}, "",
                  [](const CommandLine& l) { EXPECT_TRUE(l.version); }},
        // --- bad: the same form for every command ---
        ParseCase{"ListenPortWithoutValue", kListen, {"--port"}, "--port needs a value"},
        ParseCase{"SendPortWithoutValue", kSend, {"a.txt", "--port"}, "--port needs a value"},
        ParseCase{"InstallPortWithoutValue", kInstall, {"--port"}, "--port needs a value"},
        ParseCase{"EmptyValueAfterEquals", kSend, {"--port=", "a.txt"}, "--port needs a value"},
        ParseCase{"UnknownOption", kSend, {"--fast", "a.txt"}, "unknown option '--fast'"},
        ParseCase{"OptionOfAnotherCommand", kSend, {"--baud", "9600", "a.txt"}, "unknown option '--baud'"},
        ParseCase{"TimeoutIsListensOnly", kInstall, {"--timeout", "3", "x.pkg"}, "unknown option '--timeout'"},
        ParseCase{"ListenDoesNotCompress", kListen, {"--compress"}, "unknown option '--compress'"},
        ParseCase{"FlagWithAValue", kInstall, {"--more-background-time=1", "x.pkg"},
                  "--more-background-time takes no value"},
        ParseCase{"SpeedTheSerialPortLacks", kListen, {"--baud", "12345"},
                  "--baud 12345 is not a speed the serial port supports (the Newton's is 38400)"},
        ParseCase{"SpeedNotANumber", kListen, {"--baud", "fast"},
                  "--baud fast is not a speed the serial port supports (the Newton's is 38400)"},
        ParseCase{"NegativeSpeed", kListen, {"--baud", "-9600"},
                  "--baud -9600 is not a speed the serial port supports (the Newton's is 38400)"},
        ParseCase{"PackageSpeedNotADockingSpeed", kInstall, {"--baud", "19200", "x.pkg"},
                  "the package speed is 230400, 115200, 57600, 38400, 9600 or 2400, not '19200'"},
        ParseCase{"InstallAtSpeedExtensionSpeeds", kInstall, {"--baud", "230400", "a.pkg", "b.pkg", "c.pkg"}, "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.baud, 230400);
                    EXPECT_EQ(l.operands.size(), 3u);
                  }},
        ParseCase{"LineOptions", kSend, {"--rtscts", "--frame-gap", "20", "a.txt"}, "",
                  [](const CommandLine& l) {
                    EXPECT_TRUE(l.hardwareFlowControl);
                    EXPECT_EQ(l.frameGapChars, 20);
                  }},
        ParseCase{"FrameGapOutOfRange", kInstall, {"--frame-gap", "1001", "x.pkg"},
                  "--frame-gap is a number of character times from 0 to 1000, not '1001'"},
        ParseCase{"TimeoutNotANumber", kListen, {"--timeout", "nan"},
                  "--timeout needs a number of seconds above 0, not 'nan'"},
        ParseCase{"TimeoutInfinite", kListen, {"--timeout", "inf"},
                  "--timeout needs a number of seconds above 0, not 'inf'"},
        ParseCase{"TimeoutZero", kListen, {"--timeout", "0"}, "--timeout needs a number of seconds above 0, not '0'"},
        ParseCase{"TimeoutNegative", kListen, {"--timeout", "-1"},
                  "--timeout needs a number of seconds above 0, not '-1'"},
        ParseCase{"TimeoutTrailingJunk", kListen, {"--timeout", "5s"},
                  "--timeout needs a number of seconds above 0, not '5s'"},
        ParseCase{"WindowAboveEight", kSend, {"--window", "9", "a.txt"},
                  "--window is a number of frames from 1 to 8, not '9'"},
        ParseCase{"WindowZero", kInstall, {"--window", "0", "x.pkg"},
                  "--window is a number of frames from 1 to 8, not '0'"},
        ParseCase{"TcpPortBeyondTheLast", kSend, {"--port", "tcp:65536", "a.txt"},
                  "--port tcp:65536: the port is a number from 0 to 65535: tcp:3679 or tcp:HOST:3679"},
        ParseCase{"SendWithoutFiles", kSend, {"--port", "COM1"}, "no file to send"},
        ParseCase{"InstallWithoutPackage", kInstall, {}, "no package to install"},
        ParseCase{"ListenTakesNoFiles", kListen, {"a.txt"}, "unexpected argument 'a.txt'"},
        ParseCase{"ExportARun", Command::Export, {"--run=3", "--to", "out", "n.skiff"}, "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.run, 3);
                    EXPECT_EQ(l.toDir, "out");
                  }},
        ParseCase{"ExportRawAndReadableAtOnce", Command::Export, {"--to", "a", "--raw", "b", "n.skiff"},
                  "--raw and --to cannot go together: the raw export is a folder of its own"},
        ParseCase{"ExportRunZero", Command::Export, {"--run", "0", "n.skiff"},
                  "--run is the number of a run of the archive (1, 2, ...), not '0'"},
        ParseCase{"ExportTakesNoPort", Command::Export, {"--port", "COM1", "n.skiff"}, "unknown option '--port'"},
        ParseCase{"ExportTwoArchives", Command::Export, {"a.skiff", "b.skiff"},
                  "one archive at a time: unexpected argument 'b.skiff'"},
        ParseCase{"ExportNothing", Command::Export, {}, "no archive to export"},
        ParseCase{"ImportAsBackupConnects", Command::Import,
                  {"--port", "tcp:3679", "--baud", "115200", "--window", "8", "--compress", "--password-file", "pw",
                   "a.txt", "b.txt"},
                  "",
                  [](const CommandLine& l) {
                    EXPECT_EQ(l.passwordFile, "pw");
                    EXPECT_EQ(l.operands.size(), 2u);
                  }},
        ParseCase{"ImportWithoutFiles", Command::Import, {"--port", "COM1"}, "no file to import"},
        ParseCase{"KeyboardWithAPassword", Command::Keyboard, {"--password-file", "pw", "--rtscts"}, "",
                  [](const CommandLine& l) { EXPECT_EQ(l.passwordFile, "pw"); }},
        ParseCase{"KeyboardTakesNoFiles", Command::Keyboard, {"letter.txt"},
                  "unexpected argument 'letter.txt' (the keys come from standard input)"},
        ParseCase{"KeyboardAtADockSpeedOnly", Command::Keyboard, {"--baud", "19200"},
                  "the package speed is 230400, 115200, 57600, 38400, 9600 or 2400, not '19200'"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ChosenPort, OptionThenEnvironmentThenSettings) {
  EXPECT_EQ(chosenPort("/dev/ttyUSB1", "/dev/ttyUSB0", "COM1"), "/dev/ttyUSB1");
  EXPECT_EQ(chosenPort("", "/dev/ttyUSB0", "COM1"), "/dev/ttyUSB0");
  EXPECT_EQ(chosenPort("", "", "COM2"), "COM2");  // an empty variable names nothing
  EXPECT_EQ(chosenPort("", nullptr, "COM3"), "COM3");
  EXPECT_EQ(chosenPort("", nullptr, std::string("CO\0\0", 4)), "CO");  // the file's field is NUL-padded
  EXPECT_EQ(chosenPort("", nullptr, std::string(4, '\0')), "");
}

TEST(BatchSummary, SaysWhatWentHowMuchHowLongAndWhatWasRefused) {
  EXPECT_EQ(sendSummary({4, 4, 12345, 31.24, 0}), "Sent 4 files, 12345 bytes, in 31.2 s.");
  EXPECT_EQ(sendSummary({1, 1, 1, 0.06, 0}), "Sent 1 file, 1 byte, in 0.1 s.");
  EXPECT_EQ(sendSummary({3, 2, 709, 16, 0}), "Sent 2 of 3 files, 709 bytes, in 16.0 s.");
  EXPECT_EQ(sendSummary({1, 1, 1234, 11.5, 1}),
            "Sent 1 file, 1234 bytes, in 11.5 s; 1 incomplete (the Newton refused parts of it).");
  EXPECT_EQ(sendSummary({5, 4, 10, 2, 2}),
            "Sent 4 of 5 files, 10 bytes, in 2.0 s; 2 incomplete (the Newton refused parts of them).");
  EXPECT_EQ(installSummary({1, 1, 0, 124, 6.04}), "Installed 1 package, 124 bytes, in 6.0 s.");
  EXPECT_EQ(installSummary({3, 2, 1, 8002, 40.06}),
            "Installed 2 of 3 packages, 8002 bytes, in 40.1 s; 1 refused by the Newton.");
  EXPECT_EQ(installSummary({1, 0, 0, 0, 3}), "Installed 0 of 1 package, 0 bytes, in 3.0 s.");
  EXPECT_EQ(notSentLine({"c.pkg", "d.pkg"}), "Not sent: c.pkg, d.pkg.");
  EXPECT_EQ(notSentLine({}), "");
}

// What the wait for the Newton's call says, and when: each hint once.
TEST(CallWatch, HintsAtAWrongSpeedOnce) {
  struct Step {
    std::uint32_t waitedMs;
    std::uint64_t bytes, frames;
    const char* says;  // the start of the hint, or "" for none
  };
  struct Case {
    int baud;
    bool chosen;
    std::vector<Step> steps;
  };
  const char* noise = "Bytes arrive that make no MNP frame: the Newton is probably set to another speed than ";
  const char* silence = "No call from the Newton yet at 115200 bit/s.";
  const Case cases[] = {
      // Silence at a chosen speed above the Newton's own: said once, after the wait.
      {115200, true, {{19000, 0, 0, ""}, {20000, 0, 0, silence}, {40000, 0, 0, ""}}},
      // At 38400, or at a speed the command chose itself, silence is only a Newton not yet called.
      {38400, true, {{60000, 0, 0, ""}}},
      {19200, false, {{60000, 0, 0, ""}}},
      // Bytes that never make a frame, at any speed: said once.
      {38400, false, {{100, 31, 0, ""}, {200, 32, 0, noise}, {300, 500, 0, ""}}},
      // A good frame among them: the speed is right.
      {115200, true, {{30000, 500, 1, ""}}},
  };
  for (const Case& c : cases) {
    CallWatch watch(c.baud, c.chosen);
    for (const Step& step : c.steps) {
      const std::string hint = watch.check(step.waitedMs, step.bytes, step.frames);
      EXPECT_EQ(hint.substr(0, std::string(step.says).size()), step.says) << c.baud << " " << step.waitedMs;
      EXPECT_EQ(hint.empty(), std::string(step.says).empty()) << c.baud << " " << step.waitedMs << " " << hint;
    }
  }
}

TEST(PortProblem, GivesTheSystemsReasonAndTheGroupHint) {
  EXPECT_EQ(portProblemText("/dev/ttyUSB0", EACCES, "dialout"),
            "/dev/ttyUSB0: Permission denied (your user needs to be in the group 'dialout': sudo usermod -aG "
            "dialout $USER, then log in again)");
  EXPECT_EQ(portProblemText("/dev/ttyACM0", EACCES, "uucp"),
            "/dev/ttyACM0: Permission denied (your user needs to be in the group 'uucp': sudo usermod -aG uucp "
            "$USER, then log in again)");
  EXPECT_EQ(portProblemText("/dev/ttyUSB9", ENOENT, "dialout"), "/dev/ttyUSB9: No such file or directory");
  EXPECT_EQ(portProblemText("/dev/ttyS3", ENXIO, "dialout"), "/dev/ttyS3: No such device or address");
  EXPECT_EQ(portProblemText("/dev/ttyS0", EBUSY, "dialout"), "/dev/ttyS0: in use by another program");
  EXPECT_EQ(portProblemText("/tmp/x", ENOTTY, "dialout"), "/tmp/x: not a serial port");
  // The port as typed; a COM name with the device it stands for.
  EXPECT_EQ(portProblem("/dev/skiff-no-such-port", ENOENT), "/dev/skiff-no-such-port: No such file or directory");
  EXPECT_EQ(portProblem("COM4", EBUSY), "COM4 (/dev/ttyS3): in use by another program");
  EXPECT_EQ(portProblem("/dev/ttyS1", 0), "/dev/ttyS1: could not be opened");
}

TEST(FileProblem, OnlyARegularReadableFileGoes) {
  test::TempDir dir;
  const std::string file = dir.file("a.txt", "x");
  const std::string fifo = dir.path() + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(fileProblem(file), "");
  EXPECT_EQ(fileProblem(dir.path()), dir.path() + ": Is a directory");
  EXPECT_EQ(fileProblem(fifo), fifo + ": not a regular file");
  EXPECT_EQ(fileProblem(dir.path() + "/NOSUCH.txt"), dir.path() + "/NOSUCH.txt: No such file or directory");
  EXPECT_EQ(fileProblem("/dev/null"), "/dev/null: not a regular file");
  if (geteuid() != 0) {  // the superuser reads any file
    ASSERT_EQ(chmod(file.c_str(), 0), 0);
    EXPECT_EQ(fileProblem(file), file + ": Permission denied");
  }
}

}  // namespace
}  // namespace skiff::cli
