// dock/: the Newton dock protocol as every dock client speaks it, below the engines: the frame codec, the result
// texts, the Newton's name, NSOF, and the desktop's session.
//
// The desktop's side of a dock session as a pure state machine, the twin of the simulated Newton's DockProtocol:
// bytes from the Newton go in with the time, events and frames to send come out. It knows the opening (the
// Newton's "rtdk", then "dock", the Newton's "name", and either "stim" as a package loader sends it or the
// Newton OS 2.x exchange of "dinf", "ninf", "wicn", "stim" and the password), keep-alives, cancels either way,
// "unkn" and "disc". Requests carry the answers they expect, so each answer pairs with its request. No I/O:
// SessionDriver runs it over the link.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dock/frame.h"
#include "dock/newton_name.h"

namespace skiff::dock {

// What the desktop comes for; "dock" and "dinf" carry it (the Dante Connection Protocol ERS).
enum class SessionType : std::uint32_t {
  None = 0,
  SettingUp = 1,
  Synchronize = 2,
  Restore = 3,
  LoadPackage = 4,
  TestComm = 5,
  LoadPatch = 6,
  UpdatingStores = 7,
};

// The Newton OS 2.x opening: what the desktop says of itself in "dinf", and the password check. The Newton
// sends NDES(password key, desktopKey) in its "pass"; the desktop checks it and answers NDES(password key,
// Newton's key). With no password set, a Newton uses the key of the empty password.
struct SecureOpening {
  std::uint64_t desktopKey = 0;
  std::uint32_t desktopType = 0;         // 0: the desktop kind whose command set covers backup
  bool allowSelectiveSync = false;
  std::vector<std::uint8_t> desktopApps;  // NSOF: the array of desktop-application frames
  std::uint32_t icons = 0x2D;             // "wicn": backup, install, import and keyboard
  // NDES under the key derived from the desktop's password.
  std::function<std::uint64_t(std::uint64_t)> encrypt;
};

struct SessionSetup {
  SessionType type = SessionType::LoadPackage;
  std::int32_t stimSeconds = 30;         // how long the Newton is to wait for the desktop
  std::optional<SecureOpening> secure;   // unset: the package loader's opening
  std::uint32_t keepAliveMs = 0;         // our "helo" after this long of our silence with nothing awaited; 0: never
  std::size_t keepLimit = 1 << 20;       // frame data kept whole; larger frames go to the sink as they come
};

using RequestId = std::uint32_t;

// The frames that answer a request. "dres" answers any request, in place of its data when it fails. `items`
// come before the answer that ends a stream ("entr" … "bsdn"). No replies at all: nothing answers.
struct Expect {
  std::vector<std::string> replies;
  std::vector<std::string> items;
};

struct SessionEvent {
  enum Kind {
    Opened,            // the session is up: the name is known (and with a 2.x opening the password matched)
    WrongOpening,      // the first frame was not "rtdk": the caller should listen for the Newton again
    Reply,             // `frame` answers `request`; `final` when it is the last (a result: `result`)
    NewtonCancelled,   // the Newton cancelled ("opca" or "opcn"); "ocaa" is on its way back
    Cancelled,         // the Newton acknowledged our cancel ("ocaa")
    Unknown,           // "unkn": the Newton does not know the command in `frame.data` (ends `request`)
    Unexpected,        // a frame that answers nothing outstanding
    NewtonHungUp,      // "disc"
    PasswordRejected,  // the Newton's "pass" does not match our password; "dres" -28022 is on its way back
    Failed,            // the Newton's "dres" `result` in place of a step of the opening
  };
  Kind kind = Unexpected;
  RequestId request = 0;
  Frame frame;
  bool final = true;
  std::int32_t result = 0;
};

inline constexpr std::int32_t kBadPasswordResult = -28022;

class Session {
 public:
  explicit Session(SessionSetup setup);

  // Bytes from the Newton, in any pieces, at `nowMs` (any steady clock).
  void receive(std::span<const std::uint8_t> bytes, std::uint32_t nowMs);
  // Time passes: a keep-alive goes when it is due.
  void tick(std::uint32_t nowMs);

  // --- what to send and what happened ---
  bool hasOutput() const { return !output_.empty(); }
  // The oldest frame to send: one message on the link.
  std::vector<std::uint8_t> takeOutput();
  bool hasEvent() const { return !events_.empty(); }
  SessionEvent nextEvent();

  // --- requests, once Opened ---
  RequestId ask(std::string_view command, std::span<const std::uint8_t> data, Expect expect);
  RequestId askLong(std::string_view command, std::int32_t value, Expect expect);
  // A frame whose data the caller streams itself: the header and length go now (one message), the data and its
  // padding are the caller's to write.
  RequestId askStream(std::string_view command, std::uint32_t length, Expect expect);
  // A frame nothing answers ("opdn", "dsnc").
  void tell(std::string_view command, std::span<const std::uint8_t> data = {});
  // Our cancel ("opca"): what the Newton sends until its "ocaa" is dropped, and what was outstanding ends.
  void cancel();
  // "disc": the session ends; the Newton drops the link.
  void hangUp();

  // --- state ---
  bool opened() const { return phase_ == Phase::Up; }
  bool pastOpeningFrame() const { return phase_ != Phase::AwaitingOpening; }
  bool ended() const { return phase_ == Phase::Ended; }
  bool cancelling() const { return cancelling_; }
  bool awaiting() const { return !requests_.empty(); }
  const std::optional<NewtonName>& newtonName() const { return name_; }
  // 10 after a 2.x opening (as "ninf" gave it), 9 after a package loader's opening.
  std::uint32_t protocol() const { return protocol_; }
  std::uint32_t lastHeardMs() const { return lastHeardMs_; }  // the last frame from the Newton, "helo" too
  std::uint64_t framesHeard() const { return framesHeard_; }
  std::uint64_t droppedWhileCancelling() const { return dropped_; }
  FrameReader& reader() { return reader_; }  // for a sink of large frames

 private:
  enum class Phase { AwaitingOpening, AwaitingName, AwaitingNewtonInfo, AwaitingIconsResult, AwaitingPassword, Up,
                     Ended };
  struct Request {
    RequestId id;
    std::string command;
    Expect expect;
  };
  void onFrame(Frame frame);
  void onOpeningFrame(Frame frame);
  void onAnswer(Frame frame);
  void queue(std::string_view command, std::span<const std::uint8_t> data);
  void queueLong(std::string_view command, std::int32_t value);
  void event(SessionEvent::Kind kind, Frame frame = {}, RequestId request = 0, bool final = true,
             std::int32_t result = 0);
  RequestId remember(std::string_view command, Expect expect);
  void sendDesktopInfo();
  void checkPassword(const Frame& frame);

  SessionSetup setup_;
  FrameReader reader_;
  Phase phase_ = Phase::AwaitingOpening;
  std::deque<std::vector<std::uint8_t>> output_;
  std::deque<SessionEvent> events_;
  std::deque<Request> requests_;
  RequestId nextId_ = 1;
  std::optional<NewtonName> name_;
  std::uint32_t protocol_ = 9;
  std::uint64_t newtonKey_ = 0;
  bool cancelling_ = false;
  std::uint64_t dropped_ = 0;
  std::uint32_t nowMs_ = 0;
  std::uint32_t lastHeardMs_ = 0;
  std::uint64_t framesHeard_ = 0;
  std::uint32_t lastSentMs_ = 0;
};

// The long in a frame's first four bytes (a "dres" result, a protocol version); 0 when there are fewer.
std::int32_t longOf(const Frame& frame);

}  // namespace skiff::dock
