// Skiff's link library: one pipe object per pipeCreate, each a link in the desktop's role over the line its
// source gives: MNP over a serial port or a TCP caller's connection, or raw dock frames from a TCP caller. The
// state moves by the table in pipe_states.cpp; this file carries out its actions and the contracts of the pipe
// operations, the same over either transport.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "dil/dil.h"
#include "dil/line_source.h"
#include "dil/mnp_endpoint.h"
#include "dil/mnp_transport.h"
#include "dil/pipe_states.h"
#include "dil/raw_transport.h"
#include "dil/serial.h"

namespace skiff {

namespace {

using dil::PipeAction;
using dil::PipeEvent;
using dil::PipeState;

constexpr int kIdleWaitMs = 10;  // pipeIdle with nothing to do waits this long for the port (or a message)
// After the link or the program did something, pipeIdle does not wait for a while unless LTs on the line wait
// for their LA (then the port wakes it): the program is between the steps of a transfer and its next write, read
// or completion must not sit behind a port wait that nothing will end.
constexpr std::int64_t kActiveMs = 20;
// With no link to service (nothing configured, listening or connected) the wait can be longer: a window
// message still ends it at once, so the program stays responsive while it sleeps.
constexpr int kQuietWaitMs = 50;
constexpr std::size_t kMaxPendingWrites = 256;
constexpr std::size_t kSyncQueueLimit = 8192;  // a write without end of message returns once this much is left

// The time-out of a synchronous read or write counts only the time in which the line could have taken our
// bytes: while the Newton holds its window shut (credit 0) with our bytes waiting, its clock stands still. The
// link's own bound on a busy Newton (60 s) ends such a wait with a lost link.
class LineTimeout {
 public:
  LineTimeout(std::int64_t nowMs, std::int32_t timeoutMs) : leftMs_(std::max(timeoutMs, 0)), lastMs_(nowMs) {}
  // Milliseconds left at `nowMs`; the time since the last look is not counted when the Newton held us back.
  std::int64_t leftAt(std::int64_t nowMs, bool heldBack) {
    if (!heldBack) leftMs_ -= nowMs - lastMs_;
    lastMs_ = nowMs;
    return leftMs_;
  }

 private:
  std::int64_t leftMs_;
  std::int64_t lastMs_;
};

struct PendingWrite {
  std::uint64_t endOffset;
  PipeCompletion completion;
  std::intptr_t refCon;
};

class DilPipe {
 public:
  std::int32_t init(const char* medium, const char* config, const char* portName, const DilTuning& tuning,
                    const dil::Notice* notice, std::function<void()> sayUncompressed) {
    closeLink();
    if (medium == nullptr || std::strcmp(medium, "MNP") != 0) return code::kToolNotFound;
    if (config == nullptr) return code::kBadParameter;
    auto baud = dil::baudFromConfig(config);
    if (!baud) return code::kBadParameter;
    std::string port = portName != nullptr ? portName : "";
    if (port.empty()) port = std::string(config).substr(0, std::string(config).rfind(':'));
    if (port.empty()) return code::kBadParameter;
    port_ = port;
    baud_ = *baud;
    configured_ = true;
    window_ = std::clamp(tuning.window, 1, 8);
    policy_ = mnp::Policy{};
    policy_.baud = baud_;
    policy_.retransmitMs = std::clamp(tuning.retransmitMs, 10, 60000);
    policy_.retransmitFloorMs = std::min(tuning.retransmitFloorMs, policy_.retransmitMs);
    policy_.retryLimit = std::clamp(tuning.retryLimit, 1, 100000);
    policy_.patienceMs = std::clamp(tuning.patienceMs, 0, 3'600'000);
    policy_.gapChars = std::clamp(tuning.frameGapChars, 0, 1000);
    compress_ = tuning.compress;
    sayUncompressed_ = std::move(sayUncompressed);
    dil::SerialOptions serial;
    serial.hardwareFlowControl = tuning.hardwareFlowControl;
    openingWaitMs_ = std::clamp(tuning.openingWaitMs, 10, 600000);
    // A TCP listener stays open while the pipe keeps its port, so callers between two sessions are not turned
    // away and a port the system picked stays the same.
    if (!source_ || !source_->serves(port_))
      source_ = dil::makeLineSource(port_, baud_, serial, openingWaitMs_, notice);
    return source_ ? source_->prepare() : code::kBadParameter;
  }

