#include "keyboard/keyboard_run.h"

#include <limits>

#include "core/pipe_calls.h"
#include "core/pump.h"
#include "core/texts.h"
#include "dock/desktop_text.h"
#include "dock/result.h"
#include "dock/session_driver.h"
#include "keyboard/key_frames.h"
#include "keyboard/key_reader.h"
#include "secure/secure_session.h"
#include "secure/session_opening.h"

namespace skiff::keyboard {

namespace {

constexpr std::int32_t kTypingLimitMs = std::numeric_limits<std::int32_t>::max();  // a user may type for days
constexpr std::int32_t kEndWaitMs = 10000;  // the Newton takes what is under way, then acknowledges the end
constexpr std::int32_t kWaitPassMs = 20;
// A terminal sends a key's sequence at once; an ESC with nothing after it for this long was the Escape key alone.
constexpr std::uint32_t kSequenceGapMs = 100;

bool linkUp(LinkOps& link, PipeHandle pipe) {
  const std::int32_t state = link.pipeState(pipe);
  return state == state::kConnected || state == state::kOutputBusy;
}

class KeyboardRun {
 public:
  KeyboardRun(Runtime& rt, KeyboardJob& job, KeyboardOutcome& outcome)
      : rt_(rt), job_(job), out_(outcome),
        session_(secure::secureSession(dock::SessionType::SettingUp, job.password)), driver_(rt, session_) {}

  std::int32_t run();

 private:
  bool open();
  void type();
  bool look();  // one pass of typing: true when it is over
  void typeStrokes(const std::vector<KeyStroke>& strokes);
  void endTyping();
  bool ended(KeyboardEnd end, std::int32_t code = 0, std::string problem = {});
  std::int32_t finish();

