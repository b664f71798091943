// The link library on a tcp: port, with the test as the callers: whatever a stray connection sends, or does
// not send, it is let go with a notice and the listener takes the Newton that calls next.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "dil/dil.h"
#include "dil/tcp_socket.h"
#include "tests/support/child_process.h"

namespace skiff::e2e {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct StrayCase {
  const char* name;
  std::string sends;
  bool thenCloses;
  const char* notice;  // a part of the one notice
  bool newtonMeanwhile = false;  // the Newton calls on a second connection while the stray is still heard
};

class StrayCaller : public ::testing::TestWithParam<StrayCase> {
 protected:
  std::unique_ptr<LinkOps> link = makeDilLink();
  PipeHandle pipe = nullptr;
  std::vector<std::string> notices;
  int port = 0;

  void SetUp() override {
    DilTuning tuning;
    tuning.openingWaitMs = 300;
    tuneDilLink(*link, tuning);
    setDilNotices(*link, [this](const std::string& text) { notices.push_back(text); });
    link->linkStartup();
    pipe = link->pipeCreate();
    ASSERT_EQ(link->CDPipeInit(pipe, "MNP", "", "tcp:127.0.0.1:0:38400,n,8,1", "tcp:127.0.0.1:0", 2048, 2048), 0);
    ASSERT_EQ(link->pipeListen(pipe, -1, 0, 0), 0);
    const std::string address = dilListenAddress(*link, pipe);
    ASSERT_EQ(address.rfind("127.0.0.1:", 0), 0u) << address;
    port = std::stoi(address.substr(10));
  }
  // Idles the pipe until `done` or the deadline; whether `done` came true.
  template <class Done>
  bool idleUntil(Done done, int ms) {
    const auto deadline = test::Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (test::msLeft(deadline) == 0) return false;
      link->pipeIdle(pipe);
    }
    return true;
  }
  static std::span<const std::uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
  }
};

TEST_P(StrayCaller, IsLetGoWithANoticeAndTheNewtonAfterItIsServed) {
  const StrayCase& c = GetParam();
  auto stray = dil::connectTcp({"127.0.0.1", port}, 2000);
  ASSERT_TRUE(stray);
  if (!c.sends.empty()) {
    ASSERT_TRUE(stray->writeAll(bytes(c.sends)));
  }
  if (c.thenCloses) stray.reset();
  // A Newton docking over the network: its opening frame is the call, and the stream carries it whole.
  decltype(dil::connectTcp({"127.0.0.1", port}, 2000)) newton;
  const std::string opening("newtdockrtdk\0\0\0\x04\0\0\0\x09", 20);
  const auto newtonCalls = [&] {
    newton = dil::connectTcp({"127.0.0.1", port}, 2000);
    ASSERT_TRUE(newton);
    ASSERT_TRUE(newton->writeAll(bytes(opening)));
  };
  if (c.newtonMeanwhile) newtonCalls();
  EXPECT_TRUE(idleUntil([&] { return !notices.empty(); }, 5000));
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(c.notice), std::string::npos) << notices[0];
  EXPECT_EQ(link->pipeState(pipe), c.newtonMeanwhile ? state::kCalling : state::kListening)
      << "a stray caller neither calls nor ends the listening";
  if (stray) {
    std::uint8_t sink[64];
    EXPECT_EQ(stray->readSome(sink), -1) << "the library closed the stray connection";
  }

  if (!c.newtonMeanwhile) newtonCalls();
  ASSERT_TRUE(newton);
  ASSERT_TRUE(idleUntil([&] { return link->pipeState(pipe) == state::kCalling; }, 5000));
  link->pipeAccept(pipe);
  ASSERT_EQ(link->pipeState(pipe), state::kConnected);
  Bytes got(20);
  std::int32_t length = 20;
  std::uint8_t endOfMessage = 0;
  ASSERT_EQ(link->pipeRead(pipe, got.data(), &length, &endOfMessage, 0, 0, 5000, nullptr, 0), 0);
  EXPECT_EQ(std::string(got.begin(), got.end()), opening);
  const std::string dock("newtdockdock\0\0\0\x04\0\0\0\x04", 20);
  length = 20;
  ASSERT_EQ(link->pipeWrite(pipe, dock.data(), &length, 1, 0, 0, 5000, nullptr, 0), 0);
  std::string answer;
  const auto deadline = test::Clock::now() + std::chrono::seconds(5);
  std::uint8_t piece[64];
  while (answer.size() < dock.size() && test::msLeft(deadline) > 0) {
    const long n = newton->readSome(piece);
    if (n > 0) answer.append(piece, piece + n);
    newton->waitReadable(10'000);
  }
  EXPECT_EQ(answer, dock);
  EXPECT_EQ(notices.size(), 1u);

  link->pipeDisconnect(pipe);
  link->pipeDispose(pipe);
  link->linkShutdown();
  EXPECT_FALSE(dil::connectTcp({"127.0.0.1", port}, 2000)) << "disposing of the pipe closes the listener";
}

INSTANTIATE_TEST_SUITE_P(
    Callers, StrayCaller,
    ::testing::Values(
        StrayCase{"Garbage", "GET / HTTP/1.0\r\n", false,
                  ": it began with 47 45 54 20 2f 20 48 54, neither MNP (16 10 02) nor a dock frame (newtdock)"},
        StrayCase{"GarbageAfterASyn", "\x16\x16\x10\x02", false, "it began with 16 16 10 02, neither MNP"},
        StrayCase{"Silent", "", false, ": it sent nothing in 0.3 s"},
        StrayCase{"HalfADockSignature", "newt", false, ": it sent only 6e 65 77 74 in 0.3 s"},
        StrayCase{"HalfADockSignatureThenGone", "newt", true, " closed after it sent only 6e 65 77 74"},
        StrayCase{"GoneAtOnce", "", true, " closed after it sent nothing"},
        StrayCase{"MnpWithoutALinkRequest", "\x16\x10\x02", false, ": no MNP link request in 0.3 s"},
        StrayCase{"HalfAnMnpFrameThenGone", "\x16\x10\x02\x17\x01", true, " closed before the Newton called"},
        // It connected first, but the Newton called first.
        StrayCase{"SilentWhileANewtonCalls", "", false,
                  ": a Newton called on another connection before this one called", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skiff::e2e