  // pipeDispose and linkShutdown: a listener closes too.
  void release() {
    disconnect();
    source_.reset();
  }

  std::string listenAddress() const { return source_ ? source_->listenAddress() : std::string(); }

  std::int16_t listen() {
    if (!configured_) return static_cast<std::int16_t>(code::kNotInitialized);
    if (state_ == PipeState::Listening || state_ == PipeState::Calling) return code::kOk;
    if (!on(PipeEvent::Listen)) return static_cast<std::int16_t>(code::kNotReady);
    return static_cast<std::int16_t>(listenError_);
  }

  std::int32_t state() {
    return dil::reportedState(state_, link_ && link_->unacknowledged() > 0);
  }

  void accept() {
    if (state_ != PipeState::Calling) return;
    on(PipeEvent::Accept);
    // A raw dock stream has no handshake: its first frame was the call, and TCP has confirmed the rest.
    if (!endpoint_) on(PipeEvent::PeerConfirms);
    // Wait for the Newton's LA, saying our LR again now and then as a Newton does with its own.
    const int interval = std::clamp(policy_.retransmitMs, 50, 2000);
    std::int64_t start = nowMs(), lastSent = start;
    while (state_ == PipeState::Accepting) {
      std::int64_t now = nowMs();
      if (now - start >= std::max(3000, 4 * interval)) {
        on(PipeEvent::AcceptFailed);
        break;
      }
      if (now - lastSent >= interval) {
        sendLinkRequest();
        lastSent = now;
      }
      service(kIdleWaitMs);
    }
  }

  void idle() {
    if (source_ && state_ != PipeState::Idle) {
      const bool quiet = nowMs() >= activeUntilMs_ || (link_ && link_->awaitingAck());
      service(quiet ? kIdleWaitMs : 0);
    } else {
      dil::idleWait(kQuietWaitMs);
    }
    runCompletions();
  }

  std::int32_t bytesAvailable(int whichSide, std::int32_t* count) {
    if (count == nullptr) return code::kBadParameter;
    *count = 0;
    if (whichSide != side::kInput && whichSide != side::kOutput) return code::kBadParameter;
    if (!configured_) return code::kNotInitialized;
    if (!link_) return code::kOk;
    std::size_t n = whichSide == side::kInput ? link_->available() : link_->unacknowledged();
    if (whichSide == side::kOutput && state_ == PipeState::Lost) return code::kDisconnected;  // never to come
    *count = static_cast<std::int32_t>(std::min<std::size_t>(n, 0x7FFFFFFF));
    return code::kOk;
  }

  std::int16_t read(void* buffer, std::int32_t* length, std::uint8_t* endOfMessage, std::int32_t timeoutMs) {
    if (length == nullptr || *length < 0 || (buffer == nullptr && *length > 0)) return narrow(code::kBadParameter);
    const std::size_t wanted = static_cast<std::size_t>(*length);
    *length = 0;
    noteActivity();
    if (endOfMessage) *endOfMessage = 0;
    if (std::int32_t refusal = dataRefusal(); refusal != code::kOk && !(link_ && link_->available() >= wanted))
      return narrow(refusal);
    if (wanted == 0) return code::kOk;
    LineTimeout timeout(nowMs(), timeoutMs);
    for (;;) {
      if (link_->available() >= wanted) {
        bool ended = false;
        link_->take(std::span(static_cast<std::uint8_t*>(buffer), wanted), &ended);
        *length = static_cast<std::int32_t>(wanted);
        if (endOfMessage) *endOfMessage = ended ? 1 : 0;
        return code::kOk;
      }
      if (state_ != PipeState::Connected) return narrow(code::kDisconnected);
      // Whoever waits for an answer has finished asking: a part LT goes out now.
      if (link_->partialPending()) link_->pushOut();
      const std::int64_t left = timeout.leftAt(nowMs(), heldBack());
      if (left <= 0) return narrow(code::kTimeout);
      service(static_cast<int>(std::min<std::int64_t>(left, 50)));
    }
  }

