// Two MNP endpoints joined by an in-memory line on a virtual clock: the data phase without a serial port.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "core/link_ops.h"
#include "dil/mnp_endpoint.h"
#include "dil/pipe_states.h"
#include "tests/support/recorded_session.h"
#include "tests/support/sample_package.h"

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
  // Paced (baud above 0): what this end writes takes its time on the line, byte after byte, and then waits in
  // the peer's USB adapter until its latency timer runs out (every adapterUs; 0: no adapter).
  int baud = 0;
  std::int64_t adapterUs = 0;
  long readSome(std::span<std::uint8_t> out) override {
    while (!coming.empty() && coming.front().first <= wire_.nowUs) {
      inbox.push_back(coming.front().second);
      coming.pop_front();
    }
    std::size_t n = std::min(out.size(), inbox.size());
    std::copy_n(inbox.begin(), n, out.begin());
    inbox.erase(inbox.begin(), inbox.begin() + static_cast<long>(n));
    return static_cast<long>(n);
  }
  bool writeAll(std::span<const std::uint8_t> bytes) override {
    if (baud <= 0) {
      peer->inbox.insert(peer->inbox.end(), bytes.begin(), bytes.end());
      return true;
    }
    for (std::uint8_t byte : bytes) {
      lineFreeUs_ = std::max(lineFreeUs_, wire_.nowUs) + 10'000'000 / baud;
      const std::int64_t at = peer->adapterUs > 0 ? (lineFreeUs_ / peer->adapterUs + 1) * peer->adapterUs : lineFreeUs_;
      peer->coming.emplace_back(at, byte);
    }
    return true;
  }
  void waitReadable(std::int64_t us) override {
    us = std::max<std::int64_t>(us, 1);
    if (inbox.empty() && !coming.empty()) us = std::clamp<std::int64_t>(coming.front().first - wire_.nowUs, 1, us);
    wire_.nowUs += us;
  }
  std::size_t outputQueued() override {
    if (stuckOutput) return 100;
    return lineFreeUs_ > wire_.nowUs ? static_cast<std::size_t>((lineFreeUs_ - wire_.nowUs) * baud / 10'000'000) + 1 : 0;
  }
  bool stuckOutput = false;  // a driver whose output count never falls
  std::int64_t nowUs() override { return wire_.nowUs; }

 private:
  Wire& wire_;
  std::deque<std::pair<std::int64_t, std::uint8_t>> coming;  // on the line or in the adapter: when it arrives
  std::int64_t lineFreeUs_ = 0;
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
  void start(int window, bool v42bis = false) {
    a = std::make_unique<Endpoint>(lineA, desktop);
    b = std::make_unique<Endpoint>(lineB, newton);
    LinkParams params;
    params.window = static_cast<std::uint8_t>(window);
    params.optimisation = 3;
    if (v42bis) params.v42bis = V42bisOffer{kBothDirections, {1024, 250}};
    a->startDataPhase(params);
    b->startDataPhase(params);
  }
  // Services both ends until `done` or `limitUs` of virtual time.
  template <typename Done>
  bool runUntil(Done done, std::int64_t limitUs = 60'000'000) {
    std::int64_t deadline = wire.nowUs + limitUs;
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
  for (bool v42bis : {false, true}) {
    SetUp();
    start(8, v42bis);
    std::size_t onTheWire = 0;
    a->txFilter = [&](Bytes&, const Bytes& body) { onTheWire += body[1] == 4 ? body.size() - 3 : 0; };
    Bytes toNewton = test::prose(40000), toDesktop = pattern(30000, 5);
    a->queue(toNewton, true);
    b->queue(toDesktop, true);
    ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0 && b->unacknowledged() == 0; }));
    EXPECT_EQ(drain(*b), toNewton);
    EXPECT_EQ(drain(*a), toDesktop);
    EXPECT_EQ(a->retransmissions(), 0u);
    EXPECT_EQ(b->receivedTotal(), toNewton.size());  // counted in the application's bytes
    EXPECT_TRUE(v42bis ? onTheWire < toNewton.size() / 2 : onTheWire == toNewton.size()) << onTheWire;
  }
}

// A compressed LT that goes again is the same bytes: decoded once, the stream stays whole.
TEST_F(EndpointPair, LostFramesAreSentAgainAndDeliveredOnce) {
  for (auto [window, v42bis] : {std::pair{1, false}, {8, false}, {1, true}, {8, true}}) {
    SetUp();
    start(window, v42bis);
    int frames = 0;
    a->txFilter = [&](Bytes& frame, const Bytes& body) {
      if (body.size() > 1 && body[1] == 4 && ++frames % 5 == 0) frame.clear();  // every fifth LT is lost
    };
    int acks = 0;
    b->txFilter = [&](Bytes& frame, const Bytes& body) {
      if (body.size() > 1 && body[1] == 5 && ++acks % 7 == 0) frame[frame.size() / 2] ^= 0x01;  // a broken LA
    };
    Bytes data = v42bis ? test::prose(40000) : pattern(20000, 9);
    a->queue(data, true);
    ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; })) << "window " << window;
    EXPECT_EQ(drain(*b), data) << "window " << window;
    EXPECT_GT(a->retransmissions(), 0u);
    EXPECT_EQ(b->down(), LinkDown::None);
  }
}

