#include <gtest/gtest.h>

#include "core/pump.h"
#include "tests/support/engine_world.h"
#include "tests/support/fake_shell.h"
#include "tests/support/scripted_link.h"

namespace skiff {
namespace {

struct PumpFixture : ::testing::Test, test::EngineWorld {
  void SetUp() override { app.pipe = link.pipeCreate(); }
};

TEST_F(PumpFixture, PumpIdlesThePipeForTheWholeTime) {
  pumpFor(rt, 1000);
  EXPECT_EQ(clock.now, 1000u);
  EXPECT_EQ(link.idleCount, 1001);  // one first call, then one per idle pass
  EXPECT_FALSE(app.abortRequested);
}

TEST_F(PumpFixture, PumpZeroMakesExactlyOnePass) {
  pumpFor(rt, 0);
  EXPECT_EQ(link.idleCount, 2);
}

TEST_F(PumpFixture, QuitEndsThePumpSetsAbortAndIsRemembered) {
  shell.quitAt(300, 7);
  pumpFor(rt, 5000);
  EXPECT_EQ(clock.now, 300u);
  EXPECT_TRUE(app.abortRequested);
  EXPECT_TRUE(app.quitPending);
  EXPECT_EQ(app.quitCode, 7);
}

TEST_F(PumpFixture, NoPipeNoIdle) {
  app.pipe = nullptr;
  pumpFor(rt, 50);
  EXPECT_EQ(link.idleCount, 0);
}

TEST_F(PumpFixture, RefreshSendsTimerToTheStatusDialogThenOnePass) {
  app.statusText = "Sending Data...";
  shell.openStatus();
  app.transferPhase = 50;
  app.bytesTotal = 200;
  refreshStatus(rt);
  ASSERT_EQ(shell.countLines.size(), 1u);
  EXPECT_EQ(shell.countLines[0], "Transferring byte 50 of 200 (25%)");
  EXPECT_EQ(shell.statusLines[0], "Sending Data...  |");
}

struct OpenCase {
  const char* port;
  std::int32_t baud;
  const char* config;
};

class OpenPipeTest : public PumpFixture, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenPipeTest, ConfiguresThePortAsStored) {
  app.settings.portName = GetParam().port;
  EXPECT_EQ(openPipe(rt, GetParam().baud), 0);
  ASSERT_EQ(link.calls.back().op, "CDPipeInit");
  EXPECT_EQ(link.calls.back().config, std::string(GetParam().config) + "|" + GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(Table, OpenPipeTest,
                         ::testing::Values(OpenCase{"COM2", 19200, "COM2:19200,n,8,1"},
                                           OpenCase{"COM4", 38400, "COM4:38400,n,8,1"},
                                           OpenCase{"COM9", 2400, "COM9:2400,n,8,1"},
                                           OpenCase{"/dev/ttyUSB0", 9600, "/dev/ttyUSB0:9600,n,8,1"}));

TEST_F(PumpFixture, OpenPipeFailureIsShownOnceAndReturned) {
  link.initResult = -97;
  EXPECT_EQ(openPipe(rt, 19200), -97);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Error: CDPipeInit error ... err -97");
}

TEST_F(PumpFixture, ConfigTextIsBoundedForALongPort) {
  EXPECT_EQ(pipeConfigText(std::string(1000, 'p'), 19200).size(), 99u);
}

}  // namespace
}  // namespace skiff
