// Two MNP endpoints joined by an in-memory line on a virtual clock: the data phase without a serial port.
#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "dil/mnp_endpoint.h"
#include "dil/pipe_states.h"
#include "link/link_ops.h"

namespace skiff::mnp {
namespace {

struct Wire {
  std::int64_t nowUs = 0;
};

class MemoryLine final : public ByteLine {
 public:
  MemoryLine(Wire& wire) : wire_(wire) {}
  MemoryLine* peer = nullptr;
  std::deque<std::uint8_t> inbox;
  long readSome(std::span<std::uint8_t> out) override {
    std::size_t n = std::min(out.size(), inbox.size());
    std::copy_n(inbox.begin(), n, out.begin());
    inbox.erase(inbox.begin(), inbox.begin() + static_cast<long>(n));
    return static_cast<long>(n);
  }
  bool writeAll(std::span<const std::uint8_t> bytes) override {
    peer->inbox.insert(peer->inbox.end(), bytes.begin(), bytes.end());
    return true;
  }
  void waitReadable(std::int64_t us) override { wire_.nowUs += std::max<std::int64_t>(us, 1); }
  std::size_t outputQueued() override { return stuckOutput ? 100 : 0; }
  bool stuckOutput = false;  // a driver whose output count never falls
  std::int64_t nowUs() override { return wire_.nowUs; }

 private:
  Wire& wire_;
};

Bytes pattern(std::size_t count, unsigned seed) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i * 31 + seed) % 251 == 7 ? 0x10 : i * seed);
  return bytes;
}

struct EndpointPair : ::testing::Test {
  Wire wire;
  MemoryLine lineA{wire}, lineB{wire};
  Policy desktop, newton;
  std::unique_ptr<Endpoint> a, b;  // a: the desktop, b: the Newton

  void SetUp() override {
    lineA.peer = &lineB;
    lineB.peer = &lineA;
    desktop.baud = newton.baud = 38400;
    desktop.retransmitMs = newton.retransmitMs = 100;
    newton.ignoreFirstDuplicate = true;
  }
  void start(int window) {
    a = std::make_unique<Endpoint>(lineA, desktop);
    b = std::make_unique<Endpoint>(lineB, newton);
    LinkParams params;
    params.window = static_cast<std::uint8_t>(window);
    params.optimisation = 3;
    a->startDataPhase(params);
    b->startDataPhase(params);
  }
  // Services both ends until `done` or 60 s of virtual time.
  template <typename Done>
  bool runUntil(Done done) {
    std::int64_t deadline = wire.nowUs + 60'000'000;
    while (!done() && wire.nowUs < deadline) {
      a->service(5);
      b->service(5);
    }
    return done();
  }
  Bytes drain(Endpoint& end) {
    Bytes out(end.available());
    end.take(out, nullptr);
    return out;
  }
};

TEST_F(EndpointPair, WindowOfEightCarriesBothWaysExactly) {
  start(8);
  Bytes toNewton = pattern(40000, 3), toDesktop = pattern(30000, 5);
  a->queue(toNewton, true);
  b->queue(toDesktop, true);
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0 && b->unacknowledged() == 0; }));
  EXPECT_EQ(drain(*b), toNewton);
  EXPECT_EQ(drain(*a), toDesktop);
  EXPECT_EQ(a->retransmissions(), 0u);
}

TEST_F(EndpointPair, LostFramesAreSentAgainAndDeliveredOnce) {
  for (int window : {1, 8}) {
    SetUp();
    start(window);
    int frames = 0;
    a->txFilter = [&](Bytes& frame, const Bytes& body) {
      if (body.size() > 1 && body[1] == 4 && ++frames % 5 == 0) frame.clear();  // every fifth LT is lost
    };
    int acks = 0;
    b->txFilter = [&](Bytes& frame, const Bytes& body) {
      if (body.size() > 1 && body[1] == 5 && ++acks % 7 == 0) frame[frame.size() / 2] ^= 0x01;  // a broken LA
    };
    Bytes data = pattern(20000, 9);
    a->queue(data, true);
    ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; })) << "window " << window;
    EXPECT_EQ(drain(*b), data) << "window " << window;
    EXPECT_GT(a->retransmissions(), 0u);
  }
}

