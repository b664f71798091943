// The desktop's dock session as a state machine: against the simulated Newton's own dock in memory, and against
// scripted Newton frames for the answers a package load never sees.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dock/session.h"
#include "newton/dock_protocol.h"
#include "tests/support/sample_package.h"

namespace skiff {
namespace {

using Bytes = std::vector<std::uint8_t>;
using dock::SessionEvent;

std::vector<std::string> commandsOf(dock::Session& session) {
  std::vector<std::string> out;
  while (session.hasOutput()) {
    const Bytes frame = session.takeOutput();
    out.push_back(std::string(frame.begin() + 8, frame.begin() + 12));
  }
  return out;
}

std::vector<SessionEvent> eventsOf(dock::Session& session) {
  std::vector<SessionEvent> out;
  while (session.hasEvent()) out.push_back(session.nextEvent());
  return out;
}

// --- against the simulated dock -----------------------------------------------------------------------------------

struct SimulatedCase {
  const char* name;
  newton::DockFaults faults;
  bool brokenPackage;
  std::vector<SessionEvent::Kind> events;
  std::int32_t result;                     // of the package's Reply
  bool newtonHungUp;                       // the dock saw "disc"
};

class SessionWithTheDock : public ::testing::TestWithParam<SimulatedCase> {};

TEST_P(SessionWithTheDock, OpensLoadsAndEnds) {
  const SimulatedCase& c = GetParam();
  newton::DockProtocol newtonSide(c.faults, "Newton");
  dock::Session session({});
  std::uint32_t now = 0;
  const auto deliver = [&](const std::vector<newton::DockAction>& actions) {
    for (const auto& a : actions)
      if (a.kind == newton::DockAction::Send) session.receive(a.bytes, now);
  };
  const auto flush = [&] {
    while (session.hasOutput()) deliver(newtonSide.feed(session.takeOutput()));
  };
  deliver(newtonSide.start());
  flush();
  Bytes package = test::validPackage(5001);
  if (c.brokenPackage) package[0] = 'X';
  dock::RequestId id = 0;
  if (session.opened()) {
    EXPECT_EQ(session.newtonName()->owner, "Newton");
    id = session.askStream("lpkg", static_cast<std::uint32_t>(package.size()), {{"dres"}, {}});
    flush();
    package.resize(package.size() + dock::padFor(package.size()), 0);
    deliver(newtonSide.feed(package));
    flush();
  }
  std::vector<SessionEvent::Kind> kinds;
  for (const auto& e : eventsOf(session)) {
    kinds.push_back(e.kind);
    if (e.kind == SessionEvent::Reply && e.request == id) {
      EXPECT_EQ(e.result, c.result);
    }
  }
  EXPECT_EQ(kinds, c.events);
  if (session.opened()) session.hangUp();
  flush();
  EXPECT_EQ(newtonSide.disconnected(), c.newtonHungUp);
}

newton::DockFaults cancelAfter(std::int64_t bytes) {
  newton::DockFaults f;
  f.cancelAfter = bytes;
  return f;
}
newton::DockFaults wrongOpening() {
  newton::DockFaults f;
  f.wrongOpening = true;
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionWithTheDock,
    ::testing::Values(
        // Opened, the "stim" answer, then the package's.
        SimulatedCase{"Installed", {}, false, {SessionEvent::Opened, SessionEvent::Reply, SessionEvent::Reply}, 0, true},
        SimulatedCase{"Refused", {}, true, {SessionEvent::Opened, SessionEvent::Reply, SessionEvent::Reply}, -10401,
                      true},
        // The Newton cancels in the middle: "ocaa" goes back; its reader has given the package up, so "disc" is seen.
        SimulatedCase{"NewtonCancels", cancelAfter(1000), false,
                      {SessionEvent::Opened, SessionEvent::Reply, SessionEvent::NewtonCancelled}, 0, true},
        // A keep-alive where "rtdk" should be.
        SimulatedCase{"WrongOpening", wrongOpening(), false, {SessionEvent::WrongOpening}, 0, false}),
    [](const auto& info) { return info.param.name; });

// --- scripted Newton frames, once the session is up ---------------------------------------------------------------

struct Step {
  std::function<void(dock::Session&)> desktop;  // what the desktop asks, may be empty
  Bytes newton;                                 // then what the Newton sends
};

struct ScriptCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> sent;     // the desktop's frames after the opening, in order
  std::string events;                // "kind:command:final:result" for each event, space-separated
};

std::string describe(const SessionEvent& e) {
  static const char* kinds[] = {"Opened", "WrongOpening", "Reply", "NewtonCancelled", "Cancelled", "Unknown",
                                "Unexpected", "NewtonHungUp", "PasswordRejected", "Failed"};
  return std::string(kinds[e.kind]) + ":" + e.frame.command + ":" + (e.final ? "1" : "0") + ":" +
         std::to_string(e.result);
}

Bytes frames(std::initializer_list<Bytes> list) {
  Bytes out;
  for (const auto& f : list) out.insert(out.end(), f.begin(), f.end());
  return out;
}
Bytes f(const char* command, Bytes data = {}) { return dock::encodeFrame(command, data); }
Bytes fl(const char* command, std::int32_t value) { return dock::encodeLongFrame(command, value); }

void ask(dock::Session& s, const char* command, dock::Expect expect) { s.ask(command, {}, std::move(expect)); }

class SessionScript : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(SessionScript, AnswersPairWithTheirRequests) {
  dock::SessionSetup setup;
  setup.keepAliveMs = 30000;
  dock::Session session(setup);
  session.receive(frames({fl("rtdk", 9), newton::nameFrame("N"), fl("dres", 0)}), 0);
  ASSERT_TRUE(session.opened());
  (void)commandsOf(session);
  (void)eventsOf(session);  // the opening, and the answer to "stim"
  std::vector<std::string> sent;
  std::string events;
  std::uint32_t now = 0;
  for (const Step& step : GetParam().steps) {
    now += 1000;
    if (step.desktop) step.desktop(session);
    session.receive(step.newton, now);
    session.tick(now);
    for (const auto& c : commandsOf(session)) sent.push_back(c);
    for (const auto& e : eventsOf(session)) events += (events.empty() ? "" : " ") + describe(e);
  }
  EXPECT_EQ(sent, GetParam().sent);
  EXPECT_EQ(events, GetParam().events);
}

const dock::Expect kStores{{"stor"}, {}};
const dock::Expect kEntries{{"bsdn", "ndir"}, {"entr", "bids", "base"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionScript,
    ::testing::Values(
        ScriptCase{"KeepAliveIsSkippedWhileAnAnswerIsAwaited",
                   {{[](auto& s) { ask(s, "gsto", kStores); }, frames({f("helo"), f("stor", {2, 10})})}},
                   {"gsto"}, "Reply:stor:1:0"},
        ScriptCase{"AResultInPlaceOfTheDataEndsTheRequest",
                   {{[](auto& s) { ask(s, "ssou", kStores); }, fl("dres", -28015)}}, {"ssou"}, "Reply:dres:1:-28015"},
        ScriptCase{"AStreamOfEntriesEndsAtItsEnd",
                   {{[](auto& s) { ask(s, "bksp", kEntries); },
                     frames({f("entr", {2, 10}), fl("base", 100), f("helo"), f("entr", {2, 10}), f("bsdn")})}},
                   {"bksp"}, "Reply:entr:0:0 Reply:base:0:0 Reply:entr:0:0 Reply:bsdn:1:0"},
        // The ID list announces no length: it ends at its 8000 word, and its padding is not the next frame.
        ScriptCase{"AnIdListOfUnknownLength",
                   {{[](auto& s) { ask(s, "bksp", kEntries); },
                     [] {
                       Bytes b = dock::encodeFrame("bids", {});
                       b.resize(12);
                       b.insert(b.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x05, 0xFF, 0xFE, 0x80, 0x00, 0, 0});
                       return frames({b, f("bsdn")});
                     }()}},
                   {"bksp"}, "Reply:bids:0:0 Reply:bsdn:1:0"},
        ScriptCase{"TwoRequestsTwoAnswersInTurn",
                   {{[](auto& s) { ask(s, "gsto", kStores); ask(s, "gets", {{"soup"}, {}}); },
                     frames({f("stor", {2, 10}), f("soup", {2, 10, 2, 10})})}},
                   {"gsto", "gets"}, "Reply:stor:1:0 Reply:soup:1:0"},
        ScriptCase{"UnknownCommandEndsTheRequest",
                   {{[](auto& s) { ask(s, "gsyn", {{"sopt"}, {}}); }, f("unkn", {'g', 's', 'y', 'n'})}}, {"gsyn"},
                   "Unknown:unkn:1:0"},
        ScriptCase{"TheNewtonCancelsAndIsAcknowledged",
                   {{[](auto& s) { ask(s, "snds", kEntries); }, frames({f("entr", {2, 10}), f("opca")})}},
                   {"snds", "ocaa"}, "Reply:entr:0:0 NewtonCancelled:opca:1:0"},
        // Entries keep coming after our cancel until the Newton's "ocaa"; they are dropped.
        ScriptCase{"OurCancelDropsWhatComesBeforeItsAcknowledgement",
                   {{[](auto& s) { ask(s, "snds", kEntries); }, f("entr", {2, 10})},
                    {[](auto& s) { s.cancel(); }, frames({f("entr", {2, 10}), f("entr", {2, 10}), f("ocaa")})}},
                   {"snds", "opca"}, "Reply:entr:0:0 Cancelled:ocaa:1:0"},
        ScriptCase{"AFrameNothingAskedForIsUnexpected", {{nullptr, f("stor", {2, 10})}}, {}, "Unexpected:stor:1:0"},
        ScriptCase{"TheNewtonHangsUp", {{[](auto& s) { ask(s, "gsto", kStores); }, f("disc")}}, {"gsto"},
                   "NewtonHungUp:disc:1:0"},
        // Our own keep-alive after 30 s of our silence, never while an answer is awaited.
        ScriptCase{"OurKeepAliveAfterASilence",
                   [] {
                     std::vector<Step> steps;
                     for (int i = 0; i < 31; ++i) steps.push_back({nullptr, {}});
                     return steps;
                   }(),
                   {"helo"}, ""}),
    [](const auto& info) { return info.param.name; });

// --- the Newton OS 2.x opening ------------------------------------------------------------------------------------

struct SecureCase {
  const char* name;
  std::uint64_t newtonsPass;   // what the Newton answers "stim" with
  std::vector<std::string> sent;
  SessionEvent::Kind last;
};

class SecureOpening : public ::testing::TestWithParam<SecureCase> {};

TEST_P(SecureOpening, ChecksTheNewtonsPasswordAndAnswersWithItsOwn) {
  const auto encrypt = [](std::uint64_t v) { return v ^ 0x0123456789ABCDEFull; };  // a stand-in for NDES
  dock::SessionSetup setup;
  setup.type = dock::SessionType::SettingUp;
  setup.stimSeconds = 90;
  setup.secure = dock::SecureOpening{0xE44A20F000000284ull, 0, false, {}, 0x2D, encrypt};
  dock::Session session(setup);
  std::vector<std::string> sent;
  const auto step = [&](const Bytes& bytes) {
    session.receive(bytes, 0);
    for (const auto& c : commandsOf(session)) sent.push_back(c);
  };
  step(fl("rtdk", 9));
  step(newton::nameFrame("Ben"));
  step(dock::encodeFrame("ninf", Bytes{0, 0, 0, 10, 0xFF, 0xB0, 0x4B, 0x47, 0x00, 0x47, 0x8B, 0xC9}));
  step(fl("dres", 0));
  Bytes pass;
  for (int shift = 56; shift >= 0; shift -= 8) pass.push_back(static_cast<std::uint8_t>(GetParam().newtonsPass >> shift));
  step(dock::encodeFrame("pass", pass));
  EXPECT_EQ(sent, GetParam().sent);
  std::vector<SessionEvent> events = eventsOf(session);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, GetParam().last);
  EXPECT_EQ(session.protocol(), 10u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecureOpening,
    ::testing::Values(SecureCase{"Matches", 0xE44A20F000000284ull ^ 0x0123456789ABCDEFull,
                                 {"dock", "dinf", "wicn", "stim", "pass"}, SessionEvent::Opened},
                      SecureCase{"DoesNotMatch", 0x1111111111111111ull, {"dock", "dinf", "wicn", "stim", "dres"},
                                 SessionEvent::PasswordRejected}),
    [](const auto& info) { return info.param.name; });

// A Newton OS 1.x Newton (ROM version below 2.0) knows no "dinf": the session opens as a package loader's does.
TEST(SecureOpening, AnOlderNewtonGetsThePackageLoadersOpening) {
  dock::SessionSetup setup;
  setup.secure = dock::SecureOpening{};
  dock::Session session(setup);
  Bytes name = newton::nameFrame("Old");
  name[16 + 4 + 12 + 1] = 0x01;  // ROM version 1.x
  session.receive(frames({fl("rtdk", 9), name}), 0);
  EXPECT_EQ(commandsOf(session), (std::vector<std::string>{"dock", "stim"}));
  EXPECT_TRUE(session.opened());
  EXPECT_EQ(session.protocol(), 9u);
  EXPECT_FALSE(session.newtonName()->runsNewtonOs2());
}

}  // namespace
}  // namespace skiff
