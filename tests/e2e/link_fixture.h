// The real link library on one side of a pseudo-terminal, newton-sim on the other.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dil/dil.h"
#include "tests/support/sim_process.h"

namespace skiff::e2e {

inline std::int64_t msNow() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string tempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/skiff-" + std::to_string(getpid()) + "-" + name;
}

struct LinkFixture : ::testing::Test {
  std::unique_ptr<LinkOps> link = makeDilLink();
  PipeHandle pipe = nullptr;
  std::unique_ptr<test::SimProcess> sim;
  std::string logPath = tempPath(::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 std::string(".log"));
  // Short timers keep lossy runs quick; the limit is generous because the machine may be busy.
  void SetUp() override {
    setenv("SKIFF_MNP_RETRANSMIT_MS", "40", 1);
    setenv("SKIFF_MNP_RETRIES", "400", 1);
    unsetenv("SKIFF_MNP_WINDOW");
    link->linkStartup();
    pipe = link->pipeCreate();
  }
  void TearDown() override {
    link->pipeDisconnect(pipe);
    link->pipeDispose(pipe);
    link->linkShutdown();
    std::remove(logPath.c_str());
  }

  // Starts newton-sim with the options (log, fast timers) and the role, and configures the pipe for its device.
  void startSim(std::vector<std::string> args, int baud = 230400) {
    std::vector<std::string> all{"--log", logPath, "--retransmit-ms", "40", "--retries", "400"};
    all.insert(all.end(), args.begin(), args.end());
    sim = std::make_unique<test::SimProcess>(all);
    ASSERT_TRUE(sim->start()) << sim->errors();
    std::string config = sim->device() + ":" + std::to_string(baud) + ",n,8,1";
    ASSERT_EQ(link->CDPipeInit(pipe, "MNP", "", config.c_str(), sim->device().c_str(), 2048, 2048), 0);
  }

  // Listens until the Newton calls (state 4), accepts, and expects the connected state.
  void connect() {
    ASSERT_EQ(link->pipeListen(pipe, -1, 0, 0), 0);
    std::int64_t deadline = msNow() + 10000;
    while (link->pipeState(pipe) != state::kCalling && msNow() < deadline) link->pipeIdle(pipe);
    ASSERT_EQ(link->pipeState(pipe), state::kCalling);
    link->pipeAccept(pipe);
    ASSERT_EQ(link->pipeState(pipe), state::kConnected);
  }

  std::int16_t write(const std::vector<std::uint8_t>& bytes, std::uint8_t endOfMessage = 1, int timeoutMs = 15000) {
    std::int32_t length = static_cast<std::int32_t>(bytes.size());
    return link->pipeWrite(pipe, bytes.data(), &length, endOfMessage, 0, 0, timeoutMs, nullptr, 0);
  }

  std::int16_t read(std::vector<std::uint8_t>& out, std::size_t count, int timeoutMs = 15000) {
    out.assign(count, 0);
    std::int32_t length = static_cast<std::int32_t>(count);
    std::uint8_t endOfMessage = 0;
    auto result = link->pipeRead(pipe, out.data(), &length, &endOfMessage, 0, 0, timeoutMs, nullptr, 0);
    out.resize(static_cast<std::size_t>(length));
    return result;
  }

  // Waits until the simulator has exited; its exit code.
  int simExit(int timeoutMs = 30000) {
    auto code = sim->wait(timeoutMs);
    EXPECT_TRUE(code.has_value()) << "newton-sim did not end";
    return code.value_or(-1);
  }
};

}  // namespace skiff::e2e
