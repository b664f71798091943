// The link's states and failures over a pseudo-terminal with newton-sim.
#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "dil/serial.h"

#include "newton/test_data.h"
#include "tests/e2e/link_fixture.h"
#include "tests/support/pty_process.h"
#include "tests/support/temp_dir.h"

namespace skiff::e2e {
namespace {

using LinkStates = LinkFixture;

double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST_F(LinkStates, ListeningThenCallingThenConnected) {
  startSim({"connect", "--hold", "1000"});
  EXPECT_EQ(link->pipeState(pipe), state::kIdle);
  ASSERT_EQ(link->pipeListen(pipe, -1, 0, 0), 0);
  EXPECT_EQ(link->pipeState(pipe), state::kListening);
  std::int64_t deadline = msNow() + 10000;
  while (link->pipeState(pipe) == state::kListening && msNow() < deadline) link->pipeIdle(pipe);
  ASSERT_EQ(link->pipeState(pipe), state::kCalling);
  link->pipeAccept(pipe);
  EXPECT_EQ(link->pipeState(pipe), state::kConnected);
  EXPECT_EQ(simExit(), 0);
  std::string log = readFile(logPath);
  // The Newton called with its LR, heard ours and confirmed with LA N(R)=0.
  EXPECT_NE(log.find("tx LR len=41"), std::string::npos) << log;
  EXPECT_NE(log.find("rx LR len=24"), std::string::npos) << log;
  EXPECT_NE(log.find("tx LA nr=0"), std::string::npos) << log;
  EXPECT_NE(log.find("window=1 info=256"), std::string::npos) << log;
}

TEST_F(LinkStates, AcceptSaysItsLinkRequestAgainUntilConfirmed) {
  startSim({"--deaf-lr", "2", "connect", "--hold", "500"});
  connect();
  EXPECT_EQ(simExit(), 0);
  std::string log = readFile(logPath);
  auto first = log.find("fault rx-ignore-lr");
  ASSERT_NE(first, std::string::npos) << log;
  auto second = log.find("fault rx-ignore-lr", first + 1);
  ASSERT_NE(second, std::string::npos) << log;
  EXPECT_NE(log.find("tx LA nr=0", second), std::string::npos) << log;
}

TEST_F(LinkStates, NewtonDisconnectIsSeenAsLostLink) {
  startSim({"connect", "--hold", "300"});
  connect();
  std::vector<std::uint8_t> reply;
  std::int64_t start = msNow();
  EXPECT_EQ(read(reply, 2, 10000), code::kDisconnected);
  EXPECT_LT(msNow() - start, 5000);
  EXPECT_NE(link->pipeState(pipe), state::kConnected);
  EXPECT_EQ(write({'O', 'K'}), code::kDisconnected);
  std::int32_t count = -1;
  EXPECT_EQ(link->pipeBytesAvailable(pipe, side::kOutput, &count), code::kDisconnected);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(simExit(), 0);
}

TEST_F(LinkStates, ReadTimesOutWithinItsTimeOut) {
  startSim({"sink"});
  connect();
  std::vector<std::uint8_t> reply;
  std::int64_t start = msNow();
  EXPECT_EQ(read(reply, 2, 700), code::kTimeout);
  std::int64_t took = msNow() - start;
  EXPECT_GE(took, 700);
  EXPECT_LT(took, 700 + 300);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(link->pipeState(pipe), state::kConnected);  // a time-out leaves the link up
}

TEST_F(LinkStates, MissingDeviceIsPortUnavailable) {
  EXPECT_EQ(link->CDPipeInit(pipe, "MNP", "", "/dev/skiff-no-such-port:38400,n,8,1", "/dev/skiff-no-such-port",
                             2048, 2048),
            code::kPortUnavailable);
  EXPECT_EQ(dilPortSystemError(*link, pipe), ENOENT) << "the system's reason travels with -97";
  std::vector<std::uint8_t> reply;
  EXPECT_NE(read(reply, 2, 100), 0);
}

struct BadConfig {
  const char* config;
  std::int32_t expected;
};
class LinkConfigText : public LinkFixture, public ::testing::WithParamInterface<BadConfig> {};

TEST_P(LinkConfigText, IsRefusedWithACode) {
  std::string port;
  EXPECT_EQ(link->CDPipeInit(pipe, "MNP", "", GetParam().config, "/dev/null", 2048, 2048), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, LinkConfigText,
                         ::testing::Values(BadConfig{"", code::kBadParameter},
                                           BadConfig{"COM1", code::kBadParameter},
                                           BadConfig{"COM1:,n,8,1", code::kBadParameter},
                                           BadConfig{"COM1:fast,n,8,1", code::kBadParameter},
                                           BadConfig{"COM1:99999999999999999999,n,8,1", code::kBadParameter},
                                           BadConfig{"COM1:12345,n,8,1", code::kBadParameter},
                                           BadConfig{"/dev/null:38400,n,8,1", code::kPortUnavailable}));

TEST_F(LinkStates, PortIsOpenedAgainAfterDisconnect) {
  startSim({"connect", "--hold", "200"});
  connect();
  EXPECT_EQ(simExit(), 0);
  link->pipeDisconnect(pipe);
  EXPECT_EQ(link->pipeState(pipe), state::kIdle);
  // A fresh Newton on a fresh line: the same pipe configures and connects again.
  startSim({"connect", "--hold", "200"});
  connect();
  EXPECT_EQ(simExit(), 0);
}

TEST_F(LinkStates, SkiffListenConnectsAndDisconnects) {
  startSim({"connect", "--hold", "5000"});
  link->pipeDisconnect(pipe);  // the command opens the port itself
  auto result = test::runCommand({test::binPath("skiff"), "listen", "--port", sim->device(), "--timeout", "10"}, 20000);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "Looking for Newton...\n");  // status on stderr, the result on stdout
  EXPECT_EQ(result.out, "Connected to the Newton on " + sim->device() + " at 38400 bit/s.\nDisconnected.\n");
  EXPECT_EQ(simExit(), 1);  // the desktop's LD ended the call before the Newton hung up
  EXPECT_NE(readFile(logPath).find("rx LD reason=255"), std::string::npos);
}

// A Newton tries its link request only a few times on its own timer (here three tries 80 ms apart, starting
// when the user taps Connect) and refuses an answer that comes later.
TEST_F(LinkStates, SkiffListenAnswersANewtonWhoseRequestTimerIsShort) {
  startSim({"--call-delay", "2000", "--call-interval", "80", "--call-tries", "3", "connect", "--hold", "5000"});
  link->pipeDisconnect(pipe);
  auto result = test::runCommand({test::binPath("skiff"), "listen", "--port", sim->device(), "--timeout", "10"}, 20000);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("Connected"), std::string::npos) << result.out;
  simExit();
  const std::string log = readFile(logPath);
  EXPECT_NE(log.find("event connected"), std::string::npos) << log;
  EXPECT_EQ(log.find("event gave-up"), std::string::npos) << log;
}

// A Newton set to another speed: its bytes arrive but never make a frame. Both waits say what that means (the
// install waits until it is killed).
TEST_F(LinkStates, BytesThatMakeNoFrameAreExplainedWhileWaiting) {
  const std::string hint = "Bytes arrive that make no MNP frame: the Newton is probably set to another speed "
                           "than 115200 bit/s";
  const std::vector<std::vector<std::string>> commands = {{"listen", "--timeout", "3"},
                                                          {"install", std::string(SKIFF_SOURCE_DIR) + "/samples/skiff-test.pkg"}};
  for (const auto& command : commands) {
    startSim({"--wrong-speed", "1", "connect"});
    link->pipeDisconnect(pipe);
    std::vector<std::string> argv = {test::binPath("skiff"), command[0], "--port", sim->device(), "--baud", "115200"};
    argv.insert(argv.end(), command.begin() + 1, command.end());
    const auto result = test::runCommand(argv, 3000);
    EXPECT_NE(result.err.find(hint), std::string::npos) << command[0] << ": " << result.err;
    sim.reset();
  }
}

// A port that cannot be opened is one line on a terminal: the port, the system's reason kept where the open
// failed, whichever command tried it.
TEST(SkiffCommands, APortThatCannotBeOpenedIsOneLine) {
  const std::string package = std::string(SKIFF_SOURCE_DIR) + "/samples/skiff-test.pkg";
  const std::vector<std::string> rows[] = {
      {"listen", "/dev/skiff-no-such-port", "skiff listen: /dev/skiff-no-such-port: No such file or directory\n"},
      {"send", "/dev/skiff-no-such-port", "skiff send: /dev/skiff-no-such-port: No such file or directory\n", package},
      {"install", "/dev/null", "skiff install: /dev/null: not a serial port\n", package}};
  for (const auto& row : rows) {
    std::vector<std::string> argv{test::binPath("skiff"), row[0], "--port", row[1]};
    argv.insert(argv.end(), row.begin() + 3, row.end());
    const auto result = test::runCommand(argv, 10000);
    EXPECT_EQ(result.exitCode, 1) << row[0];
    EXPECT_EQ(result.err, row[2]) << row[0];
  }
}

// A line that hangs up while the pipe listens: the pipe reports it lost, and idling it waits as on a live line
// instead of returning at once (the busy loop a main loop or a pump would otherwise make of it).
TEST_F(LinkStates, AHungUpLineIsLostAndIdlingItDoesNotSpin) {
  test::PtyLine line;
  const std::string config = line.device() + ":38400,n,8,1";
  ASSERT_EQ(link->CDPipeInit(pipe, "MNP", "", config.c_str(), line.device().c_str(), 2048, 2048), 0);
  ASSERT_EQ(link->pipeListen(pipe, -1, 0, 0), 0);
  link->pipeIdle(pipe);
  EXPECT_EQ(link->pipeState(pipe), state::kListening);
  line.hangUp();
  // A second of idling, as a main loop or a pump does: it costs this thread next to no processor time (a spin
  // would take all of it, or all a loaded machine gives it).
  const double cpuBefore = threadCpuSeconds();
  for (const std::int64_t end = msNow() + 1000; msNow() < end;) link->pipeIdle(pipe);
  EXPECT_EQ(link->pipeState(pipe), state::kLost);
  EXPECT_LT(threadCpuSeconds() - cpuBefore, 0.3);
}

// The port is set up as asked: RTS/CTS handshake only with the option (the terminal settings are the device's,
// so a second descriptor sees them).
TEST(SerialPort, HardwareFlowControlOnlyWhenAsked) {
  test::PtyLine line;
  for (const bool asked : {false, true}) {
    dil::PortFailure failure;
    auto port = dil::openSerialPort(line.device(), 230400, &failure, dil::SerialOptions{asked});
    ASSERT_TRUE(port) << failure.code;
    const int fd = open(line.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    close(fd);
    EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, asked);
    EXPECT_EQ(cfgetospeed(&tio), B230400);
  }
}

// SKIFF_PORT names the port when --port does not; nobody calls on it, so the time-out ends the wait.
TEST(SkiffListen, TheEnvironmentNamesThePortAndTheTimeOutEndsTheWait) {
  test::PtyLine line;
  ASSERT_FALSE(line.device().empty());
  const auto result = test::runCommand(
      {"/usr/bin/env", "SKIFF_PORT=" + line.device(), test::binPath("skiff"), "listen", "--timeout", "0.5"}, 20000);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Looking for Newton...\nTimeout error.  (check your connection settings)\n");
}

// The line hangs up (the other end closed, an adapter pulled) while `command` waits for the Newton's call on
// it: the command ends with an error at once, having used next to no processor, instead of polling the dead
// line for ever or waiting for a call that can no longer come. `expected` is part of what it says.
void expectAHungUpLineEndsTheWait(test::PtyLine& line, const std::vector<std::string>& command,
                                  const std::string& expected, const std::string& directory = "") {
  test::PtyProcess waiting(command, directory);
  ASSERT_TRUE(waiting.start());
  ASSERT_TRUE(waiting.waitFor("Looking for Newton...", 20000)) << waiting.output();
  line.hangUp();
  const auto exitCode = waiting.wait(20000);
  ASSERT_TRUE(exitCode) << waiting.output();
  EXPECT_EQ(*exitCode, 1);
  EXPECT_NE(waiting.output().find(expected), std::string::npos) << waiting.output();
  EXPECT_LT(waiting.cpuSeconds(), 0.3);
}

TEST(SkiffListen, AHungUpLineEndsTheWaitWithAnErrorAndNoBusyLoop) {
  test::PtyLine line;
  expectAHungUpLineEndsTheWait(line, {test::binPath("skiff"), "listen", "--port", line.device()},
                               "Disconnection detected.\r\nskiff listen: the line on " + line.device() + " hung up");
}

TEST(SkiffSend, AHungUpLineEndsTheWaitForTheCallWithAnError) {
  test::TempDir folder;
  const std::string note = folder.file("todo.txt", "Buy rope\n");
  test::PtyLine line;
  // The Download command opens the port again for a new wait; the port is gone, and says so in one line.
  expectAHungUpLineEndsTheWait(line, {test::binPath("skiff"), "send", "--port", line.device(), note},
                               "\r\nskiff send: " + line.device() + ": No such file or directory\r\n", folder.path());
}

}  // namespace
}  // namespace skiff::e2e
