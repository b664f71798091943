#include "dil/tcp_source.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>

#include "core/link_ops.h"
#include "dil/caller_opening.h"
#include "dil/serial.h"

namespace skiff::dil {

namespace {

std::int64_t monotonicUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    if (!text.empty()) text += ' ';
    text += pair;
  }
  return text;
}

}  // namespace

// The chosen caller's connection, with the first bytes already read handed out again before anything else, so
// the link sees the whole stream.
class TcpSource::CallerLine final : public mnp::ByteLine {
 public:
  CallerLine(std::unique_ptr<TcpConnection> connection, const std::vector<std::uint8_t>& firstBytes)
      : connection_(std::move(connection)), unread_(firstBytes.begin(), firstBytes.end()) {}
  ~CallerLine() override { connection_->closeGently(); }
  const std::string& peer() const { return connection_->peer(); }

  long readSome(std::span<std::uint8_t> out) override {
    if (unread_.empty()) return connection_->readSome(out);
    const std::size_t n = std::min(out.size(), unread_.size());
    std::copy_n(unread_.begin(), n, out.begin());
    unread_.erase(unread_.begin(), unread_.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<long>(n);
  }
  bool writeAll(std::span<const std::uint8_t> bytes) override { return connection_->writeAll(bytes); }
  long writeSome(std::span<const std::uint8_t> bytes) override { return connection_->writeSome(bytes); }
  void waitReadable(std::int64_t us) override { waitFor(us, true, false); }
  void waitFor(std::int64_t us, bool input, bool output) override {
    if (input && !unread_.empty()) return;
    connection_->waitFor(us, input, output);
  }
  std::size_t outputQueued() override { return connection_->outputQueued(); }

 private:
  std::unique_ptr<TcpConnection> connection_;
  std::deque<std::uint8_t> unread_;
};

TcpSource::TcpSource(std::string portName, TcpAddress address, int openingWaitMs, const Notice* notice)
    : portName_(std::move(portName)), address_(std::move(address)),
      waitUs_(static_cast<std::int64_t>(std::max(openingWaitMs, 1)) * 1000), notice_(notice) {}

TcpSource::~TcpSource() = default;

std::int32_t TcpSource::prepare() {
  hangUp();
  if (listener_) return code::kOk;
  std::int32_t error = code::kOk;
  listener_ = openTcpListener(address_, &error);
  return listener_ ? code::kOk : error;
}

void TcpSource::hangUp() {
  caller_.reset();
  heard_.clear();
}

std::optional<Caller> TcpSource::poll(int maxWaitMs) {
  if (!listener_) {
    idleWait(maxWaitMs);
    return std::nullopt;
  }
  if (caller_) return Caller{framing_, caller_.get()};
  if (auto caller = hearAll()) return caller;
  if (maxWaitMs <= 0) return std::nullopt;
  // Wait for a caller or a caller's bytes, but not past the end of anyone's wait.
  std::int64_t waitUs = static_cast<std::int64_t>(maxWaitMs) * 1000;
  std::vector<TcpConnection*> connections;
  const std::int64_t now = monotonicUs();
  for (const Heard& heard : heard_) {
    connections.push_back(heard.connection.get());
    waitUs = std::min(waitUs, std::max<std::int64_t>(heard.sinceUs + waitUs_ - now, 1000));
  }
  listener_->waitForActivity(connections, waitUs);
  return hearAll();
}

void TcpSource::refuseNewcomers() {
  if (!listener_) return;
  while (auto newcomer = listener_->acceptOne()) refuse(*newcomer, "a Newton is already connected");
}

void TcpSource::dropCaller(CallMissed why) {
  if (caller_) {
    const std::string& peer = caller_->peer();
    say(why == CallMissed::HungUp ? "the connection from " + peer + " closed before the Newton called"
                                  : "refused the connection from " + peer + ": no MNP link request in " + waitText());
  }
  caller_.reset();
}

void TcpSource::takeNewcomers() {
  while (auto newcomer = listener_->acceptOne()) {
    if (heard_.size() >= kMaxHeard) {
      refuse(*newcomer, std::to_string(kMaxHeard) + " other callers are still being heard");
      continue;
    }
    heard_.push_back({std::move(newcomer), {}, monotonicUs()});
  }
}

std::optional<Caller> TcpSource::hearAll() {
  takeNewcomers();
  for (std::size_t i = 0; i < heard_.size();) {
    std::optional<Framing> framing;
    if (!stillHeard(heard_[i], &framing)) {
      heard_.erase(heard_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (framing) {
      framing_ = *framing;
      caller_ = std::make_unique<CallerLine>(std::move(heard_[i].connection), heard_[i].firstBytes);
      heard_.erase(heard_.begin() + static_cast<std::ptrdiff_t>(i));
      // The others may have connected earlier, but this one called first.
      for (Heard& other : heard_) refuse(*other.connection, "a Newton called on another connection before this one called");
      heard_.clear();
      return Caller{framing_, caller_.get()};
    }
    ++i;
  }
  return std::nullopt;
}

bool TcpSource::stillHeard(Heard& heard, std::optional<Framing>* framing) {
  // Never more than the decision needs: whatever follows stays in the connection for the link to read.
  std::uint8_t piece[kOpeningBytes];
  const std::size_t room = kOpeningBytes - heard.firstBytes.size();
  const long got = room > 0 ? heard.connection->readSome(std::span<std::uint8_t>(piece, room)) : 0;
  if (got > 0) heard.firstBytes.insert(heard.firstBytes.end(), piece, piece + got);
  const std::string peer = heard.connection->peer();
  switch (classifyOpening(heard.firstBytes)) {
    case Opening::Mnp: *framing = Framing::Mnp; return true;
    case Opening::Dock: *framing = Framing::RawDock; return true;
    case Opening::Garbage:
      refuse(*heard.connection, "it began with " + hexBytes(heard.firstBytes) +
                                    ", neither MNP (16 10 02) nor a dock frame (newtdock)");
      return false;
    case Opening::NeedMore: break;
  }
  const std::string sent = heard.firstBytes.empty() ? "nothing" : "only " + hexBytes(heard.firstBytes);
  if (got < 0) {
    say("the connection from " + peer + " closed after it sent " + sent);
    return false;
  }
  if (monotonicUs() - heard.sinceUs >= waitUs_) {
    refuse(*heard.connection, "it sent " + sent + " in " + waitText());
    return false;
  }
  return true;
}

void TcpSource::say(const std::string& text) const {
  if (notice_ != nullptr && *notice_) (*notice_)(text);
}

void TcpSource::refuse(TcpConnection& connection, const std::string& why) const {
  say("refused the connection from " + connection.peer() + ": " + why);
}

std::string TcpSource::waitText() const {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", static_cast<double>(waitUs_) / 1e6);
  return text;
}

}  // namespace skiff::dil
