#include "dil/mnp_endpoint.h"

#include <algorithm>
#include <cstdio>

namespace skiff::mnp {

namespace {
constexpr std::size_t kReadChunk = 4096;
constexpr std::size_t kMaxReadPerPass = 64 * 1024;  // keeps one pass short on a fast line
constexpr std::int64_t kBodyWaitUs = 200'000;      // longest wait for the gap before a control frame
constexpr std::int64_t kPromptUs = 10'000;         // a pass this soon after the last one reads what just came
constexpr std::size_t kMaxAwaited = 256;           // transmissions whose answers are looked for at most

const char* typeName(std::uint8_t type) {
  switch (type) {
    case 1: return "LR";
    case 2: return "LD";
    case 4: return "LT";
    case 5: return "LA";
    default: return "other";
  }
}
}  // namespace

namespace {
RetransmitTimer timerFor(const Policy& policy) {
  const std::int64_t floorUs = policy.retransmitFloorMs >= 0 ? std::int64_t{policy.retransmitFloorMs} * 1000
                                                             : answerFloorUs(policy.baud, policy.gapChars);
  return RetransmitTimer(floorUs, std::int64_t{policy.retransmitMs} * 1000);
}
}  // namespace

Endpoint::Endpoint(ByteLine& line, Policy policy) : line_(line), policy_(policy), timer_(timerFor(policy)) {}

std::int64_t Endpoint::wireUs(std::size_t bytes) const {
  return policy_.baud > 0 ? static_cast<std::int64_t>(bytes) * 10'000'000 / policy_.baud : 0;
}

std::int64_t Endpoint::timerUs() const {
  std::size_t bytes = 0;
  for (const auto& sent : outstanding_) bytes += sent.frame.size();
  // A busy peer is asked again at the slow pace: it said it is there, only full.
  return (peerBusy_ ? timer_.ceilingUs() : timer_.timeoutUs()) + wireUs(bytes);
}

void Endpoint::logFrame(const char* direction, const Bytes& body) {
  if (!log || body.size() < 2) return;
  char text[96];
  auto parsed = parseBody(body);
  if (parsed && parsed->type == FrameType::LT) {
    std::snprintf(text, sizeof text, "%s LT ns=%u len=%zu", direction, parsed->sequence, parsed->info.size());
  } else if (parsed && parsed->type == FrameType::LA) {
    std::snprintf(text, sizeof text, "%s LA nr=%u credit=%u", direction, parsed->sequence, parsed->credit);
  } else if (parsed && parsed->type == FrameType::LD) {
    std::snprintf(text, sizeof text, "%s LD reason=%u", direction, parsed->reason);
  } else {
    std::snprintf(text, sizeof text, "%s %s len=%zu", direction, typeName(body[1]), body.size());
  }
  log(text);
}

// --- frame output -------------------------------------------------------------------------------------------

bool Endpoint::mayWrite() {
  if (muted_ || down_ == LinkDown::LineFailed) return false;
  std::int64_t now = line_.nowUs();
  if (awaitingDrain_ && (line_.outputQueued() == 0 || now >= drainByUs_)) {
    awaitingDrain_ = false;
    nextSendUs_ = now + wireUs(static_cast<std::size_t>(policy_.gapChars));
  }
  return !awaitingDrain_ && now >= nextSendUs_;
}

void Endpoint::writeFrame(Bytes frame, const Bytes& body) {
  logFrame("tx", body);
  if (txFilter) txFilter(frame, body);
  if (!frame.empty() && !line_.writeAll(frame)) {
    fail(LinkDown::LineFailed);
    return;
  }
  awaitingDrain_ = true;
  // A port whose output count never falls (a driver that counts wrong) must not stop the link for good.
  drainByUs_ = line_.nowUs() + 2 * wireUs(frame.size()) + 100'000;
  progressed_ = true;
}

void Endpoint::sendBody(const Bytes& body) {
  std::int64_t deadline = line_.nowUs() + kBodyWaitUs;
  while (!mayWrite() && !muted_ && down_ != LinkDown::LineFailed && line_.nowUs() < deadline) {
    line_.waitReadable(std::min<std::int64_t>(1000, std::max<std::int64_t>(nextSendUs_ - line_.nowUs(), 100)));
  }
  if (muted_ || down_ == LinkDown::LineFailed) return;
  writeFrame(encodeFrame(body), body);
}

// --- frame input --------------------------------------------------------------------------------------------

void Endpoint::readLine() {
  previousReadUs_ = lastReadUs_;
  lastReadUs_ = line_.nowUs();
  std::uint8_t buffer[kReadChunk];
  std::vector<DecodeEvent> events;
  std::size_t total = 0;
  while (total < kMaxReadPerPass && !muted_) {
    long n = line_.readSome(buffer);
    if (n < 0) {
      fail(LinkDown::LineFailed);
      return;
    }
    if (n == 0) break;
    progressed_ = true;
    total += static_cast<std::size_t>(n);
    lineStats_.bytes += static_cast<std::uint64_t>(n);
    events.clear();
    decoder_.feed(std::span(buffer, static_cast<std::size_t>(n)), events);
    for (const auto& event : events) {
      if (muted_ || down_ != LinkDown::None) break;
      handle(event);
    }
  }
}

void Endpoint::handle(const DecodeEvent& event) {
  bool good = event.kind == DecodeEvent::Frame;
  ++(good ? lineStats_.frames : lineStats_.badFrames);
  if (rxFilter) {
    RxVerdict verdict = rxFilter(event);
    if (verdict == RxVerdict::Drop) {
      if (log) log(good ? "fault rx-drop" : "fault rx-drop bad");
      return;
    }
    if (verdict == RxVerdict::Corrupt) {
      if (log) log("fault rx-corrupt");
      good = false;
    }
  }
  if (!good) {
    if (log) log("rx bad-frame");
    // In the data phase a broken frame is answered with the last good N(R), which asks for a retransmission.
    if (dataPhase_) queueAck();
    return;
  }
  logFrame("rx", event.body);
  auto parsed = parseBody(event.body);
  if (!parsed) return;
  if (parsed->type == FrameType::LD) {
    fail(LinkDown::PeerDisconnected);
    return;
  }
  if (!dataPhase_ || parsed->type == FrameType::LR) {
    if (onHandshakeFrame && onHandshakeFrame(*parsed, event.body)) return;
    if (!dataPhase_) return;
  }
  handleData(*parsed);
}

void Endpoint::handleData(const Parsed& frame) {
  if (frame.type == FrameType::LA) {
    onAck(frame.sequence, frame.credit);
    return;
  }
  if (frame.type != FrameType::LT) return;
  std::uint8_t expected = static_cast<std::uint8_t>(lastReceived_ + 1);
  if (frame.sequence == expected && busy_) {
    queueAck();  // no room: dropped, and the LA says so with credit 0
  } else if (frame.sequence == expected) {
    const std::size_t most = decompressor_ ? decompressor_->outputBound(frame.info.size()) : frame.info.size();
    if (inQueue_.size() + most > policy_.inputLimit) return;  // no room: not acknowledged
    if (!deliver(frame.info)) {
      fail(LinkDown::BadData);
      return;
    }
    inBoundaries_.push_back(inOffset_);
    lastReceived_ = frame.sequence;
    duplicatesInARow_ = 0;
    queueAck();
  } else if (frame.sequence == lastReceived_) {
    // A repeat: its data is already here. Our acknowledgement was probably lost; say it again.
    ++duplicatesInARow_;
    if (policy_.ignoreFirstDuplicate && duplicatesInARow_ == 1) {
      if (log) log("ignore duplicate");
      return;
    }
    queueAck();
  } else {
    queueAck();  // out of order: dropped, the last good N(R) asks for the missing one
  }
}

// The info of a new LT, decompressed when the link compresses: false when it cannot be decoded.
bool Endpoint::deliver(std::span<const std::uint8_t> info) {
  if (decompressor_) {
    unpacked_.clear();
    if (decompressor_->decode(info, unpacked_) != v42bis::Decoder::Status::Ok) return false;
    info = unpacked_;
  }
  inQueue_.insert(inQueue_.end(), info.begin(), info.end());
  inOffset_ += info.size();
  return true;
}

void Endpoint::queueAck() {
  if (ackDue_) return;
  ackDue_ = true;
  ackDueUs_ = line_.nowUs() + static_cast<std::int64_t>(policy_.ackDelayMs) * 1000;
}

// Which of our transmissions an LA answers: the oldest one still awaited, since the peer answers the LTs it gets
// in their order. A lost answer (or one the peer never gave, as a Newton does not answer the first repeat of an
// LT it has, nor one of several LTs it read at once) makes the next LA look older than it is, never newer; it is
// given up once an answer that a later read should have brought has not come (the timer's ceiling after it
// left), or once an LA moves N(R) on: that LA answers a copy of the LT it acknowledges that the peer could take,
// or a later transmission.
std::optional<std::uint64_t> Endpoint::answeredTransmission(std::optional<std::uint64_t> noEarlierThan) {
  while (!awaited_.empty() && (awaited_.front().dueUs < previousReadUs_ ||
                               (noEarlierThan && awaited_.front().transmission < *noEarlierThan)))
    awaited_.pop_front();
  if (awaited_.empty()) return std::nullopt;
  const std::uint64_t transmission = awaited_.front().transmission;
  awaited_.pop_front();
  return transmission;
}

void Endpoint::onAck(std::uint8_t receivedUpTo, std::uint8_t credit) {
  std::size_t covered = 0;  // outstanding LTs this LA acknowledges
  if (!outstanding_.empty()) {
    covered = static_cast<std::uint8_t>(receivedUpTo - outstanding_.front().sequence) + std::size_t{1};
    // Any LT that has been on the line may be acknowledged, also one not yet sent again since a go-back: the
    // peer has it, and it need not go again.
    if (covered > outstanding_.size() || outstanding_[covered - 1].sentUs < 0) covered = 0;
  }
  const std::optional<std::uint64_t> answered = answeredTransmission(
      covered > 0 ? std::optional(outstanding_[covered - 1].takeableFrom) : std::nullopt);
  const bool wasBusy = peerBusy_;
  peerCredit_ = credit;
  peerBusy_ = credit == 0;
  if (peerBusy_ && !wasBusy) {
    peerBusySinceUs_ = line_.nowUs();
    if (log) log("event peer-busy");
  }
  const bool windowOpened = wasBusy && !peerBusy_;
  if (windowOpened) {
    progressed_ = true;
    probe_ = false;
    retries_ = 0;  // the peer is alive and asks for more
    if (log) log("event peer-window-open");
  }
  if (outstanding_.empty()) return;
  const Sent& first = outstanding_.front();
  if (covered > 0) {
    const Sent& last = outstanding_[covered - 1];
    if (!last.resent && promptPass_) timer_.answered(line_.nowUs() - last.sentUs - wireUs(last.frame.size()));
    ackedOffset_ = last.endOffset;
    outstanding_.erase(outstanding_.begin(), outstanding_.begin() + static_cast<long>(covered));
    cursor_ -= std::min(cursor_, covered);
    retries_ = 0;
    timerStartUs_ = line_.nowUs();
    progressed_ = true;
  } else if (receivedUpTo == static_cast<std::uint8_t>(first.sequence - 1) && cursor_ > 0) {
    if (windowOpened) {
      // What went while the peer was busy was dropped: send it again now, not on the timer.
      retransmitAll("window-open");
    } else if (!peerBusy_ && answered && *answered >= first.transmission) {
      // The peer repeats its last good N(R) in answer to our first unacknowledged LT or one sent after it: that
      // LT was broken or lost. Go back at once. A repeat that answers an LT sent before it (one of a window
      // already gone back over, held up in an adapter or the port) says nothing new and is let pass: one go-back
      // for each loss.
      for (Sent& sent : outstanding_) sent.takeableFrom = 0;
      retransmitAll("repeat-la");
    }
  }
}

// How many outstanding LTs may be on the line: the window, cut by the peer's credit. A busy peer takes none,
// except one when the timer asks it again (its LA may have been lost).
std::size_t Endpoint::sendLimit() const {
  if (peerBusy_) return probe_ ? 1 : 0;
  return std::min<std::size_t>(static_cast<std::size_t>(window_), peerCredit_);
}

void Endpoint::setBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (log) log(busy ? "event busy" : "event window-open");
  if (!busy && dataPhase_) queueAck();
}