  std::int16_t write(const void* buffer, std::int32_t* length, std::uint8_t endOfMessage, std::int32_t timeoutMs,
                     PipeCompletion completion, std::intptr_t refCon) {
    if (length == nullptr || *length < 0 || (buffer == nullptr && *length > 0)) return narrow(code::kBadParameter);
    if (std::int32_t refusal = dataRefusal(); refusal != code::kOk) return narrow(refusal);
    if (completion != nullptr && pending_.size() >= kMaxPendingWrites) return narrow(code::kQueueFull);
    noteActivity();
    link_->queue(std::span(static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(*length)),
                 endOfMessage != 0);
    const std::uint64_t endOffset = link_->queuedTotal();
    if (completion != nullptr) {
      pending_.push_back({endOffset, completion, refCon});
      service(0);
      return code::kOk;
    }
    LineTimeout timeout(nowMs(), timeoutMs);
    for (;;) {
      bool done = endOfMessage ? link_->ackedTotal() >= endOffset : link_->unsent() <= kSyncQueueLimit;
      if (done) return code::kOk;
      if (state_ != PipeState::Connected) return narrow(code::kDisconnected);
      const std::int64_t left = timeout.leftAt(nowMs(), heldBack());
      if (left <= 0) return narrow(code::kTimeout);
      service(static_cast<int>(std::min<std::int64_t>(left, 50)));
    }
  }

  std::int16_t flush(int whichSide) {
    if (whichSide != side::kInput && whichSide != side::kOutput) return narrow(code::kBadParameter);
    if (!configured_) return narrow(code::kNotInitialized);
    if (!link_) return code::kOk;
    if (whichSide == side::kInput) {
      link_->discardInput();
      return code::kOk;
    }
    if (state_ == PipeState::Lost) return narrow(code::kDisconnected);
    noteActivity();
    link_->pushOut();
    service(0);
    return code::kOk;
  }

  void disconnect() { on(PipeEvent::Disconnect); }

  int portSystemError() const { return source_ ? source_->systemError() : 0; }
  DilLoss loss() const { return loss_; }

  DilLineStats lineStats() const {
    if (!endpoint_) return {};
    const mnp::LineStats& stats = endpoint_->lineStats();
    return {stats.bytes, stats.frames, stats.badFrames};
  }

 private:
  static std::int16_t narrow(std::int32_t result) { return static_cast<std::int16_t>(result); }
  void noteActivity() { activeUntilMs_ = nowMs() + kActiveMs; }
  static std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  // Whether the Newton's credit 0 holds back bytes we wrote.
  bool heldBack() const { return link_ && link_->peerBusy() && link_->unacknowledged() > 0; }

  // Why a read or write cannot go ahead now, or 0.
  std::int32_t dataRefusal() const {
    if (!configured_) return code::kNotInitialized;
    if (state_ == PipeState::Lost) return code::kDisconnected;
    if (state_ != PipeState::Connected || !link_) return code::kNotReady;
    return code::kOk;
  }

  bool on(PipeEvent event) {
    auto row = dil::transitionFor(state_, event);
    if (!row) return false;
    state_ = row->to;
    act(row->action);
    return true;
  }

  void act(PipeAction action) {
    switch (action) {
      case PipeAction::None: break;
      case PipeAction::ResetLink: resetLink(); break;
      case PipeAction::RememberCall: break;  // the parameters were kept when the LR was read
      case PipeAction::SendLinkRequest: sendLinkRequest(); break;
      case PipeAction::StartDataPhase:
        if (endpoint_) {
          const mnp::LinkParams agreed = mnp::negotiate(*mnp::parseLinkRequest(linkRequest()), peer_);
          if (compress_ && !agreed.v42bis && sayUncompressed_) sayUncompressed_();
          endpoint_->startDataPhase(agreed);
        }
        break;
      case PipeAction::CloseLink: closeLink(); break;
    }
  }