TEST_F(EndpointPair, NewtonIgnoresTheFirstRepeatAndAnswersTheSecond) {
  desktop.retransmitMs = 2000;
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
  const std::int64_t begin = wire.nowUs;
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(sent, 3);  // the original, the ignored repeat, the answered repeat
  EXPECT_EQ(drain(*b), data);
  // The lost LA costs the timer's floor and its double, not two periods of 2 s.
  EXPECT_LT(wire.nowUs - begin, 200'000);
}

TEST_F(EndpointPair, ASlowNewtonIsLearntAndNotAskedAgain) {
  desktop.retransmitMs = 2000;
  newton.ackDelayMs = 300;  // every LA comes 300 ms after its LT
  start(1);
  Bytes data = pattern(20 * 256, 4);
  a->queue(data, true);
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(drain(*b), data);
  // The first LTs go again while the timer backs off from its floor; once an LA times an LT that went only
  // once, the timer waits long enough.
  EXPECT_GT(a->retransmissions(), 0u);
  EXPECT_LE(a->retransmissions(), 4u);
}

TEST_F(EndpointPair, SilentPeerEndsInTheRetryLimit) {
  desktop.retryLimit = 3;
  start(1);
  b->mute();
  a->queue(pattern(10, 1), true);
  std::int64_t begin = wire.nowUs;
  ASSERT_TRUE(runUntil([&] { return a->down() != LinkDown::None; }));
  EXPECT_EQ(a->down(), LinkDown::RetryLimit);
  // Four timer periods, doubling from the floor (32 ms at 38400) to the ceiling of 100 ms, each plus the
  // frame's own time on the line, before giving up.
  EXPECT_GE(wire.nowUs - begin, 32'031 + 64'062 + 100'000 + 100'000);
  EXPECT_LT(wire.nowUs - begin, 400'000);
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

// Compressed, every message still ends its LT, flushed so that the peer decodes all of it; a part waits for a
// push, which flushes it too; the counts are of the application's bytes.
TEST_F(EndpointPair, CompressedMessagesEndTheirLts) {
  start(1, true);
  const Bytes text = test::prose(3000);
  a->queue(std::span(text).first(100), false);
  a->queue(std::span(text).subspan(100, 100), true);   // one message of 200
  a->queue(std::span(text).subspan(200, 2000), true);  // several LTs, the last one ending it
  a->queue(std::span(text).subspan(2200, 10), false);  // waits for a push
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 10; }));
  EXPECT_TRUE(a->partialPending());
  EXPECT_EQ(b->receivedTotal(), 2200u);
  a->pushOut();
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(drain(*b), Bytes(text.begin(), text.begin() + 2210));
}

// The desktop's LTs of the recorded session, each fourth one twice as after a lost LA, through an end that
// agreed V.42bis: delivered once each, they make the desktop's dock traffic.
TEST_F(EndpointPair, RecordedDesktopFramesDecodeThroughTheLink) {
  start(8, true);
  const auto session = test::recordedSession();
  ASSERT_FALSE(session.empty()) << test::recordedSessionFile();
  int lts = 0;
  for (const auto& frame : session) {
    if (frame.fromNewton || frame.bytes.size() < 5 || frame.bytes[4] != 0x04) continue;
    const int copies = ++lts % 4 == 0 ? 2 : 1;
    for (int copy = 0; copy < copies; ++copy) {
      lineB.inbox.insert(lineB.inbox.end(), frame.bytes.begin(), frame.bytes.end());
      b->service(0);
    }
  }
  EXPECT_EQ(lts, 36);
  EXPECT_EQ(b->down(), LinkDown::None);
  const Bytes stream = drain(*b);
  ASSERT_EQ(stream.size(), 8552u);
  EXPECT_EQ(std::string(stream.begin(), stream.begin() + 12), "newtdockdock");
  EXPECT_EQ(std::string(stream.end() - 16, stream.end()), std::string("newtdockopdn\0\0\0\0", 16));
}