void Endpoint::retransmitAll(const char* why) {
  cursor_ = 0;
  if (log) log(std::string("retransmit ") + why);
}

void Endpoint::checkTimer() {
  const std::int64_t now = line_.nowUs();
  if (peerBusy_ && wantsToSend() &&
      now - peerBusySinceUs_ >= static_cast<std::int64_t>(policy_.busyLimitMs) * 1000) {
    if (log) log("event busy-limit");
    fail(LinkDown::PeerBusy);
    return;
  }
  if (cursor_ == 0) return;
  if (now - timerStartUs_ < timerUs()) return;
  if (peerBusy_) {
    // Asking a busy peer again costs no try: it said it is there.
    probe_ = true;
    retransmitAll("busy-probe");
    return;
  }
  if (retries_++ == 0) unansweredSinceUs_ = timerStartUs_;
  const bool outOfPatience = policy_.patienceMs > 0
                                 ? now - unansweredSinceUs_ >= std::int64_t{policy_.patienceMs} * 1000
                                 : retries_ > policy_.retryLimit;
  if (outOfPatience) {
    if (log) log("event retry-limit");
    fail(LinkDown::RetryLimit);
    return;
  }
  timer_.expired();
  retransmitAll("timer");
}

// --- data phase ---------------------------------------------------------------------------------------------