  void resetLink() {
    dropLink();
    loss_ = DilLoss::None;
    listenError_ = source_ ? source_->prepare() : code::kBadParameter;
    if (listenError_ != code::kOk) {
      state_ = PipeState::Idle;
      return;
    }
    if (auto caller = source_->poll(0)) attach(*caller);
  }

  // The caller's line becomes the link: MNP, whose handshake makes the call, or a raw dock stream, whose first
  // bytes ("newtdock") were the call.
  void attach(const dil::Caller& caller) {
    callDeadlineMs_ = nowMs() + openingWaitMs_;
    noteActivity();
    if (caller.framing == dil::Framing::RawDock) {
      link_ = std::make_unique<dil::RawTransport>(*caller.line);
      on(PipeEvent::PeerCalls);
      return;
    }
    endpoint_ = std::make_unique<mnp::Endpoint>(*caller.line, policy_);
    endpoint_->onHandshakeFrame = [this](const mnp::Parsed& frame, const mnp::Bytes& body) {
      return onHandshakeFrame(frame, body);
    };
    link_ = std::make_unique<dil::MnpTransport>(*endpoint_);
  }

  void dropLink() {
    link_.reset();
    endpoint_.reset();
  }

  void closeLink() {
    if (endpoint_ && endpoint_->dataPhase()) endpoint_->disconnect(mnp::kReasonUser);
    dropLink();
    if (source_) source_->hangUp();
    state_ = PipeState::Idle;
    // Writes waiting for an acknowledgement will not get one; their routines still run, once.
    for (auto& write : pending_) write.endOffset = 0;
    failPending_ = true;
  }

  // Our answer to the Newton's LR: with compression asked for, its V.42bis offer accepted as it stands.
  mnp::Bytes linkRequest() const {
    const mnp::V42bisOffer anything{mnp::kBothDirections, {0xFFFF, v42bis::kMaxString}};
    return mnp::desktopLinkRequest(static_cast<std::uint8_t>(window_),
                                   compress_ ? mnp::negotiateV42bis(anything, peer_.v42bis) : std::nullopt);
  }

  void sendLinkRequest() {
    if (endpoint_) endpoint_->sendBody(linkRequest());
  }

  bool onHandshakeFrame(const mnp::Parsed& frame, const mnp::Bytes& body) {
    if (frame.type == mnp::FrameType::LR) {
      auto params = mnp::parseLinkRequest(body);
      if (!params) return true;
      if (state_ == PipeState::Listening || state_ == PipeState::Calling || state_ == PipeState::Accepting) {
        peer_ = *params;
        on(PipeEvent::PeerCalls);
      }
      return true;
    }
    if (state_ != PipeState::Accepting) return true;
    if (frame.type == mnp::FrameType::LA && frame.sequence == 0) {
      on(PipeEvent::PeerConfirms);
      return true;
    }
    if (frame.type == mnp::FrameType::LT) {  // the confirming LA was lost, the data phase has begun
      on(PipeEvent::PeerConfirms);
      return false;
    }
    return true;
  }

  void service(int maxWaitMs) {
    if (!link_) {
      if (state_ != PipeState::Listening || !source_) {
        dil::idleWait(maxWaitMs);
      } else if (auto caller = source_->poll(maxWaitMs)) {
        attach(*caller);
      }
      return;
    }
    link_->service(maxWaitMs);
    // Anyone else who calls while a Newton is served is refused at once; after a loss the next caller waits
    // for the next listen instead.
    if (state_ != PipeState::Lost) source_->refuseNewcomers();
    if (link_->progressed()) noteActivity();
    // A TCP caller that has not called yet and hangs up or stays silent is let go; the listener goes on.
    if (state_ == PipeState::Listening && !source_->singleLine() &&
        (link_->lost() || nowMs() >= callDeadlineMs_)) {
      const auto why = link_->lost() ? dil::CallMissed::HungUp : dil::CallMissed::NoLinkRequest;
      dropLink();
      source_->dropCaller(why);
      return;
    }
    if (link_->lost()) {
      if (!on(PipeEvent::LinkLost)) return;
      loss_ = lossOf(endpoint_ ? endpoint_->down() : mnp::LinkDown::LineFailed);
      if (state_ == PipeState::Lost) failPending_ = true;
    }
  }

