#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/connection_dialog.h"
#include "tests/support/engine_world.h"
#include "tests/support/fake_shell.h"
#include "tests/support/scripted_link.h"

namespace skiff {
namespace {

using Ops = std::vector<std::string>;

struct ConnectionFixture : ::testing::Test, test::EngineWorld {
  ConnectionDialog dialog;
  void SetUp() override {
    app.pipe = link.pipeCreate();
    link.calls.clear();
    link.stateAnswer = state::kListening;
  }
};

class ListenFailure : public ConnectionFixture, public ::testing::WithParamInterface<std::int16_t> {};

TEST_P(ListenFailure, DisconnectsAndEndsWithTheCodeWithoutATimer) {
  link.listenResult = GetParam();
  const ConnectionStep step = connectionOpened(rt, dialog);
  EXPECT_EQ(link.ops(), (Ops{"pipeListen", "pipeDisconnect"}));
  ASSERT_TRUE(step.endCode.has_value());
  EXPECT_EQ(*step.endCode, static_cast<int>(GetParam()));
  EXPECT_FALSE(step.startTimer);
}

INSTANTIATE_TEST_SUITE_P(Codes, ListenFailure,
                         ::testing::Values(std::int16_t{-28705}, std::int16_t{-97}, std::int16_t{-28030},
                                           std::int16_t{-1}));

TEST(ConnectionEndCodes, AListenCodeIsSignExtendedFrom16Bits) {
  test::EngineWorld world;
  auto& [clock, app, link, shell, rt] = world;
  ConnectionDialog dialog;
  link.listenResult = static_cast<std::int16_t>(0x8FDF);  // -28705 as the library's 16 bits
  EXPECT_EQ(*connectionOpened(rt, dialog).endCode, -28705);
}

TEST_F(ConnectionFixture, ListeningStartsThePoll) {
  const ConnectionStep step = connectionOpened(rt, dialog);
  EXPECT_EQ(link.ops(), (Ops{"pipeListen"}));
  EXPECT_TRUE(step.startTimer);
  EXPECT_FALSE(step.endCode.has_value());
}

TEST_F(ConnectionFixture, TicksIdleThePipeUntilANewtonCallsThenAcceptAndConnect) {
  connectionOpened(rt, dialog);
  for (int i = 0; i < 3; ++i) {
    const ConnectionStep step = connectionTick(rt, dialog);
    EXPECT_FALSE(step.endCode.has_value());
  }
  EXPECT_EQ(link.idleCount, 3);
  link.stateAnswer = state::kCalling;
  const std::uint32_t before = clock.now;
  const ConnectionStep step = connectionTick(rt, dialog);
  EXPECT_EQ(clock.now - before, 1000u);  // the accept is given a second of pumping
  EXPECT_TRUE(step.killTimer);
  ASSERT_TRUE(step.endCode.has_value());
  EXPECT_EQ(*step.endCode, 5);
  EXPECT_EQ(link.ops(), (Ops{"pipeListen", "pipeState", "pipeState", "pipeState", "pipeState", "pipeAccept"}));
}

TEST_F(ConnectionFixture, ALostLineEndsTheWaitWithTheCodeOfTheLoss) {
  connectionOpened(rt, dialog);
  link.stateAnswer = state::kLost;
  const ConnectionStep step = connectionTick(rt, dialog);
  EXPECT_TRUE(step.killTimer);
  EXPECT_EQ(step.endCode, code::kDisconnected);
  EXPECT_EQ(link.ops(), (Ops{"pipeListen", "pipeState", "pipeDisconnect"}));
}

TEST_F(ConnectionFixture, ATickDuringTheAcceptPumpOnlyReturns) {
  connectionOpened(rt, dialog);
  link.stateAnswer = state::kCalling;
  int nestedEnds = 0;
  shell.at(250, [&] {
    if (connectionTick(rt, dialog).endCode) ++nestedEnds;
  });
  connectionTick(rt, dialog);
  EXPECT_EQ(nestedEnds, 0);
  EXPECT_EQ(link.count("pipeAccept"), 1);
}

class StopCommands : public ConnectionFixture, public ::testing::WithParamInterface<unsigned> {};

TEST_P(StopCommands, StopDisconnectsAndEndsWith2) {
  connectionOpened(rt, dialog);
  link.calls.clear();
  const auto step = connectionCommand(rt, dialog, GetParam());
  ASSERT_TRUE(step.has_value());
  EXPECT_TRUE(step->killTimer);
  EXPECT_EQ(step->endCode, 2);
  EXPECT_EQ(link.ops(), (Ops{"pipeDisconnect"}));
  // A tick that was already queued only returns.
  link.calls.clear();
  link.recordIdle = true;
  const ConnectionStep late = connectionTick(rt, dialog);
  EXPECT_FALSE(late.endCode.has_value());
  EXPECT_TRUE(link.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Ids, StopCommands, ::testing::Values(1u, 2u, 31u));

TEST_F(ConnectionFixture, OtherCommandsAreNotHandled) {
  connectionOpened(rt, dialog);
  EXPECT_FALSE(connectionCommand(rt, dialog, 1002).has_value());
  EXPECT_FALSE(connectionCommand(rt, dialog, 3).has_value());
  EXPECT_FALSE(dialog.stopped);
}

TEST_F(ConnectionFixture, StopDuringTheAcceptPumpKeepsTheStop) {
  connectionOpened(rt, dialog);
  link.stateAnswer = state::kCalling;
  std::optional<ConnectionStep> stop;
  shell.at(300, [&] { stop = connectionCommand(rt, dialog, 31); });
  const ConnectionStep step = connectionTick(rt, dialog);
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(stop->endCode, 2);
  EXPECT_FALSE(step.endCode.has_value());  // no second end with 5 over the stop
}

TEST_F(ConnectionFixture, ReopeningClearsAnEarlierStop) {
  connectionOpened(rt, dialog);
  connectionCommand(rt, dialog, 31);
  connectionOpened(rt, dialog);
  EXPECT_FALSE(dialog.stopped);
  connectionTick(rt, dialog);
  EXPECT_EQ(link.idleCount, 1);
}

}  // namespace
}  // namespace skiff