void Endpoint::startDataPhase(const LinkParams& negotiated) {
  dataPhase_ = true;
  window_ = std::max<int>(negotiated.window, 1);
  peerCredit_ = static_cast<std::size_t>(window_);
  infoLimit_ = negotiated.infoLimit();
  if (negotiated.v42bis) {
    compressor_.emplace(negotiated.v42bis->params);
    decompressor_.emplace(negotiated.v42bis->params);
    packed_.reserve(2 * kMaxInfo);
  }
  if (log) {
    char text[96];
    std::snprintf(text, sizeof text, "event data-phase window=%d info=%zu v42bis=", window_, infoLimit_);
    std::string line = text;
    if (negotiated.v42bis) {
      line += std::to_string(negotiated.v42bis->params.codewords) + "/" +
              std::to_string(negotiated.v42bis->params.maxString);
    } else {
      line += "off";
    }
    log(line);
  }
}

void Endpoint::queue(std::span<const std::uint8_t> bytes, bool endOfMessage) {
  outQueue_.insert(outQueue_.end(), bytes.begin(), bytes.end());
  queuedOffset_ += bytes.size();
  if (endOfMessage) pushOut();
}

void Endpoint::pushOut() {
  const bool encoderHolds = compressor_ && (compressor_->holding() || !packed_.empty());
  if (queuedOffset_ == sentOffset_ && !encoderHolds) return;
  if (boundaries_.empty() || boundaries_.back() != queuedOffset_) boundaries_.push_back(queuedOffset_);
}