  static DilLoss lossOf(mnp::LinkDown down) {
    switch (down) {
      case mnp::LinkDown::PeerDisconnected: return DilLoss::NewtonHungUp;
      case mnp::LinkDown::RetryLimit: return DilLoss::NoAcknowledgement;
      case mnp::LinkDown::PeerBusy: return DilLoss::NewtonBusy;
      case mnp::LinkDown::BadData: return DilLoss::BadData;
      default: return DilLoss::LineFailed;
    }
  }

  void runCompletions() {
    // Each routine runs once, in the order of the writes, after its bytes were acknowledged (or, when the link
    // is gone, with the disconnection code so that nobody waits for it for ever).
    while (!pending_.empty()) {
      PendingWrite write = pending_.front();
      bool acknowledged = link_ && write.endOffset != 0 && link_->ackedTotal() >= write.endOffset;
      if (!acknowledged && !failPending_) break;
      pending_.pop_front();
      noteActivity();
      write.completion(acknowledged ? code::kOk : code::kDisconnected, write.refCon);
    }
    if (pending_.empty()) failPending_ = false;
  }

  bool configured_ = false;
  std::string port_;
  int baud_ = 0;
  int window_ = 1;
  bool compress_ = false;
  std::function<void()> sayUncompressed_;
  mnp::Policy policy_;
  PipeState state_ = PipeState::Idle;
  std::int32_t listenError_ = code::kOk;
  mnp::LinkParams peer_;
  int openingWaitMs_ = 10000;
  std::int64_t callDeadlineMs_ = 0;        // a TCP caller must call by then
  std::unique_ptr<dil::LineSource> source_;  // the lines; declared first, so it outlives the links on them
  std::unique_ptr<mnp::Endpoint> endpoint_;  // the MNP link, when the caller speaks MNP
  std::unique_ptr<dil::Transport> link_;     // the data path: the endpoint's, or a raw stream
  std::deque<PendingWrite> pending_;
  bool failPending_ = false;
  std::int64_t activeUntilMs_ = 0;
  DilLoss loss_ = DilLoss::None;  // why the link was last lost
};

class DilLink final : public LinkOps {
 public:
  DilTuning tuning_;
  dil::Notice notice_;  // declared before the pipes, whose sources use it

  void linkStartup() override {}
  PipeHandle pipeCreate() override {
    pipes_.push_back(std::make_unique<DilPipe>());
    return reinterpret_cast<PipeHandle>(pipes_.back().get());
  }
  void linkRegisterApp(PipeHandle, void*) override {}
  std::int32_t CDPipeInit(PipeHandle pipe, const char* medium, const char*, const char* config,
                          const char* portName, std::int32_t, std::int32_t) override {
    DilPipe* p = find(pipe);
    return p ? p->init(medium, config, portName, tuning_, &notice_, [this] { sayUncompressedOnce(); })
             : code::kBadParameter;
  }
  std::int16_t pipeListen(PipeHandle pipe, std::int32_t, std::int32_t, std::int32_t) override {
    DilPipe* p = find(pipe);
    return p ? p->listen() : static_cast<std::int16_t>(code::kBadParameter);
  }
  std::int32_t pipeState(PipeHandle pipe) override {
    DilPipe* p = find(pipe);
    return p ? p->state() : state::kIdle;
  }
  void pipeAccept(PipeHandle pipe) override {
    if (DilPipe* p = find(pipe)) p->accept();
  }
  void pipeIdle(PipeHandle pipe) override {
    if (DilPipe* p = find(pipe)) {
      p->idle();
    } else {
      dil::idleWait(kQuietWaitMs);  // the main loop idles a missing pipe too; never spin
    }
  }
  std::int32_t pipeBytesAvailable(PipeHandle pipe, int whichSide, std::int32_t* count) override {
    DilPipe* p = find(pipe);
    if (!p) {
      if (count) *count = 0;
      return code::kBadParameter;
    }
    return p->bytesAvailable(whichSide, count);
  }
  std::int16_t pipeRead(PipeHandle pipe, void* buffer, std::int32_t* length, std::uint8_t* endOfMessage,
                        std::int32_t, std::int32_t, std::int32_t timeoutMs, PipeCompletion, std::intptr_t) override {
    DilPipe* p = find(pipe);
    if (!p) {
      if (length) *length = 0;
      return static_cast<std::int16_t>(code::kBadParameter);
    }
    return p->read(buffer, length, endOfMessage, timeoutMs);
  }
  std::int16_t pipeWrite(PipeHandle pipe, const void* buffer, std::int32_t* length, std::uint8_t endOfMessage,
                         std::int32_t, std::int32_t, std::int32_t timeoutMs, PipeCompletion completion,
                         std::intptr_t refCon) override {
    DilPipe* p = find(pipe);
    return p ? p->write(buffer, length, endOfMessage, timeoutMs, completion, refCon)
             : static_cast<std::int16_t>(code::kBadParameter);
  }
  std::int16_t pipeFlush(PipeHandle pipe, int whichSide) override {
    DilPipe* p = find(pipe);
    return p ? p->flush(whichSide) : static_cast<std::int16_t>(code::kBadParameter);
  }
  void pipeDisconnect(PipeHandle pipe) override {
    if (DilPipe* p = find(pipe)) p->disconnect();
  }
  void pipeDispose(PipeHandle pipe) override {
    DilPipe* p = find(pipe);
    if (!p) return;
    p->release();
    disposed_.push_back(p);
  }
  void linkShutdown() override {
    for (auto& pipe : pipes_) pipe->release();
  }

