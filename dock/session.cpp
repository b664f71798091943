#include "dock/session.h"

#include <algorithm>

namespace skiff::dock {

namespace {

constexpr std::uint32_t kDesktopProtocol = 10;  // the Newton OS 2.x dock protocol

bool among(const std::vector<std::string>& commands, const std::string& command) {
  return std::find(commands.begin(), commands.end(), command) != commands.end();
}

void putLong(std::vector<std::uint8_t>& out, std::uint32_t value) {
  const auto bytes = be32(value);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void putKey(std::vector<std::uint8_t>& out, std::uint64_t key) {
  putLong(out, static_cast<std::uint32_t>(key >> 32));
  putLong(out, static_cast<std::uint32_t>(key));
}

std::uint64_t keyOf(Cursor& cursor) {
  const std::uint64_t high = cursor.u32();
  return high << 32 | cursor.u32();
}

}  // namespace

std::int32_t longOf(const Frame& frame) {
  Cursor cursor(frame.data);
  return static_cast<std::int32_t>(cursor.u32());
}

Session::Session(SessionSetup setup) : setup_(std::move(setup)), reader_(setup_.keepLimit) {}

void Session::receive(std::span<const std::uint8_t> bytes, std::uint32_t nowMs) {
  nowMs_ = nowMs;
  reader_.feed(bytes);
  while (reader_.hasFrame()) onFrame(reader_.next());
}

void Session::tick(std::uint32_t nowMs) {
  nowMs_ = nowMs;
  if (setup_.keepAliveMs == 0 || phase_ != Phase::Up || !requests_.empty() || cancelling_) return;
  if (nowMs - lastSentMs_ >= setup_.keepAliveMs) queue("helo", {});
}

std::vector<std::uint8_t> Session::takeOutput() {
  std::vector<std::uint8_t> frame = std::move(output_.front());
  output_.pop_front();
  return frame;
}

SessionEvent Session::nextEvent() {
  SessionEvent e = std::move(events_.front());
  events_.pop_front();
  return e;
}

void Session::queue(std::string_view command, std::span<const std::uint8_t> data) {
  output_.push_back(encodeFrame(command, data));
  lastSentMs_ = nowMs_;
}

void Session::queueLong(std::string_view command, std::int32_t value) {
  const auto data = be32(static_cast<std::uint32_t>(value));
  queue(command, data);
}

void Session::event(SessionEvent::Kind kind, Frame frame, RequestId request, bool final, std::int32_t result) {
  SessionEvent e;
  e.kind = kind;
  e.frame = std::move(frame);
  e.request = request;
  e.final = final;
  e.result = result;
  events_.push_back(std::move(e));
}

RequestId Session::remember(std::string_view command, Expect expect) {
  const RequestId id = nextId_++;
  if (!expect.replies.empty()) requests_.push_back({id, std::string(command), std::move(expect)});
  return id;
}

RequestId Session::ask(std::string_view command, std::span<const std::uint8_t> data, Expect expect) {
  queue(command, data);
  return remember(command, std::move(expect));
}

RequestId Session::askLong(std::string_view command, std::int32_t value, Expect expect) {
  const auto data = be32(static_cast<std::uint32_t>(value));
  return ask(command, data, std::move(expect));
}

RequestId Session::askStream(std::string_view command, std::uint32_t length, Expect expect) {
  const auto header = frameHeader(command);
  std::vector<std::uint8_t> start(header.begin(), header.end());
  putLong(start, length);
  output_.push_back(std::move(start));
  lastSentMs_ = nowMs_;
  return remember(command, std::move(expect));
}

void Session::tell(std::string_view command, std::span<const std::uint8_t> data) { queue(command, data); }

void Session::cancel() {
  queue("opca", {});
  cancelling_ = true;
  requests_.clear();
}

void Session::hangUp() {
  queue("disc", {});
  phase_ = Phase::Ended;
  requests_.clear();
}

void Session::onFrame(Frame frame) {
  lastHeardMs_ = nowMs_;
  ++framesHeard_;
  const std::string& command = frame.command;
  // A session opens with "rtdk" and nothing else: a keep-alive first is a Newton still in an earlier session.
  if (phase_ == Phase::AwaitingOpening) {
    if (command == "rtdk") {
      queueLong("dock", static_cast<std::int32_t>(setup_.type));
      phase_ = Phase::AwaitingName;
    } else {
      phase_ = Phase::Ended;
      event(SessionEvent::WrongOpening, std::move(frame));
    }
    return;
  }
  if (command == "helo") return;  // a keep-alive answers nothing, wherever an answer is awaited
  if (command == "disc") {
    phase_ = Phase::Ended;
    requests_.clear();
    event(SessionEvent::NewtonHungUp, std::move(frame));
    return;
  }
  if (command == "opca" || command == "opcn") {
    queue("ocaa", {});
    requests_.clear();
    event(SessionEvent::NewtonCancelled, std::move(frame));
    return;
  }
  if (cancelling_) {
    if (command == "ocaa") {
      cancelling_ = false;
      event(SessionEvent::Cancelled, std::move(frame));
    } else {
      ++dropped_;  // what the Newton had under way before it saw our cancel
    }
    return;
  }
  if (phase_ == Phase::Up) {
    onAnswer(std::move(frame));
  } else if (phase_ != Phase::Ended) {
    onOpeningFrame(std::move(frame));
  }
}

// The steps after "rtdk". A "dres" in place of a step is the Newton's refusal of the one before it.
void Session::onOpeningFrame(Frame frame) {
  const std::string& command = frame.command;
  if (command == "dres" && longOf(frame) != 0) {
    phase_ = Phase::Ended;
    const std::int32_t result = longOf(frame);
    event(SessionEvent::Failed, std::move(frame), 0, true, result);
    return;
  }
  switch (phase_) {
    case Phase::AwaitingName:
      // Whatever answers "dock" is the Newton's name; only a "name" frame says what it is.
      if (command == "name") name_ = parseNewtonName(frame.data);
      if (setup_.secure && name_ && name_->runsNewtonOs2()) {
        sendDesktopInfo();
        phase_ = Phase::AwaitingNewtonInfo;
      } else {
        // The package loader's opening, and every opening with a Newton OS 1.x Newton: "stim" is answered by
        // "dres", which pairs with it like any answer, and the session is open at once.
        phase_ = Phase::Up;
        askLong("stim", setup_.stimSeconds, Expect{{"dres"}, {}});
        event(SessionEvent::Opened);
      }
      break;
    case Phase::AwaitingNewtonInfo: {
      if (command != "ninf") break;
      Cursor cursor(frame.data);
      protocol_ = cursor.u32();
      newtonKey_ = keyOf(cursor);
      queueLong("wicn", static_cast<std::int32_t>(setup_.secure->icons));
      phase_ = Phase::AwaitingIconsResult;
      break;
    }
    case Phase::AwaitingIconsResult:
      if (command != "dres") break;
      queueLong("stim", setup_.stimSeconds);
      phase_ = Phase::AwaitingPassword;
      break;
    case Phase::AwaitingPassword:
      if (command == "pass") checkPassword(frame);
      break;
    default:
      break;
  }
}

void Session::sendDesktopInfo() {
  const SecureOpening& secure = *setup_.secure;
  std::vector<std::uint8_t> info;
  putLong(info, kDesktopProtocol);
  putLong(info, secure.desktopType);
  putKey(info, secure.desktopKey);
  putLong(info, static_cast<std::uint32_t>(setup_.type));
  putLong(info, secure.allowSelectiveSync ? 1 : 0);
  info.insert(info.end(), secure.desktopApps.begin(), secure.desktopApps.end());
  queue("dinf", info);
}

void Session::checkPassword(const Frame& frame) {
  const SecureOpening& secure = *setup_.secure;
  Cursor cursor(frame.data);
  const std::uint64_t theirs = keyOf(cursor);
  if (!cursor.ok() || !secure.encrypt || theirs != secure.encrypt(secure.desktopKey)) {
    queueLong("dres", kBadPasswordResult);
    phase_ = Phase::Ended;
    event(SessionEvent::PasswordRejected, frame);
    return;
  }
  std::vector<std::uint8_t> ours;
  putKey(ours, secure.encrypt(newtonKey_));
  queue("pass", ours);
  phase_ = Phase::Up;
  event(SessionEvent::Opened);
}

// A frame once the session is up answers the oldest request outstanding, if it is one of that request's answers.
void Session::onAnswer(Frame frame) {
  const std::string& command = frame.command;
  if (requests_.empty()) {
    event(SessionEvent::Unexpected, std::move(frame));
    return;
  }
  const Request& request = requests_.front();
  const RequestId id = request.id;
  if (command == "unkn") {
    requests_.pop_front();
    event(SessionEvent::Unknown, std::move(frame), id);
  } else if (command == "dres" && !among(request.expect.replies, "dres")) {
    // A result in place of the data asked for: the request failed.
    requests_.pop_front();
    const std::int32_t result = longOf(frame);
    event(SessionEvent::Reply, std::move(frame), id, true, result);
  } else if (among(request.expect.items, command)) {
    event(SessionEvent::Reply, std::move(frame), id, false);
  } else if (among(request.expect.replies, command)) {
    requests_.pop_front();
    const std::int32_t result = command == "dres" ? longOf(frame) : 0;
    event(SessionEvent::Reply, std::move(frame), id, true, result);
  } else {
    event(SessionEvent::Unexpected, std::move(frame));
  }
}

}  // namespace skiff::dock