bool Endpoint::partialPending() const {
  if (compressor_) return boundaries_.empty() && (!outQueue_.empty() || !packed_.empty() || compressor_->holding());
  return !outQueue_.empty() && outQueue_.size() < infoLimit_ && boundaries_.empty();
}

void Endpoint::fillWindow() {
  Bytes info;
  std::uint64_t endOffset = 0;
  while (outstanding_.size() < static_cast<std::size_t>(window_) &&
         (compressor_ ? nextCompressedInfo(info, endOffset) : nextPlainInfo(info, endOffset))) {
    Bytes body = dataBody(nextSequence_, info);
    Bytes frame = encodeFrame(body);
    outstanding_.push_back({nextSequence_, std::move(body), std::move(frame), endOffset});
    nextSequence_ = static_cast<std::uint8_t>(nextSequence_ + 1);
  }
  if (!compressor_)  // (a compressed link's boundary at the sent offset still asks for a flush)
    while (!boundaries_.empty() && boundaries_.front() <= sentOffset_) boundaries_.pop_front();
}

bool Endpoint::nextPlainInfo(Bytes& info, std::uint64_t& endOffset) {
  while (!boundaries_.empty() && boundaries_.front() <= sentOffset_) boundaries_.pop_front();
  std::size_t n = std::min(infoLimit_, outQueue_.size());
  if (!boundaries_.empty()) {
    n = std::min<std::size_t>(n, static_cast<std::size_t>(boundaries_.front() - sentOffset_));
  } else if (n < infoLimit_) {
    return false;  // a part of an LT: waits for more bytes, the end of the message or a push
  }
  if (n == 0) return false;
  info.assign(outQueue_.begin(), outQueue_.begin() + static_cast<long>(n));
  outQueue_.erase(outQueue_.begin(), outQueue_.begin() + static_cast<long>(n));
  sentOffset_ += n;
  endOffset = sentOffset_;
  return true;
}