TEST_F(EndpointPair, NewtonIgnoresTheFirstRepeatAndAnswersTheSecond) {
  start(1);
  bool lost = false;
  b->txFilter = [&](Bytes& frame, const Bytes& body) {
    if (!lost && body.size() > 1 && body[1] == 5) {
      lost = true;
      frame.clear();
    }
  };
  int sent = 0;
  a->txFilter = [&](Bytes&, const Bytes& body) { sent += body.size() > 1 && body[1] == 4; };
  Bytes data = pattern(100, 1);
  a->queue(data, true);
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(sent, 3);  // the original, the ignored repeat, the answered repeat
  EXPECT_EQ(drain(*b), data);
}

TEST_F(EndpointPair, SilentPeerEndsInTheRetryLimit) {
  desktop.retryLimit = 3;
  start(1);
  b->mute();
  a->queue(pattern(10, 1), true);
  std::int64_t begin = wire.nowUs;
  ASSERT_TRUE(runUntil([&] { return a->down() != LinkDown::None; }));
  EXPECT_EQ(a->down(), LinkDown::RetryLimit);
  // Four timer periods of 100 ms (plus the frame's own time on the line) before giving up.
  EXPECT_GE(wire.nowUs - begin, 400'000);
  EXPECT_LT(wire.nowUs - begin, 600'000);
}

TEST_F(EndpointPair, PortThatNeverReportsDrainedStillCarries) {
  lineA.stuckOutput = true;
  start(1);
  Bytes data = pattern(3000, 2);
  a->queue(data, true);
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(drain(*b), data);
}

TEST_F(EndpointPair, DisconnectReachesThePeer) {
  start(1);
  a->disconnect();
  ASSERT_TRUE(runUntil([&] { return b->down() != LinkDown::None; }));
  EXPECT_EQ(b->down(), LinkDown::PeerDisconnected);
  EXPECT_EQ(a->down(), LinkDown::LocalDisconnect);
}

TEST_F(EndpointPair, MessageBoundariesShapeTheFrames) {
  start(1);
  std::vector<std::size_t> sizes;
  a->txFilter = [&](Bytes&, const Bytes& body) {
    if (body.size() > 1 && body[1] == 4) sizes.push_back(body.size() - 3);
  };
  a->queue(pattern(100, 1), false);
  a->queue(pattern(100, 2), true);  // one LT of 200
  a->queue(pattern(600, 3), true);  // 256 + 256 + 88
  a->queue(pattern(10, 4), false);  // waits for a push
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 10; }));
  EXPECT_TRUE(a->partialPending());
  a->pushOut();
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(sizes, (std::vector<std::size_t>{200, 256, 256, 88, 10}));
  bool ended = false;
  Bytes first(200);
  EXPECT_EQ(b->take(first, &ended), 200u);
  EXPECT_TRUE(ended);
  Bytes some(100);
  b->take(some, &ended);
  EXPECT_FALSE(ended);
}

struct Row {
  dil::PipeState from;
  dil::PipeEvent event;
  dil::PipeState to;
};
class PipeTable : public ::testing::TestWithParam<Row> {};
TEST_P(PipeTable, MovesAsDesigned) {
  auto row = dil::transitionFor(GetParam().from, GetParam().event);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->to, GetParam().to);
}
using S = dil::PipeState;
using E = dil::PipeEvent;
INSTANTIATE_TEST_SUITE_P(Rows, PipeTable,
                         ::testing::Values(Row{S::Idle, E::Listen, S::Listening},
                                           Row{S::Listening, E::PeerCalls, S::Calling},
                                           Row{S::Listening, E::LinkLost, S::Lost},
                                           Row{S::Calling, E::PeerCalls, S::Calling},
                                           Row{S::Calling, E::Accept, S::Accepting},
                                           Row{S::Accepting, E::PeerConfirms, S::Connected},
                                           Row{S::Accepting, E::AcceptFailed, S::Lost},
                                           Row{S::Connected, E::LinkLost, S::Lost},
                                           Row{S::Lost, E::Listen, S::Listening},
                                           Row{S::Connected, E::Disconnect, S::Idle}));

TEST(PipeTable, IgnoresWhatDoesNotApply) {
  EXPECT_FALSE(dil::transitionFor(S::Idle, E::Accept));
  EXPECT_FALSE(dil::transitionFor(S::Listening, E::Accept));  // nobody called yet
  EXPECT_FALSE(dil::transitionFor(S::Connected, E::PeerCalls));
  EXPECT_EQ(dil::reportedState(S::Connected, true), state::kOutputBusy);
  EXPECT_EQ(dil::reportedState(S::Connected, false), state::kConnected);
  EXPECT_EQ(dil::reportedState(S::Accepting, false), state::kCalling);
}

}  // namespace
}  // namespace skiff::mnp
