#include "newton/newton_link.h"

#include <algorithm>
#include <chrono>

namespace skiff::newton {

namespace {
std::string hexText(const mnp::Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : bytes) text += {digits[byte >> 4], digits[byte & 15]};
  return text;
}

mnp::Policy newtonPolicy(const NewtonOptions& options) {
  mnp::Policy policy;
  policy.baud = options.baud;  // unpaced: no gap to keep
  policy.retransmitMs = options.retransmitMs;
  policy.retransmitFloorMs = options.retransmitMs;  // a Newton's timer is fixed
  policy.retryLimit = options.retryLimit;
  policy.ignoreFirstDuplicate = true;
  policy.ackDelayMs = options.faults.ackDelayMs;
  policy.inputLimit = 4 << 20;
  return policy;
}
}  // namespace

NewtonLink::NewtonLink(mnp::ByteLine& line, NewtonOptions options, std::FILE* log)
    : line_(line), options_(options), log_(log), endpoint_(line, newtonPolicy(options)), random_(options.faults.seed) {
  startUs_ = line_.nowUs();
  endpoint_.log = [this](const std::string& text) { this->log(text); };
  endpoint_.onHandshakeFrame = [this](const mnp::Parsed& frame, const mnp::Bytes& body) {
    if (frame.type != mnp::FrameType::LR) return true;
    auto theirs = mnp::parseLinkRequest(body);
    if (!theirs) return true;
    if (gaveUp_) {
      // The Newton stopped waiting after its last try: the answer comes too late (mnp-facts.md 3a).
      this->log("event refused-late-answer");
      endpoint_.sendBody(mnp::disconnectBody(1));
      return true;
    }
    if (!answered_ && requestsIgnored_ < options_.faults.deafToLinkRequests) {
      ++requestsIgnored_;
      this->log("fault rx-ignore-lr");
      return true;
    }
    if (!answered_) {
      answered_ = true;
      this->log("event desktop-lr " + hexText(body));
      negotiated_ = mnp::negotiate(*mnp::parseLinkRequest(ownLinkRequest()), *theirs);
      endpoint_.sendBody(mnp::ackBody(0, static_cast<std::uint8_t>(negotiated_.window)));
      endpoint_.startDataPhase(negotiated_);
    } else if (endpoint_.receivedTotal() == 0) {
      // The desktop says its LR again: our LA was lost. Confirm once more.
      endpoint_.sendBody(mnp::ackBody(0, static_cast<std::uint8_t>(negotiated_.window)));
    }
    return true;
  };
  endpoint_.txFilter = [this](mnp::Bytes& frame, const mnp::Bytes& body) {
    // A Newton set to another speed than the desktop's port: every byte arrives as some other byte, since the
    // receiving UART samples its bits at the wrong rate (a fixed mapping that never makes 16 10 02).
    if (options_.faults.wrongSpeed) {
      for (auto& byte : frame) byte ^= 0xA5;
      return;
    }
    if (!endpoint_.dataPhase() || body.size() < 2) return;
    if (body[1] == 5 && ++acksSent_ == options_.faults.loseAck) {
      this->log("fault tx-lose-ack");
      frame.clear();
      return;
    }
    if (body[1] != 4 && body[1] != 5) return;
    if (chance(options_.faults.drop)) {
      this->log("fault tx-drop");
      frame.clear();
    } else if (chance(options_.faults.corrupt)) {
      this->log("fault tx-corrupt");
      corrupt(frame);
    }
  };
  // Faults hit data frames and acknowledgements; an LD (never acknowledged, never repeated) always gets through.
  endpoint_.rxFilter = [this](const mnp::DecodeEvent& event) {
    bool dataFrame = event.body.size() >= 2 && (event.body[1] == 4 || event.body[1] == 5);
    if (!endpoint_.dataPhase() || (event.kind == mnp::DecodeEvent::Frame && !dataFrame))
      return mnp::Endpoint::RxVerdict::Keep;
    if (chance(options_.faults.drop)) return mnp::Endpoint::RxVerdict::Drop;
    if (chance(options_.faults.corrupt)) return mnp::Endpoint::RxVerdict::Corrupt;
    return mnp::Endpoint::RxVerdict::Keep;
  };
}

mnp::Bytes NewtonLink::ownLinkRequest() const {
  return mnp::newtonLinkRequest(static_cast<std::uint8_t>(options_.window), options_.habits.offersCompression);
}

bool NewtonLink::chance(double fraction) {
  if (fraction <= 0) return false;
  return std::uniform_real_distribution<double>(0, 1)(random_) < fraction;
}

// One body byte changed so that no DLE appears or vanishes: the frame keeps its shape and its FCS is wrong.
void NewtonLink::corrupt(mnp::Bytes& frame) {
  if (frame.size() < 8) return;
  std::uniform_int_distribution<std::size_t> pick(3, frame.size() - 5);
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::size_t at = pick(random_);
    if (frame[at] == mnp::kDle || frame[at - 1] == mnp::kDle) continue;
    std::uint8_t changed = frame[at] ^ 0x55;
    if (changed == mnp::kDle) changed = frame[at] ^ 0xAA;
    frame[at] = changed;
    return;
  }
  frame[frame.size() - 1] ^= 0x01;  // the FCS itself
}

void NewtonLink::log(const std::string& text) {
  if (log_ == nullptr) return;
  double ms = static_cast<double>(line_.nowUs() - startUs_) / 1000.0;
  std::fprintf(log_, "t=%.3f %s\n", ms, text.c_str());
  std::fflush(log_);
}

