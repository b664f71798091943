// skiff keyboard against newton-sim's backup role over a pseudo-terminal, with the real link library: standard
// input typed exactly as the Newton's text (DIR/typed.txt), and keys typed at a terminal of its own, which every
// way out leaves as it found it (stty -g on that terminal before and after).
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/pty_process.h"
#include "tests/support/sim_process.h"

namespace skiff::e2e {
namespace {

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// What follows `label` up to the line's end.
std::string lineAfter(const std::string& output, const std::string& label) {
  const std::size_t at = output.find(label);
  if (at == std::string::npos) return {};
  const std::size_t from = at + label.size();
  return output.substr(from, output.find_first_of("\r\n", from) - from);
}

// The first child of `parent`, as the kernel lists it; -1 when there is none (yet).
pid_t childOf(pid_t parent) {
  std::ifstream children("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
  pid_t child = -1;
  children >> child;
  return child;
}

struct Keyboard : ::testing::Test {
  std::filesystem::path dir;
  std::unique_ptr<test::SimProcess> sim;

  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("skiff-keyboard-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "out");
  }
  void TearDown() override {
    if (!HasFailure()) std::filesystem::remove_all(dir);
  }
  void startNewton() {
    sim = std::make_unique<test::SimProcess>(
        std::vector<std::string>{"--retransmit-ms", "300", "backup", "--out", (dir / "out").string()});
    ASSERT_TRUE(sim->start()) << sim->errors();
  }
};

// A letter with CR LF and LF line ends, non-ASCII and 9,000 characters in all, typed as it stands.
TEST_F(Keyboard, StandardInputIsTypedExactly) {
  std::string letter = "Dear Ann,\r\n\r\nthe cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e \xE2\x80\x94 \xF0\x9F\x8D\xAE \xE2\x80\x94 was\n";
  for (int i = 0; letter.size() < 9000; ++i) letter += "line " + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
  std::ofstream(dir / "letter.txt", std::ios::binary) << letter;
  startNewton();
  const auto result = test::runCommand({"/bin/sh", "-c", "exec " + quoted(test::binPath("skiff")) + " keyboard --port " +
                                                             quoted(sim->device()) + " < " + quoted((dir / "letter.txt").string())},
                                       120000);
  EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(sim->wait(20000), 0) << sim->errors();
  std::string expected = letter;
  for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;) expected.erase(at + 1, 1);
  for (char& c : expected) c = c == '\n' ? '\r' : c;
  EXPECT_EQ(fileText(dir / "out" / "typed.txt"), expected);
  const auto characters = std::count_if(expected.begin(), expected.end(), [](char c) { return (c & 0xC0) != 0x80; });
  EXPECT_TRUE(has(result.out, "Typed " + std::to_string(characters) + " characters.\n")) << result.out;
}

struct WayOut {
  const char* name;
  std::string keys;  // typed after the first keys
  int signal;        // sent to skiff instead, or 0
  bool newtonGoes;   // the simulated Newton ends instead
  int exitCode;
};

class KeyboardEnds : public Keyboard, public ::testing::WithParamInterface<WayOut> {};

// Keys typed at a terminal reach the Newton; however the run ends, the terminal's settings are as before.
TEST_P(KeyboardEnds, TheTerminalIsLeftAsItWasFound) {
  const WayOut& w = GetParam();
  startNewton();
  const std::string script = "echo \"before=$(stty -g)\"; " + quoted(test::binPath("skiff")) + " keyboard --port " +
                             quoted(sim->device()) + "; echo \"exit=$?\"; echo \"after=$(stty -g)\"";
  test::PtyProcess shell({"/bin/sh", "-c", script}, dir.string());
  ASSERT_TRUE(shell.start());
  ASSERT_TRUE(shell.waitFor("Ctrl-] or Ctrl-C ends.", 60000)) << shell.output();
  // "Helo", left, "l", right, "!", Return, "x", Backspace: "Hello!" and a Return.
  shell.type("Helo\x1B[Dl\x1B[C!\rx\x7F");
  if (w.signal != 0 || w.newtonGoes) {
    ASSERT_TRUE(shell.waitFor("", 1000));
    usleep(1500 * 1000);  // the keys go before the end comes
  }
  if (w.signal != 0) {
    const pid_t skiff = childOf(shell.pid());
    ASSERT_GT(skiff, 0);
    kill(skiff, w.signal);
  } else if (w.newtonGoes) {
    kill(sim->pid(), SIGKILL);
  } else {
    shell.type(w.keys);
  }
  ASSERT_EQ(shell.wait(60000), 0) << shell.output();
  EXPECT_EQ(lineAfter(shell.output(), "exit="), std::to_string(w.exitCode)) << shell.output();
  const std::string before = lineAfter(shell.output(), "before=");
  EXPECT_GT(before.size(), 20u) << shell.output();
  EXPECT_EQ(lineAfter(shell.output(), "after="), before) << shell.output();
  if (w.signal == 0 && !w.newtonGoes) {
    EXPECT_EQ(sim->wait(20000), 0);
    EXPECT_EQ(fileText(dir / "out" / "typed.txt"), "Hello!\r") << shell.output();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, KeyboardEnds,
    ::testing::Values(WayOut{"CtrlBracket", "\x1D", 0, false, 0}, WayOut{"CtrlC", "\x03", 0, false, 0},
                      WayOut{"Terminated", "", SIGTERM, false, 128 + SIGTERM},
                      WayOut{"TheNewtonGoes", "", 0, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace skiff::e2e