// The application bytes go through the encoder as the LT is formed, so a retransmission sends the same bytes
// again; where a message ends the encoder flushes and the LT ends. An LT cut inside a message counts as
// acknowledging nothing more than the messages before it: its last bytes may be only part of a codeword.
bool Endpoint::nextCompressedInfo(Bytes& info, std::uint64_t& endOffset) {
  while (!packedEndsMessage_ && packed_.size() < infoLimit_) {
    if (!boundaries_.empty() && boundaries_.front() <= sentOffset_) {
      boundaries_.pop_front();
      compressor_->flush(packed_);
      packedEndsMessage_ = true;
      flushedOffset_ = sentOffset_;
    } else if (!outQueue_.empty()) {
      compressor_->put(outQueue_.front(), packed_);
      outQueue_.pop_front();
      ++sentOffset_;
    } else {
      break;
    }
  }
  const std::size_t n = std::min(infoLimit_, packed_.size());
  if (n == 0 || (n < infoLimit_ && !packedEndsMessage_)) {
    if (n == 0) packedEndsMessage_ = false;  // a push with nothing held
    return false;
  }
  info.assign(packed_.begin(), packed_.begin() + static_cast<long>(n));
  packed_.erase(packed_.begin(), packed_.begin() + static_cast<long>(n));
  if (packed_.empty() && packedEndsMessage_) {
    packedEndsMessage_ = false;
    lastEndOffset_ = flushedOffset_;
  }
  endOffset = lastEndOffset_;
  return true;
}

std::size_t Endpoint::take(std::span<std::uint8_t> out, bool* endOfMessage) {
  std::size_t n = std::min(out.size(), inQueue_.size());
  std::copy_n(inQueue_.begin(), n, out.begin());
  inQueue_.erase(inQueue_.begin(), inQueue_.begin() + static_cast<long>(n));
  readOffset_ += n;
  bool atEnd = false;
  while (!inBoundaries_.empty() && inBoundaries_.front() <= readOffset_) {
    atEnd = inBoundaries_.front() == readOffset_;
    inBoundaries_.pop_front();
  }
  if (endOfMessage) *endOfMessage = atEnd && n > 0;
  return n;
}

void Endpoint::discardInput() {
  inQueue_.clear();
  readOffset_ = inOffset_;
  inBoundaries_.clear();
}

