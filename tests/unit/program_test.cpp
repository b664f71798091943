#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/program.h"
#include "tests/support/engine_world.h"
#include "tests/support/fake_shell.h"
#include "tests/support/scripted_link.h"

namespace skiff {
namespace {

using Ops = std::vector<std::string>;

struct ProgramFixture : ::testing::Test, test::EngineWorld {
};

TEST_F(ProgramFixture, InitialStateIsIdleWithTheSettingUpText) {
  int module = 0;
  app.transferPhase = 5;
  initialState(app, &module);
  EXPECT_EQ(app.statusText, "Setting up...");
  EXPECT_EQ(app.transferPhase, -1);
  EXPECT_EQ(app.instance, &module);
}

TEST_F(ProgramFixture, StartUpCreatesOnePipeAndRegisters) {
  startLink(app, link);
  EXPECT_EQ(link.ops(), (Ops{"linkStartup", "pipeCreate", "linkRegisterApp"}));
  EXPECT_NE(app.pipe, nullptr);
}

TEST_F(ProgramFixture, ShutDownDisconnectsDisposesThenShutsDown) {
  startLink(app, link);
  link.calls.clear();
  stopLink(app, link);
  EXPECT_EQ(link.ops(), (Ops{"pipeDisconnect", "pipeDispose", "linkShutdown"}));
  EXPECT_EQ(app.pipe, nullptr);
}

TEST_F(ProgramFixture, ShutDownWithoutAPipeOnlyShutsTheLibraryDown) {
  stopLink(app, link);
  EXPECT_EQ(link.ops(), (Ops{"linkShutdown"}));
}

TEST_F(ProgramFixture, MainLoopIdlesThePipeUntilQuitAndReturnsItsCode) {
  startLink(app, link);
  shell.quitAt(100, 3);
  EXPECT_EQ(runMainLoop(rt), 3);
  EXPECT_EQ(link.idleCount, 99);  // every pass without a message before the quit
}

TEST_F(ProgramFixture, QuitEndsTheLoopEvenWithMoreMessagesQueued) {
  startLink(app, link);
  int dispatched = 0;
  shell.quitAt(10, 0);
  shell.at(10, [&] { ++dispatched; });
  shell.at(10, [&] { ++dispatched; });
  EXPECT_EQ(runMainLoop(rt), 0);
  EXPECT_EQ(dispatched, 0);
}

TEST_F(ProgramFixture, MainLoopWithoutAPipeNeverIdlesIt) {
  shell.quitAt(50, 0);
  EXPECT_EQ(runMainLoop(rt), 0);
  EXPECT_EQ(link.idleCount, 0);
}

}  // namespace
}  // namespace skiff