  std::string listenAddress(PipeHandle pipe) {
    DilPipe* p = find(pipe);
    return p ? p->listenAddress() : std::string();
  }

  // Only handles this library gave out and did not dispose of are used; anything else is refused.
  DilPipe* find(PipeHandle handle) {
    auto* wanted = reinterpret_cast<DilPipe*>(handle);
    if (std::find(disposed_.begin(), disposed_.end(), wanted) != disposed_.end()) return nullptr;
    for (auto& pipe : pipes_)
      if (pipe.get() == wanted) return wanted;
    return nullptr;
  }
  void sayUncompressedOnce() {
    if (uncompressedSaid_ || !tuning_.uncompressed) return;
    uncompressedSaid_ = true;
    tuning_.uncompressed();
  }

 private:
  std::vector<std::unique_ptr<DilPipe>> pipes_;
  std::vector<DilPipe*> disposed_;
  bool uncompressedSaid_ = false;
};

}  // namespace

std::unique_ptr<LinkOps> makeDilLink() { return std::make_unique<DilLink>(); }

void tuneDilLink(LinkOps& link, const DilTuning& tuning) {
  if (auto* dil = dynamic_cast<DilLink*>(&link)) dil->tuning_ = tuning;
}

void setDilNotices(LinkOps& link, std::function<void(const std::string&)> notice) {
  if (auto* dil = dynamic_cast<DilLink*>(&link)) dil->notice_ = std::move(notice);
}

std::string dilListenAddress(LinkOps& link, PipeHandle pipe) {
  auto* dil = dynamic_cast<DilLink*>(&link);
  return dil ? dil->listenAddress(pipe) : std::string();
}

int dilPortSystemError(LinkOps& link, PipeHandle pipe) {
  auto* dil = dynamic_cast<DilLink*>(&link);
  DilPipe* p = dil ? dil->find(pipe) : nullptr;
  return p ? p->portSystemError() : 0;
}

DilLoss dilLinkLoss(LinkOps& link, PipeHandle pipe) {
  auto* dil = dynamic_cast<DilLink*>(&link);
  DilPipe* p = dil ? dil->find(pipe) : nullptr;
  return p ? p->loss() : DilLoss::None;
}

DilLineStats dilLineStats(LinkOps& link, PipeHandle pipe) {
  auto* dil = dynamic_cast<DilLink*>(&link);
  DilPipe* p = dil ? dil->find(pipe) : nullptr;
  return p ? p->lineStats() : DilLineStats{};
}

}  // namespace skiff