// A Newton busy with its store runs no link for a while: it neither acknowledges nor sends, and the bytes that
// reach its port meanwhile are lost, as in a receive buffer nobody empties. The dock protocol document (Apple's
// Dante Connection Protocol ERS) gives such long operations its "helo" keep-alive; the Newton's own MNP tool
// (re-created in the open Newton framework) retries an LT 11 times at 2 s, riding out 22 s of silence itself.
void NewtonLink::stall() {
  stalled_ = true;
  log("event stall ms=" + std::to_string(options_.habits.stallMs));
  const std::int64_t until = line_.nowUs() + static_cast<std::int64_t>(options_.habits.stallMs) * 1000;
  std::uint8_t lost[4096];
  long long dropped = 0;
  for (std::int64_t now = line_.nowUs(); now < until; now = line_.nowUs()) {
    for (long n = line_.readSome(lost); n > 0; n = line_.readSome(lost)) dropped += n;
    line_.waitReadable(std::min<std::int64_t>(until - now, 20'000));
  }
  log("event stall-over lost=" + std::to_string(dropped));
}

void NewtonLink::service(int maxWaitMs) {
  endpoint_.service(maxWaitMs);
  if (!stalled_ && options_.habits.stallAfter >= 0 &&
      static_cast<long long>(endpoint_.receivedTotal()) >= options_.habits.stallAfter)
    stall();
  // A receiver that fills up answers with credit 0 until it has room again (mnp-facts.md 3a).
  const NewtonHabits& habits = options_.habits;
  if (busySpell_ == BusySpell::Ahead && habits.busyAfter >= 0 &&
      static_cast<long long>(endpoint_.receivedTotal()) >= habits.busyAfter) {
    busySpell_ = BusySpell::On;
    busyUntilUs_ = line_.nowUs() + static_cast<std::int64_t>(habits.busyMs) * 1000;
    endpoint_.setBusy(true);
  } else if (busySpell_ == BusySpell::On && line_.nowUs() >= busyUntilUs_) {
    busySpell_ = BusySpell::Over;
    endpoint_.setBusy(false);
  }
  const Faults& faults = options_.faults;
  if (!dropped_ && faults.dropAfter >= 0 &&
      static_cast<long long>(endpoint_.receivedTotal() + endpoint_.ackedTotal()) >= faults.dropAfter) {
    dropped_ = true;
    log("fault drop-link");
    endpoint_.mute();
  }
}

bool NewtonLink::call() {
  const NewtonHabits& habits = options_.habits;
  const auto waitFor = [this](std::int64_t untilUs) {
    while (!answered_ && line_.nowUs() < untilUs) endpoint_.service(10);
  };
  waitFor(line_.nowUs() + static_cast<std::int64_t>(habits.callDelayMs) * 1000);
  log("event calling");
  auto deadline = line_.nowUs() + static_cast<std::int64_t>(options_.callTimeoutMs) * 1000;
  for (int tries = 0; !answered_ && line_.nowUs() < deadline && (habits.callTries == 0 || tries < habits.callTries);
       ++tries) {
    endpoint_.sendBody(ownLinkRequest());
    waitFor(line_.nowUs() + static_cast<std::int64_t>(options_.callIntervalMs) * 1000);
  }
  if (!answered_ && habits.callTries > 0) {
    // Given up after the last try, as a Newton does; a desktop that answers now is refused, which the log shows.
    gaveUp_ = true;
    log("event gave-up");
    waitFor(line_.nowUs() + 1'000'000);
  }
  if (answered_) log("event connected");
  return answered_;
}

bool NewtonLink::connected() const { return endpoint_.dataPhase() && !dropped_; }

bool NewtonLink::read(std::span<std::uint8_t> out, int timeoutMs) {
  auto deadline = line_.nowUs() + static_cast<std::int64_t>(timeoutMs) * 1000;
  while (endpoint_.available() < out.size()) {
    if (!connected()) return false;
    auto left = (deadline - line_.nowUs()) / 1000;
    if (left <= 0) return false;
    service(static_cast<int>(std::min<std::int64_t>(left, 20)));
  }
  endpoint_.take(out, nullptr);
  return true;
}

long NewtonLink::readSome(std::span<std::uint8_t> out, int timeoutMs) {
  auto deadline = line_.nowUs() + static_cast<std::int64_t>(timeoutMs) * 1000;
  while (endpoint_.available() == 0) {
    if (!connected()) return -1;
    auto left = (deadline - line_.nowUs()) / 1000;
    if (left <= 0) return 0;
    service(static_cast<int>(std::min<std::int64_t>(left, 20)));
  }
  return static_cast<long>(endpoint_.take(out, nullptr));
}

bool NewtonLink::write(std::span<const std::uint8_t> message) {
  if (!connected()) return false;
  endpoint_.queue(message, true);
  // Like a Newton application, wait until the desktop has taken it (a bounded wait).
  auto deadline = line_.nowUs() + 60'000'000;
  while (endpoint_.unacknowledged() > 0 && connected() && line_.nowUs() < deadline) service(20);
  return endpoint_.unacknowledged() == 0;
}

bool NewtonLink::post(std::span<const std::uint8_t> message) {
  constexpr std::size_t kAhead = 4096;  // a window of full LTs and the next ones ready
  if (!connected()) return false;
  endpoint_.queue(message, true);
  auto deadline = line_.nowUs() + 60'000'000;
  while (endpoint_.unacknowledged() > kAhead && connected() && line_.nowUs() < deadline) service(20);
  service(0);
  return connected() && endpoint_.unacknowledged() <= kAhead;
}

void NewtonLink::disconnect() {
  if (!connected()) return;
  endpoint_.disconnect(mnp::kReasonUser);
}

void NewtonLink::linger(int ms) {
  auto deadline = line_.nowUs() + static_cast<std::int64_t>(ms) * 1000;
  while (line_.nowUs() < deadline && (connected() || dropped_)) service(20);
}

}  // namespace skiff::newton
