// Raw dock frames over a connection: what counts as acknowledged, the bound on what waits to be read, and a peer
// that stops taking or hangs up. The connection is scripted; its clock runs only while the stream waits on it.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "dil/raw_transport.h"

namespace skiff::dil {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ScriptedConnection final : mnp::ByteLine {
  std::deque<std::uint8_t> incoming;  // what the peer has sent
  bool peerClosed = false;            // ... and then it closed
  std::size_t room = 1 << 30;         // what the connection takes before it is full
  Bytes written;
  std::int64_t clockUs = 0;
  struct Wait {
    bool input, output;
  };
  std::vector<Wait> waits;

  long readSome(std::span<std::uint8_t> out) override {
    if (incoming.empty()) return peerClosed ? -1 : 0;
    const std::size_t n = std::min(out.size(), incoming.size());
    std::copy_n(incoming.begin(), n, out.begin());
    incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<long>(n);
  }
  bool writeAll(std::span<const std::uint8_t>) override { return false; }  // the stream never blocks on a write
  long writeSome(std::span<const std::uint8_t> bytes) override {
    const std::size_t n = std::min(bytes.size(), room);
    written.insert(written.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    room -= n;
    return static_cast<long>(n);
  }
  void waitReadable(std::int64_t us) override { waitFor(us, true, false); }
  void waitFor(std::int64_t us, bool input, bool output) override {
    waits.push_back({input, output});
    clockUs += us;
  }
  std::int64_t nowUs() override { return clockUs; }
};

Bytes pattern(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

TEST(RawTransport, WhatWaitsToBeReadStaysBoundedAndNothingIsLost) {
  ScriptedConnection line;
  const Bytes sent = pattern(3 << 20);
  line.incoming.assign(sent.begin(), sent.end());
  RawTransport stream(line, 1 << 20);
  stream.service(10);
  EXPECT_EQ(stream.available(), 1u << 20);
  stream.service(10);
  EXPECT_EQ(stream.available(), 1u << 20) << "nobody reads, so the connection is not read either";
  ASSERT_FALSE(line.waits.empty());
  EXPECT_FALSE(line.waits.back().input) << "a full queue must not wake the wait for input over and over";
  Bytes received;
  std::uint8_t piece[500];
  while (received.size() < sent.size()) {
    stream.service(0);
    const std::size_t n = stream.take(piece, nullptr);
    ASSERT_GT(n, 0u);
    received.insert(received.end(), piece, piece + n);
  }
  EXPECT_EQ(received, sent);
  EXPECT_FALSE(stream.lost());
}

TEST(RawTransport, WritesAreAcknowledgedOnlyAsFarAsTheConnectionTookThem) {
  ScriptedConnection line;
  line.room = 300;
  RawTransport stream(line);
  const Bytes frame = pattern(1000);
  stream.queue(frame, true);
  stream.service(10);
  EXPECT_EQ(stream.ackedTotal(), 300u);
  EXPECT_EQ(stream.unacknowledged(), 700u);
  EXPECT_TRUE(stream.awaitingAck());
  stream.service(10);  // the connection is full: the stream waits
  EXPECT_EQ(stream.ackedTotal(), 300u);
  ASSERT_FALSE(line.waits.empty());
  EXPECT_TRUE(line.waits.back().output) << "the wait ends when the connection has room again";
  line.room = 700;
  stream.service(10);
  EXPECT_EQ(stream.unacknowledged(), 0u);
  EXPECT_FALSE(stream.awaitingAck());
  EXPECT_EQ(line.written, frame);
}

TEST(RawTransport, APeerThatTakesNothingForAMinuteIsALostLink) {
  ScriptedConnection line;
  line.room = 0;
  RawTransport stream(line, 1 << 20, 60000);
  stream.queue(pattern(16), true);
  while (line.clockUs < 59'000'000) stream.service(1000);
  EXPECT_FALSE(stream.lost());
  while (line.clockUs < 61'000'000) stream.service(1000);
  EXPECT_TRUE(stream.lost());
}

TEST(RawTransport, APeerThatHangsUpLeavesWhatItSentToReadAndIsNotWaitedForAgain) {
  ScriptedConnection line;
  const std::string last = "newtdockdisc";
  line.incoming.assign(last.begin(), last.end());
  line.peerClosed = true;
  RawTransport stream(line);
  stream.service(10);
  EXPECT_TRUE(stream.lost());
  ASSERT_EQ(stream.available(), last.size());
  std::uint8_t out[12];
  stream.take(out, nullptr);
  EXPECT_EQ(std::string(out, out + 12), last);
  const std::int64_t before = line.clockUs;
  stream.service(10);  // a dead connection is slept on, never spun on
  EXPECT_EQ(line.clockUs - before, 10'000);
  EXPECT_FALSE(line.waits.back().input);
}

}  // namespace
}  // namespace skiff::dil