  Runtime& rt_;
  KeyboardJob& job_;
  KeyboardOutcome& out_;
  dock::Session session_;
  dock::SessionDriver driver_;
  TerminalKeys keys_;
  dock::DesktopTextDecoder text_{dock::TextEncoding::Utf8};
  bool over_ = false;
  bool begun_ = false;
  bool typed_ = false;    // the keys have ended (Ctrl-], Ctrl-C, the text's end)
  bool stopped_ = false;  // the user's stop ended them
  std::uint32_t lastBytesMs_ = 0;
};

bool KeyboardRun::open() {
  const secure::OpeningResult opened = secure::openSecureSession(driver_);
  out_.newton = session_.newtonName();
  switch (opened.how) {
    case secure::Opening::Opened: return true;
    case secure::Opening::Reconnect: return false;
    case secure::Opening::PasswordRejected: return ended(KeyboardEnd::PasswordRejected);
    case secure::Opening::OldNewton: return ended(KeyboardEnd::OldNewton);
    case secure::Opening::Failed: return ended(KeyboardEnd::LinkLost, opened.code);
  }
  return false;
}

std::int32_t KeyboardRun::run() {
  rt_.app.bytesTotal = 0;
  rt_.app.transferPhase = 0;
  openTransferStatus(rt_, TextId::LookingForNewton);
  setStatusText(rt_.app, std::string("Connecting to the Newton..."));
  refreshStatus(rt_);
  if (!open() && !over_) return reconnectEnding(rt_);
  if (!over_) {
    session_.tell("kybd");
    if (const std::int16_t status = driver_.send(); status != 0) ended(KeyboardEnd::LinkLost, status);
  }
  if (!over_) {
    // The status line gives way to the keys: nothing is drawn while the terminal is raw.
    rt_.app.transferPhase = -1;
    refreshStatus(rt_);
    std::string problem;
    begun_ = true;
    if (job_.begin && !job_.begin(&problem)) {
      ended(KeyboardEnd::InputFailed, 0, problem);
    } else {
      type();
      if (!over_) endTyping();
    }
  }
  return finish();
}

void KeyboardRun::type() {
  const std::int32_t status =
      driver_.waitFor([this] { return look(); }, WaitBounds{kTypingLimitMs, 0, true, kWaitPassMs});
  if (status != 0) ended(KeyboardEnd::LinkLost, status);
}

bool KeyboardRun::look() {
  while (session_.hasEvent() && !over_) {
    const dock::SessionEvent e = session_.nextEvent();
    if (e.kind == dock::SessionEvent::NewtonCancelled) {
      ended(KeyboardEnd::NewtonCancelled);
    } else if (e.kind == dock::SessionEvent::NewtonHungUp) {
      ended(KeyboardEnd::LinkLost, code::kDisconnected);
    } else if (e.kind == dock::SessionEvent::Unknown) {
      const std::string command(e.frame.data.begin(), e.frame.data.end());
      ended(KeyboardEnd::LinkLost, code::kBadConnection, "the Newton does not know '" + command + "'");
    } else if (e.kind == dock::SessionEvent::Unexpected && e.frame.command == "dres" && dock::longOf(e.frame) != 0) {
      ended(KeyboardEnd::LinkLost, code::kBadConnection,
            "the Newton refused the keys: " + dock::resultText(dock::longOf(e.frame)));
    }
  }
  if (over_) return true;
  if (rt_.app.abortRequested) {
    typed_ = stopped_ = true;
    return true;
  }
  if (session_.hasOutput()) return false;  // what was typed goes first
  const KeyboardInput input = job_.read();
  if (!input.problem.empty()) {
    ended(KeyboardEnd::InputFailed, 0, input.problem);
    return true;
  }
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(input.bytes.data()), input.bytes.size());
  if (job_.fromTerminal) {
    const std::uint32_t now = rt_.shell.tickCount();
    if (!bytes.empty()) {
      lastBytesMs_ = now;
      typeStrokes(keys_.feed(bytes));
    } else if (input.ended || now - lastBytesMs_ >= kSequenceGapMs) {
      typeStrokes(keys_.flush());
    }
    typed_ = keys_.ended() || input.ended;
  } else {
    KeyStroke run{KeyStroke::Text, {}, 0, 0};
    text_.feed(bytes, run.text);
    if (input.ended) text_.finish(run.text);
    typeStrokes({run});
    typed_ = input.ended;
  }
  return typed_;
}

void KeyboardRun::typeStrokes(const std::vector<KeyStroke>& strokes) {
  for (const KeyStroke& stroke : strokes) {
    if (stroke.kind == KeyStroke::Key) ++out_.keys;
    if (stroke.kind == KeyStroke::Text) out_.characters += static_cast<std::int64_t>(characterCount(stroke.text));
    for (const KeyFrame& frame : keyFrames(stroke)) session_.tell(frame.command, frame.data);
  }
}

// The desktop's cancel ends the keys; the Newton's "ocaa" comes after it has taken every key before it.
void KeyboardRun::endTyping() {
  session_.cancel();
  bool hungUp = false;
  const std::int32_t status = driver_.waitFor(
      [&] {
        while (session_.hasEvent()) hungUp = hungUp || session_.nextEvent().kind == dock::SessionEvent::NewtonHungUp;
        return !session_.cancelling() || hungUp;
      },
      WaitBounds{kEndWaitMs, 0, true, kWaitPassMs});
  if (hungUp) {
    ended(KeyboardEnd::LinkLost, code::kDisconnected);
  } else if (status == code::kTimeout) {
    ended(KeyboardEnd::Unacknowledged);
  } else if (status != 0) {
    ended(KeyboardEnd::LinkLost, status);
  } else {
    ended(stopped_ ? KeyboardEnd::Stopped : KeyboardEnd::Ended);
  }
}

bool KeyboardRun::ended(KeyboardEnd end, std::int32_t code, std::string problem) {
  if (over_) return false;
  over_ = true;
  out_.end = end;
  out_.code = code;
  out_.problem = std::move(problem);
  return false;
}

std::int32_t KeyboardRun::finish() {
  if (begun_ && job_.end) job_.end();
  if (out_.end != KeyboardEnd::LinkLost && linkUp(rt_.link, rt_.app.pipe)) {
    session_.hangUp();
    (void)driver_.send();  // a Newton may hang up as soon as "disc" reaches it
  }
  setStatusText(rt_.app, LoadText(TextId::Disconnecting));
  rt_.app.transferPhase = -1;
  rt_.link.pipeDisconnect(rt_.app.pipe);
  return out_.end == KeyboardEnd::LinkLost ? out_.code : 0;
}

}  // namespace

std::int32_t runKeyboard(Runtime& rt, KeyboardJob& job, KeyboardOutcome& outcome) {
  KeyboardRun run(rt, job, outcome);
  return run.run();
}

}  // namespace skiff::keyboard