TEST_F(EndpointPair, UndecodableCompressedDataIsALostLink) {
  start(1, true);
  const Bytes garbage = encodeFrame(dataBody(1, Bytes{0x41, 0x00, 0x07}));  // no such command after the escape
  lineA.inbox.insert(lineA.inbox.end(), garbage.begin(), garbage.end());
  ASSERT_TRUE(runUntil([&] { return b->down() != LinkDown::None; }));
  EXPECT_EQ(a->down(), LinkDown::BadData);
  EXPECT_EQ(b->down(), LinkDown::PeerDisconnected);  // told with an LD
  EXPECT_EQ(a->available(), 0u);  // nothing of the broken LT is delivered
}

// --- the peer's credit ----------------------------------------------------------------------------------------

// The Newton's receiver fills after its first LT and frees again after a spell: the desktop sends nothing new
// meanwhile, asks again only on its timer (without using up tries), resumes at the window-open LA and never
// counts the spell as a dead line.
struct BusyCase {
  const char* name;
  int window;
  std::int64_t spellUs;
  std::int64_t minAsked;  // the timer counts the outstanding frames' time on the line too
};
class BusySpell : public EndpointPair, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusySpell, NothingNewWhileBusyAndResumesAtOnce) {
  desktop.retryLimit = 3;  // the spell lasts far longer than three timer periods
  start(GetParam().window);
  struct Sent {
    std::int64_t atUs;
    std::uint8_t sequence;
  };
  std::vector<Sent> sent;
  a->txFilter = [&](Bytes&, const Bytes& body) {
    if (body.size() > 2 && body[1] == 4) sent.push_back({wire.nowUs, body[2]});
  };
  std::vector<std::uint8_t> credits;
  b->txFilter = [&](Bytes&, const Bytes& body) {
    if (body.size() > 3 && body[1] == 5) credits.push_back(body[3]);
  };
  Bytes data = pattern(4000, 6);
  a->queue(data, true);
  ASSERT_TRUE(runUntil([&] { return b->receivedTotal() > 0; }));
  b->setBusy(true);
  ASSERT_TRUE(runUntil([&] { return a->peerBusy(); }));
  const std::size_t sentBefore = sent.size();
  const std::uint8_t highest = sent.back().sequence;
  runUntil([] { return false; }, GetParam().spellUs);
  EXPECT_EQ(a->down(), LinkDown::None);
  for (std::size_t i = sentBefore; i < sent.size(); ++i) EXPECT_LE(sent[i].sequence, highest) << "a new LT";
  // Asked again once a timer period (100 ms plus the frames' time), one LT at a time.
  const auto asked = static_cast<std::int64_t>(sent.size() - sentBefore);
  EXPECT_GE(asked, GetParam().minAsked);
  EXPECT_LE(asked, GetParam().spellUs / 100'000 + 1);
  const std::size_t beforeOpen = sent.size();
  const std::int64_t openedUs = wire.nowUs;
  b->setBusy(false);
  ASSERT_TRUE(runUntil([&] { return sent.size() > beforeOpen; }));
  EXPECT_LT(sent[beforeOpen].atUs - openedUs, 20'000) << "waited for the timer";
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(drain(*b), data);
  EXPECT_NE(std::find(credits.begin(), credits.end(), 0), credits.end());
  EXPECT_EQ(credits.back(), GetParam().window);
}

INSTANTIATE_TEST_SUITE_P(Cases, BusySpell,
                         ::testing::Values(BusyCase{"WindowOneTwentySeconds", 1, 20'000'000, 100},
                                           BusyCase{"WindowEightFiveSeconds", 8, 5'000'000, 6}),
                         [](const auto& info) { return info.param.name; });

TEST_F(EndpointPair, PeerBusyPastTheLongBoundIsALostLink) {
  desktop.busyLimitMs = 60000;
  start(1);
  a->queue(pattern(1000, 2), true);
  ASSERT_TRUE(runUntil([&] { return b->receivedTotal() > 0; }));
  b->setBusy(true);
  ASSERT_TRUE(runUntil([&] { return a->peerBusy(); }));
  const std::int64_t busySince = wire.nowUs;
  ASSERT_TRUE(runUntil([&] { return a->down() != LinkDown::None; }, 70'000'000));
  EXPECT_EQ(a->down(), LinkDown::PeerBusy);
  EXPECT_GE(wire.nowUs - busySince, 59'900'000);
  EXPECT_LT(wire.nowUs - busySince, 61'000'000);
  ASSERT_TRUE(runUntil([&] { return b->down() != LinkDown::None; }));
  EXPECT_EQ(b->down(), LinkDown::PeerDisconnected);  // told with an LD
}

TEST_F(EndpointPair, RepeatedNrWithCreditStillRetransmitsAtOnce) {
  start(1);
  bool broken = false;
  a->txFilter = [&](Bytes& frame, const Bytes& body) {
    if (!broken && body.size() > 2 && body[1] == 4 && body[2] == 2) {
      broken = true;
      frame[frame.size() / 2] ^= 0x01;  // the Newton answers with its last good N(R), credit 1
    }
  };
  Bytes data = pattern(600, 4);
  a->queue(data, true);
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(drain(*b), data);
  EXPECT_EQ(a->retransmissions(), 1u);
  EXPECT_LT(wire.nowUs, 100'000) << "waited for the timer";
}

// --- one go-back for each loss -------------------------------------------------------------------------------

// 24 full LTs to the Newton over 38400 bit/s, its answers behind a 16 ms USB adapter, and one fault. A repeat of
// the last good N(R) that answers an LT sent after the first unacknowledged one means a loss and goes back at
// once; the repeats that answer the rest of a window already gone back over say nothing new.
enum class Fault {
  LostLt,           // LT 3 never arrives
  BrokenLt,         // LT 3 arrives broken: the Newton repeats its last good N(R) at once
  LostLa,           // the LA for LT 3 is lost
  LostWindowOfLas,  // the LAs for the first window are lost and all come 20 ms late: the timer goes back, and
                    // after the LA that takes the window come repeats of its N(R) answering LTs sent before it
};
struct GoBackCase {
  const char* name;
  int window;
  Fault fault;
  int repeatGoBacks;  // go-backs on a repeated N(R)
  int timerGoBacks;
  int sent;           // LTs sent, repeats included
};
class GoBack : public EndpointPair, public ::testing::WithParamInterface<GoBackCase> {};

TEST_P(GoBack, OncePerLoss) {
  const GoBackCase& c = GetParam();
  desktop.retransmitMs = 2000;
  newton.retransmitMs = 2000;
  newton.ackDelayMs = c.fault == Fault::LostWindowOfLas ? 20 : 0;
  lineA.baud = lineB.baud = 38400;
  lineA.adapterUs = 16'000;
  start(c.window);
  int repeatGoBacks = 0, timerGoBacks = 0;
  a->log = [&](const std::string& line) {
    repeatGoBacks += line == "retransmit repeat-la";
    timerGoBacks += line == "retransmit timer";
  };
  bool struck = false;
  a->txFilter = [&](Bytes& frame, const Bytes& body) {
    if (struck || body[1] != 4 || body[2] != 3) return;
    struck = c.fault == Fault::LostLt || c.fault == Fault::BrokenLt;
    if (c.fault == Fault::LostLt) frame.clear();
    if (c.fault == Fault::BrokenLt) frame[frame.size() / 2] ^= 0x01;
  };
  int acks = 0;
  b->txFilter = [&](Bytes& frame, const Bytes& body) {
    if (body[1] != 5) return;
    ++acks;
    const bool lostLa = c.fault == Fault::LostLa && body[2] == 3 && !struck;
    if (lostLa || (c.fault == Fault::LostWindowOfLas && acks <= c.window)) frame.clear();
    struck = struck || lostLa;
  };
  const Bytes data = pattern(24 * 256, 3);
  a->queue(data, true);
  ASSERT_TRUE(runUntil([&] { return a->unacknowledged() == 0; }));
  EXPECT_EQ(drain(*b), data);
  EXPECT_EQ(repeatGoBacks, c.repeatGoBacks);
  EXPECT_EQ(timerGoBacks, c.timerGoBacks);
  EXPECT_EQ(a->transmissions(), static_cast<std::uint64_t>(c.sent));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GoBack,
    ::testing::Values(GoBackCase{"LostLtWindow1", 1, Fault::LostLt, 0, 1, 25},
                      GoBackCase{"LostLtWindow2", 2, Fault::LostLt, 1, 0, 26},
                      GoBackCase{"LostLtWindow8", 8, Fault::LostLt, 1, 0, 27},
                      GoBackCase{"BrokenLtWindow1", 1, Fault::BrokenLt, 1, 0, 25},
                      GoBackCase{"BrokenLtWindow2", 2, Fault::BrokenLt, 1, 0, 26},
                      GoBackCase{"BrokenLtWindow8", 8, Fault::BrokenLt, 1, 0, 26},
                      GoBackCase{"LostLaWindow1", 1, Fault::LostLa, 0, 2, 26},
                      GoBackCase{"LostLaWindow2", 2, Fault::LostLa, 0, 0, 24},
                      GoBackCase{"LostLaWindow8", 8, Fault::LostLa, 0, 0, 24},
                      GoBackCase{"LostWindowOfLasWindow1", 1, Fault::LostWindowOfLas, 0, 2, 26},
                      GoBackCase{"LostWindowOfLasWindow2", 2, Fault::LostWindowOfLas, 0, 1, 26},
                      GoBackCase{"LostWindowOfLasWindow8", 8, Fault::LostWindowOfLas, 0, 1, 26}),
    [](const auto& info) { return std::string(info.param.name); });

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