void Endpoint::fail(LinkDown why) {
  if (down_ != LinkDown::None) return;
  if ((why == LinkDown::RetryLimit || why == LinkDown::PeerBusy || why == LinkDown::BadData) && !muted_) {
    Bytes body = disconnectBody(why == LinkDown::BadData ? kReasonUser : kReasonRetryLimit);
    Bytes frame = encodeFrame(body);
    logFrame("tx", body);
    line_.writeAll(frame);
  }
  down_ = why;
  dataPhase_ = false;
  progressed_ = true;
  if (log) {
    static const char* const names[] = {"none",         "peer-disconnect",  "retry-limit", "line-failed",
                                        "local-disconnect", "peer-busy",  "bad-data"};
    log(std::string("event down ") + names[static_cast<int>(why)]);
  }
}

void Endpoint::disconnect(std::uint8_t reason) {
  if (down_ != LinkDown::None) return;
  sendBody(disconnectBody(reason));
  down_ = LinkDown::LocalDisconnect;
  dataPhase_ = false;
  if (log) log("event down local-disconnect");
}

// --- the service pass ---------------------------------------------------------------------------------------

void Endpoint::service(int maxWaitMs) {
  // An LA read by a pass that follows the last one closely arrived just now; after a while without service it
  // may have waited in the port, and timing an LT by it would teach the timer the owner's delay.
  promptPass_ = line_.nowUs() - servicedUntilUs_ <= kPromptUs;
  servicePass(maxWaitMs);
  servicedUntilUs_ = line_.nowUs();
}

void Endpoint::servicePass(int maxWaitMs) {
  progressed_ = false;
  if (muted_ || down_ != LinkDown::None) {
    if (maxWaitMs > 0) line_.waitReadable(static_cast<std::int64_t>(maxWaitMs) * 1000);
    return;
  }
  readLine();
  if (dataPhase_) {
    checkTimer();
    fillWindow();
  }
  while (dataPhase_ && down_ == LinkDown::None && mayWrite()) {
    if (ackDue_ && line_.nowUs() >= ackDueUs_) {
      ackDue_ = false;
      Bytes body = ackBody(lastReceived_, static_cast<std::uint8_t>(busy_ ? 0 : window_));
      writeFrame(encodeFrame(body), body);
    } else if (cursor_ < outstanding_.size() && cursor_ < sendLimit()) {
      if (cursor_ == 0) timerStartUs_ = line_.nowUs();
      Sent& sent = outstanding_[cursor_++];
      sent.resent = sent.sentUs >= 0;
      sent.sentUs = line_.nowUs();
      sent.transmission = ++transmissions_;
      if (sent.takeableFrom == 0) sent.takeableFrom = sent.transmission;
      retransmissions_ += sent.resent ? 1 : 0;
      awaited_.push_back({sent.transmission, sent.sentUs + wireUs(sent.frame.size()) + timer_.ceilingUs()});
      if (awaited_.size() > kMaxAwaited) awaited_.pop_front();
      probe_ = false;
      writeFrame(sent.frame, sent.body);
    } else {
      break;
    }
  }
  if (progressed_ || maxWaitMs <= 0) return;

  std::int64_t now = line_.nowUs();
  std::int64_t wake = now + static_cast<std::int64_t>(maxWaitMs) * 1000;
  bool mayGo = (ackDue_ || cursor_ < std::min(outstanding_.size(), sendLimit())) && dataPhase_;
  if (mayGo) {
    std::int64_t sendAt = awaitingDrain_ ? now + 500 : nextSendUs_;
    if (ackDue_) sendAt = std::max(sendAt, ackDueUs_);
    wake = std::min(wake, sendAt);
  }
  if (cursor_ > 0) wake = std::min(wake, timerStartUs_ + timerUs());
  if (peerBusy_ && wantsToSend())
    wake = std::min(wake, peerBusySinceUs_ + static_cast<std::int64_t>(policy_.busyLimitMs) * 1000);
  if (wake > now) line_.waitReadable(wake - now);
}

}  // namespace skiff::mnp
