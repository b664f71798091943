// The keyboard against the simulated Newton's dock in memory: what its insertion point ends up with, from text
// as it stands and from a terminal's keys, read in pieces that split a CR LF and a UTF-8 sequence; and the
// session's frames in order, "kybd" first and the cancel that ends it last.
#include <gtest/gtest.h>

#include <deque>

#include "keyboard/keyboard_run.h"
#include "newton/dock_protocol.h"
#include "tests/support/dock_behind_link.h"
#include "tests/support/engine_world.h"

namespace skiff {
namespace {

struct KeyboardCase {
  const char* name;
  bool fromTerminal;
  std::vector<std::string> reads;  // what each read gives; then the input ends
  std::u16string typed;            // what the Newton's text holds afterwards
  std::int64_t characters, keys;
};

class KeyboardTable : public ::testing::TestWithParam<KeyboardCase>, public test::EngineWorld {};

TEST_P(KeyboardTable, TheNewtonHoldsWhatWasTyped) {
  const KeyboardCase& c = GetParam();
  test::DockBehindLink newtonSide;
  link.connected = true;
  app.pipe = link.pipeCreate();
  newtonSide.attach(link, std::make_unique<newton::DockProtocol>(newton::DockFaults{}, "Newton", newton::DockTiming{},
                                                                newton::NewtonIdentity{},
                                                                newton::StoreService({}, {}, 64'870'920)));
  std::deque<std::string> reads(c.reads.begin(), c.reads.end());
  keyboard::KeyboardJob job;
  job.fromTerminal = c.fromTerminal;
  int begun = 0, ended = 0;
  job.begin = [&](std::string*) { return ++begun == 1; };
  job.end = [&] { ++ended; };
  job.read = [&] {
    keyboard::KeyboardInput input;
    if (reads.empty()) {
      input.ended = true;
    } else {
      input.bytes = reads.front();
      reads.pop_front();
    }
    return input;
  };
  keyboard::KeyboardOutcome outcome;
  EXPECT_EQ(keyboard::runKeyboard(rt, job, outcome), 0);
  EXPECT_EQ(outcome.end, keyboard::KeyboardEnd::Ended);
  EXPECT_EQ(newtonSide.dock->keyboard().text(), c.typed);
  EXPECT_EQ(std::make_pair(outcome.characters, outcome.keys), std::make_pair(c.characters, c.keys));
  EXPECT_EQ(std::make_pair(begun, ended), std::make_pair(1, 1));
  const std::vector<std::string>& frames = newtonSide.commands();
  const auto kybd = std::find(frames.begin(), frames.end(), "kybd");
  ASSERT_NE(kybd, frames.end());
  EXPECT_EQ(std::count_if(frames.begin(), kybd, [](const auto& f) { return f.rfind("kbd", 0) == 0; }), 0);
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(frames.end() - 2, frames.end()), (std::vector<std::string>{"opca", "disc"}));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, KeyboardTable,
    ::testing::Values(
        KeyboardCase{"TextAsItStands", false, {"Dear Ann,\r", "\nCaf\xC3", "\xA9 at 9?\n", std::string(300, 'x')},
                     u"Dear Ann,\rCaf\u00E9 at 9?\r" + std::u16string(300, u'x'), 321, 0},
        KeyboardCase{"KeysAtATerminal", true, {"Helo", "\x1B[Dl\x1B[C!\r", "x\x7F", "\x1Bz", "\x1D", "not typed"},
                     u"Hello!\r", 8, 4}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skiff
