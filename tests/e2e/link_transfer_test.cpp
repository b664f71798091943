// Byte streams over the real link: exact both ways, on a clean line and on a lossy one.
#include <cstdio>
#include <regex>

#include "newton/test_data.h"
#include "tests/e2e/link_fixture.h"

namespace skiff::e2e {
namespace {

using LinkTransfer = LinkFixture;
constexpr std::size_t kMiB = 1 << 20;

std::string fnvHex(const std::vector<std::uint8_t>& bytes) {
  char text[20];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(newton::fnv1a(bytes)));
  return text;
}

// Writes `data` in 2048-byte messages while taking the echo back as it comes; returns what came back.
std::vector<std::uint8_t> echoThrough(LinkFixture& f, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> echoed;
  std::vector<std::uint8_t> part;
  auto takeWhatWaits = [&] {
    std::int32_t waiting = 0;
    if (f.link->pipeBytesAvailable(f.pipe, side::kInput, &waiting) == 0 && waiting > 0) {
      EXPECT_EQ(f.read(part, static_cast<std::size_t>(waiting)), 0);
      echoed.insert(echoed.end(), part.begin(), part.end());
    }
  };
  for (std::size_t at = 0; at < data.size(); at += 2048) {
    std::vector<std::uint8_t> chunk(data.begin() + static_cast<long>(at),
                                    data.begin() + static_cast<long>(std::min(at + 2048, data.size())));
    std::int16_t result = f.write(chunk);
    EXPECT_EQ(result, 0) << "at " << at;
    if (result != 0) return echoed;
    takeWhatWaits();
  }
  if (echoed.size() < data.size()) {
    EXPECT_EQ(f.read(part, data.size() - echoed.size(), 60000), 0);
    echoed.insert(echoed.end(), part.begin(), part.end());
  }
  return echoed;
}

// Echoes `data` through the simulated Newton, checks it came back exactly, hangs up and checks the simulator
// ended well.
void expectExactEchoThenHangUp(LinkFixture& f, const std::vector<std::uint8_t>& data) {
  auto echoed = echoThrough(f, data);
  ASSERT_EQ(echoed.size(), data.size());
  EXPECT_TRUE(echoed == data);
  f.link->pipeDisconnect(f.pipe);
  EXPECT_EQ(f.simExit(), 0);
}

TEST_F(LinkTransfer, OneMebibyteEachWayArrivesExactly) {
  startSim({"echo"});
  connect();
  expectExactEchoThenHangUp(*this, newton::patternBytes(kMiB, 11));
  EXPECT_NE(sim->output().find("echoed 1048576"), std::string::npos) << sim->output();
}

TEST_F(LinkTransfer, LossyLineStillDeliversExactlyOnce) {
  tuning.retransmitMs = 15;
  startSim({"--retransmit-ms", "15", "--corrupt", "0.05", "--drop", "0.02", "--seed", "5", "echo"});
  connect();
  expectExactEchoThenHangUp(*this, newton::patternBytes(kMiB, 12));
  std::string log = readFile(logPath);
  EXPECT_NE(log.find("fault tx-corrupt"), std::string::npos);
  EXPECT_NE(log.find("fault tx-drop"), std::string::npos);
  EXPECT_NE(log.find("fault rx-corrupt"), std::string::npos);
  EXPECT_NE(log.find("fault rx-drop"), std::string::npos);
}

TEST_F(LinkTransfer, WindowOfEightOnALossyLineGoesBackAndStaysExact) {
  tuning.window = 8;
  tuning.retransmitMs = 15;
  startSim({"--retransmit-ms", "15", "--corrupt", "0.03", "--drop", "0.01", "--seed", "8", "echo"});
  connect();
  expectExactEchoThenHangUp(*this, newton::patternBytes(256 * 1024, 16));
  std::string log = readFile(logPath);
  EXPECT_NE(log.find("window=8 info=256"), std::string::npos);
  EXPECT_NE(log.find("retransmit"), std::string::npos);
}

// A USB-serial adapter hands the desktop what it received only when its latency timer runs out (or a USB packet
// is full): a short answer takes at least the timer, and the stream stays exact at either window.
TEST_F(LinkTransfer, AdapterLatencyDelaysShortAnswersAndKeepsTheStreamExact) {
  for (int window : {1, 8}) {
    tuning.window = window;
    startSim({"--adapter-latency", "16", "echo"});
    connect();
    const std::vector<std::uint8_t> one{0x42};
    const std::int64_t start = msNow();
    auto echoed = echoThrough(*this, one);
    EXPECT_GE(msNow() - start, 16) << "window " << window;
    EXPECT_EQ(echoed, one);
    expectExactEchoThenHangUp(*this, newton::patternBytes(64 * 1024, 17));
  }
}

TEST_F(LinkTransfer, SequenceNumbersWrapPastFF) {
  const std::size_t count = 300 * 256;  // 300 full LTs
  startSim({"sink", "--expect", std::to_string(count)});
  connect();
  auto data = newton::patternBytes(count, 13);
  EXPECT_EQ(write(data), 0);
  link->pipeDisconnect(pipe);
  EXPECT_EQ(simExit(), 0);
  EXPECT_NE(sim->output().find("received " + std::to_string(count) + " fnv1a=" + fnvHex(data)), std::string::npos)
      << sim->output();
  std::string log = readFile(logPath);
  auto ff = log.find("rx LT ns=255 len=256");
  ASSERT_NE(ff, std::string::npos);
  auto zero = log.find("rx LT ns=0 len=256", ff);
  ASSERT_NE(zero, std::string::npos);
  EXPECT_NE(log.find("tx LA nr=0 credit=1", ff), std::string::npos);
  EXPECT_NE(log.find("rx LT ns=44 len=256", zero), std::string::npos);  // 300 = 256 + 44
}

TEST_F(LinkTransfer, LostAcknowledgementIsRecoveredByRetransmission) {
  startSim({"--lose-ack", "3", "sink", "--expect", "1024"});
  connect();
  auto data = newton::patternBytes(1024, 14);
  EXPECT_EQ(write(data), 0);
  link->pipeDisconnect(pipe);
  EXPECT_EQ(simExit(), 0);
  EXPECT_NE(sim->output().find("received 1024 fnv1a=" + fnvHex(data)), std::string::npos) << sim->output();
  std::string log = readFile(logPath);
  // LT 3 went three times: its LA was lost, the Newton ignored the first repeat and answered the second.
  std::regex lt3("rx LT ns=3 len=256");
  auto copies = std::distance(std::sregex_iterator(log.begin(), log.end(), lt3), std::sregex_iterator());
  EXPECT_EQ(copies, 3) << log;
  EXPECT_NE(log.find("fault tx-lose-ack"), std::string::npos);
  EXPECT_NE(log.find("ignore duplicate"), std::string::npos);
}

TEST_F(LinkTransfer, MessagesEndTheirFrames) {
  startSim({"sink", "--expect", "20"});
  connect();
  // Two writes without end of message, then one with it: one LT. Then a message of its own: a second LT.
  EXPECT_EQ(write({'n', 'e', 'w', 't', 'd', 'o', 'c', 'k'}, 0), 0);
  EXPECT_EQ(write({'l', 'p', 'k', 'g'}, 0), 0);
  EXPECT_EQ(write({0, 0, 0, 4}, 1), 0);
  EXPECT_EQ(write({1, 2, 3, 4}, 1), 0);
  link->pipeDisconnect(pipe);
  EXPECT_EQ(simExit(), 0);
  std::string log = readFile(logPath);
  EXPECT_NE(log.find("rx LT ns=1 len=16"), std::string::npos) << log;
  EXPECT_NE(log.find("rx LT ns=2 len=4"), std::string::npos) << log;
}

TEST_F(LinkTransfer, NewtonToDesktopStreamIsExactWithEndOfMessage) {
  startSim({"source", "--bytes", "5000", "--seed", "3"});
  connect();
  std::vector<std::uint8_t> got;
  std::int32_t length = 1024;
  std::vector<std::uint8_t> part(1024);
  std::uint8_t endOfMessage = 0;
  ASSERT_EQ(link->pipeRead(pipe, part.data(), &length, &endOfMessage, 0, 0, 15000, nullptr, 0), 0);
  EXPECT_EQ(length, 1024);
  EXPECT_EQ(endOfMessage, 1);  // the Newton's 1024-byte message ended there
  got = part;
  std::vector<std::uint8_t> rest;
  ASSERT_EQ(read(rest, 5000 - 1024), 0);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_TRUE(got == newton::patternBytes(5000, 3));
}

TEST_F(LinkTransfer, DeadLineIsALostLink) {
  tuning.retryLimit = 4;
  startSim({"--drop-after", "3000", "sink"});
  connect();
  auto data = newton::patternBytes(20000, 15);
  std::int64_t start = msNow();
  EXPECT_EQ(write(data), code::kDisconnected);
  EXPECT_LT(msNow() - start, 10000);
  EXPECT_EQ(link->pipeState(pipe), state::kLost);
  std::vector<std::uint8_t> reply;
  EXPECT_EQ(read(reply, 1, 100), code::kDisconnected);
}

struct Completed {
  std::vector<std::intptr_t> order;
};
Completed* completedSink = nullptr;
void recordCompletion(std::int32_t, std::intptr_t refCon) { completedSink->order.push_back(refCon); }

TEST_F(LinkTransfer, AsynchronousWritesCompleteOncePerWriteInOrder) {
  const int writes = 12;
  startSim({"sink", "--expect", std::to_string(writes * 2048)});
  connect();
  Completed completed;
  completedSink = &completed;
  std::vector<std::vector<std::uint8_t>> chunks;
  for (int i = 0; i < writes; ++i) chunks.push_back(newton::patternBytes(2048, 100 + static_cast<unsigned>(i)));
  for (int i = 0; i < writes; ++i) {
    std::int32_t length = 2048;
    EXPECT_EQ(link->pipeWrite(pipe, chunks[static_cast<std::size_t>(i)].data(), &length, 1, 0, 0, 15000,
                              recordCompletion, i),
              0);
  }
  EXPECT_TRUE(completed.order.empty());  // routines run from pipeIdle only
  std::int32_t pending = 0;
  EXPECT_EQ(link->pipeBytesAvailable(pipe, side::kOutput, &pending), 0);
  EXPECT_GT(pending, 0);
  EXPECT_EQ(link->pipeState(pipe), state::kOutputBusy);
  std::int64_t deadline = msNow() + 30000;
  while (completed.order.size() < static_cast<std::size_t>(writes) && msNow() < deadline) link->pipeIdle(pipe);
  for (int i = 0; i < 20; ++i) link->pipeIdle(pipe);  // no routine runs twice
  std::vector<std::intptr_t> expected;
  for (int i = 0; i < writes; ++i) expected.push_back(i);
  EXPECT_EQ(completed.order, expected);
  EXPECT_EQ(link->pipeBytesAvailable(pipe, side::kOutput, &pending), 0);
  EXPECT_EQ(pending, 0);
  EXPECT_EQ(link->pipeState(pipe), state::kConnected);
  link->pipeDisconnect(pipe);
  EXPECT_EQ(simExit(), 0);
  completedSink = nullptr;
}

}  // namespace
}  // namespace skiff::e2e
