#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/main_window_logic.h"
#include "core/program.h"
#include "core/pump.h"
#include "tests/support/engine_world.h"
#include "tests/support/fake_shell.h"
#include "tests/support/scripted_link.h"

namespace skiff {
namespace {

namespace fs = std::filesystem;

// Records what the decisions asked of the window.
struct RecordingView : MainWindowView {
  std::map<unsigned, bool> checks;
  std::vector<std::string> actions;
  void setMenuCheck(unsigned id, bool checked) override {
    checks[id] = checked;
    actions.push_back((checked ? "check " : "clear ") + std::to_string(id));
  }
  void greyMenuItem(unsigned id) override { actions.push_back("grey " + std::to_string(id)); }
  void sendClose() override { actions.push_back("close"); }
  void runAboutBox() override { actions.push_back("about"); }
  void pressAboutOk(WindowRef about) override {
    actions.push_back(about != nullptr ? "about ok" : "about ok to nothing");
  }
  void killSplashTimer() override { actions.push_back("kill splash timer"); }
  std::set<unsigned> checked() const {
    std::set<unsigned> ids;
    for (const auto& [id, on] : checks)
      if (on) ids.insert(id);
    return ids;
  }
};

// What a transfer command stand-in saw and did.
struct TransferScript {
  std::int32_t result = 0;
  int calls = 0;
  bool abortSeenAtStart = true;
  std::function<void(Runtime&)> during;
};
TransferScript* gScript = nullptr;
std::int32_t scriptedTransfer(Runtime& rt) {
  ++gScript->calls;
  gScript->abortSeenAtStart = rt.app.abortRequested;
  rt.app.transferPhase = 0;
  if (gScript->during) gScript->during(rt);
  return gScript->result;
}

struct MainWindowFixture : ::testing::Test, test::EngineWorld {
  RecordingView view;
  MainWindow window{rt, view};
  TransferScript script;
  fs::path path;

  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '_';
    path = fs::temp_directory_path() / ("skiff_window_" + std::to_string(getpid()) + "_" + name + ".cfg");
    fs::remove(path);
    window.settingsPath = path.string();
    window.download = &scriptedTransfer;
    window.package = &scriptedTransfer;
    gScript = &script;
    app.pipe = link.pipeCreate();
  }
  void TearDown() override {
    fs::remove(path);
    gScript = nullptr;
  }
  std::string fileBytes() const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void writeFile(const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
};

std::string cfg(const char* port, char more, const char* baud4, char batches) {
  return std::string(port, 4) + std::string(1, more) + std::string(baud4, 4) + std::string(1, batches);
}

// --- check marks from the settings -----------------------------------------------------------------------------

struct MarksCase {
  const char* name;
  Settings settings;
  std::set<unsigned> checked;
};

class MenuMarks : public ::testing::TestWithParam<MarksCase> {};

TEST_P(MenuMarks, OneItemOfEachGroupIsChecked) {
  const MarksCase& c = GetParam();
  std::map<unsigned, int> seen;
  std::set<unsigned> checked;
  for (const MenuMark& mark : menuMarksFor(c.settings)) {
    ++seen[mark.id];
    if (mark.checked) checked.insert(mark.id);
  }
  EXPECT_EQ(checked, c.checked);
  for (unsigned id : {50u, 51u, 52u, 53u, 70u, 71u, 81u, 82u, 83u, 85u, 86u}) EXPECT_EQ(seen[id], 1) << id;
  EXPECT_EQ(seen.size(), 11u);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, MenuMarks,
    ::testing::Values(MarksCase{"BuiltIn", {"COM1", 0, 38400, 0}, {50, 71, 86, 81}},
                      MarksCase{"Com2MoreTime9600Batches", {"COM2", 1, 9600, 1}, {51, 70, 85, 82}},
                      MarksCase{"Com3At2400", {"COM3", 0, 2400, 0}, {52, 71, 86, 83}},
                      MarksCase{"Com4", {"COM4", 0, 38400, 0}, {53, 71, 86, 81}},
                      MarksCase{"Com7ChecksCom4", {"COM7", 0, 38400, 0}, {53, 71, 86, 81}},
                      MarksCase{"Baud19200ChecksThe2400Item", {"COM1", 0, 19200, 0}, {50, 71, 86, 83}},
                      MarksCase{"AnyNonZeroFlagCounts", {"COM1", 7, 38400, 200}, {50, 70, 85, 81}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowFixture, CreationWithoutAFileWritesTheBuiltInValues) {
  mainWindowCreated(window);
  EXPECT_EQ(fileBytes(), std::string("\x43\x4F\x4D\x31\x00\x00\x96\x00\x00\x00", 10));
  EXPECT_EQ(view.checked(), (std::set<unsigned>{50, 71, 86, 81}));
  EXPECT_EQ(view.actions.back(), "grey 22");
}

TEST_F(MainWindowFixture, CreationShowsAPreparedFile) {
  writeFile(cfg("COM3", 1, "\x80\x25\x00\x00", 1));
  mainWindowCreated(window);
  EXPECT_EQ(view.checked(), (std::set<unsigned>{52, 70, 85, 82}));
  EXPECT_EQ(app.settings.portName, "COM3");
  EXPECT_EQ(app.settings.packageBaud, 9600);
}

TEST_F(MainWindowFixture, AStrangePortStaysInUseWhileCom4IsChecked) {
  writeFile(cfg("COM7", 0, "\x00\x4B\x00\x00", 0));  // 19200
  mainWindowCreated(window);
  EXPECT_EQ(view.checked(), (std::set<unsigned>{53, 71, 86, 83}));
  EXPECT_EQ(app.settings.portName, "COM7");
  EXPECT_EQ(app.settings.packageBaud, 19200);
  EXPECT_EQ(pipeConfigText(app.settings.portName, 19200), "COM7:19200,n,8,1");
}

// --- the Config commands ----------------------------------------------------------------------------------------

struct ConfigCase {
  const char* name;
  unsigned id;
  std::set<unsigned> checkedAfter;  // of the items this command touches
  std::set<unsigned> clearedAfter;
  std::string file;
};

class ConfigCommands : public MainWindowFixture, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigCommands, MarkChangeAndRewriteTheWholeFile) {
  const ConfigCase& c = GetParam();
  EXPECT_EQ(mainWindowCommand(window, c.id), CommandReply::Done);
  for (unsigned id : c.checkedAfter) EXPECT_TRUE(view.checks.at(id)) << id;
  for (unsigned id : c.clearedAfter) EXPECT_FALSE(view.checks.at(id)) << id;
  EXPECT_EQ(fileBytes(), c.file);
  EXPECT_TRUE(shell.boxes.empty());
}

const char* const k38400 = "\x00\x96\x00\x00";
INSTANTIATE_TEST_SUITE_P(
    Ids, ConfigCommands,
    ::testing::Values(ConfigCase{"Com1", 50, {50}, {51, 52, 53}, cfg("COM1", 0, k38400, 0)},
                      ConfigCase{"Com2", 51, {51}, {50, 52, 53}, cfg("COM2", 0, k38400, 0)},
                      ConfigCase{"Com3", 52, {52}, {50, 51, 53}, cfg("COM3", 0, k38400, 0)},
                      ConfigCase{"Com4", 53, {53}, {50, 51, 52}, cfg("COM4", 0, k38400, 0)},
                      ConfigCase{"MoreTime", 70, {70}, {71}, cfg("COM1", 1, k38400, 0)},
                      ConfigCase{"LessTime", 71, {71}, {70}, cfg("COM1", 0, k38400, 0)},
                      ConfigCase{"Baud38400", 81, {81}, {82, 83}, cfg("COM1", 0, k38400, 0)},
                      ConfigCase{"Baud9600", 82, {82}, {81, 83}, cfg("COM1", 0, "\x80\x25\x00\x00", 0)},
                      ConfigCase{"Baud2400", 83, {83}, {81, 82}, cfg("COM1", 0, "\x60\x09\x00\x00", 0)},
                      ConfigCase{"Batches", 85, {85}, {86}, cfg("COM1", 0, k38400, 1)},
                      ConfigCase{"Once", 86, {86}, {85}, cfg("COM1", 0, k38400, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowFixture, ChoosingCom1AfterAStoredCom3WritesCom1) {
  writeFile(cfg("COM3", 0, k38400, 0));
  mainWindowCreated(window);
  mainWindowCommand(window, 50);
  EXPECT_EQ(app.settings.portName, "COM1");
  EXPECT_EQ(fileBytes().substr(0, 4), "COM1");
  EXPECT_EQ(view.checked().count(52), 0u);
}

// --- the rest of the command table ------------------------------------------------------------------------------

TEST_F(MainWindowFixture, ExitSendsCloseAboutRunsTheBoxHelpWarns) {
  EXPECT_EQ(mainWindowCommand(window, 5), CommandReply::Done);
  EXPECT_EQ(mainWindowCommand(window, 41), CommandReply::Done);
  EXPECT_EQ(mainWindowCommand(window, 40), CommandReply::Done);
  EXPECT_EQ(view.actions, (std::vector<std::string>{"close", "about"}));
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Help is not yet implemented!");
  EXPECT_EQ(shell.boxes[0].caption, "Skiff");
  EXPECT_EQ(shell.boxes[0].icon, BoxIcon::Warning);
}

class UnknownCommands : public MainWindowFixture, public ::testing::WithParamInterface<unsigned> {};

TEST_P(UnknownCommands, AnswerFunctionNotAvailable) {
  EXPECT_EQ(mainWindowCommand(window, GetParam()), CommandReply::Done);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "That function is not available in this version of Skiff.");
  EXPECT_EQ(shell.boxes[0].caption, "Function not available");
  EXPECT_EQ(shell.boxes[0].icon, BoxIcon::None);
  EXPECT_EQ(script.calls, 0);
  EXPECT_FALSE(fs::exists(path));
}

INSTANTIATE_TEST_SUITE_P(Ids, UnknownCommands, ::testing::Values(22u, 84u, 2u, 80u, 40013u, 0u, 65535u));

class BusyGuard : public MainWindowFixture, public ::testing::WithParamInterface<unsigned> {};

TEST_P(BusyGuard, NoCommandActsWhileBytesAreCounted) {
  app.transferPhase = 1;
  EXPECT_EQ(mainWindowCommand(window, GetParam()), CommandReply::PassOn);
  EXPECT_TRUE(view.actions.empty());
  EXPECT_TRUE(shell.boxes.empty());
  EXPECT_EQ(script.calls, 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(app.transferPhase, 1);
}

INSTANTIATE_TEST_SUITE_P(Ids, BusyGuard,
                         ::testing::Values(3u, 5u, 21u, 22u, 24u, 40u, 41u, 50u, 53u, 70u, 71u, 81u, 83u, 85u, 86u,
                                           1005u, 9999u));

// --- transfer commands -------------------------------------------------------------------------------------------

struct TransferCase {
  const char* name;
  unsigned id;
  std::int32_t result;
  CommandReply reply;
  std::string box;  // empty: no box
};

class TransferCommands : public MainWindowFixture, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(TransferCommands, RunReportAndReturnToIdle) {
  const TransferCase& c = GetParam();
  script.result = c.result;
  app.pipeBufferSize = 77;
  script.during = [](Runtime& r) {
    EXPECT_EQ(r.app.pipeBufferSize, 2048);
    r.app.transferPhase = 123;
  };
  EXPECT_EQ(mainWindowCommand(window, c.id), c.reply);
  EXPECT_EQ(script.calls, 1);
  EXPECT_EQ(app.transferPhase, -1);
  EXPECT_FALSE(app.transferRunning);
  if (c.box.empty()) {
    EXPECT_TRUE(shell.boxes.empty());
  } else {
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, c.box);
    EXPECT_EQ(shell.boxes[0].caption, "Skiff");
    EXPECT_EQ(shell.boxes[0].icon, BoxIcon::Information);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ids, TransferCommands,
    ::testing::Values(
        TransferCase{"DownloadMenuOk", 21, 0, CommandReply::Done, ""},
        TransferCase{"DownloadButtonTimeout", 1005, -28708, CommandReply::Done,
                     "Error -- Timeout error.  (check your connection settings)"},
        TransferCase{"PackageButtonPortInUse", 3, -97, CommandReply::PassOn,
                     "Error -- The selected port could not be found or is already in use.  (check your connection "
                     "settings)"},
        TransferCase{"PackageMenuUnknownCode", 24, -5, CommandReply::PassOn, "Error -- unknown error -5"},
        TransferCase{"PackageMenuOk", 24, 0, CommandReply::PassOn, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowFixture, DownloadWithoutAPipeAsksForAConnection) {
  app.pipe = nullptr;
  app.transferPhase = 0;
  EXPECT_EQ(mainWindowCommand(window, 21), CommandReply::Done);
  EXPECT_EQ(script.calls, 0);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text, "Please make a connection first.");
  EXPECT_EQ(shell.boxes[0].icon, BoxIcon::Information);
  EXPECT_EQ(app.transferPhase, -1);
}

TEST_F(MainWindowFixture, PackageNeedsNoPipeOfItsOwn) {
  app.pipe = nullptr;
  mainWindowCommand(window, 3);
  EXPECT_EQ(script.calls, 1);
}

TEST_F(MainWindowFixture, AnEarlierAbortDoesNotCarryIntoTheNextTransfer) {
  app.abortRequested = true;
  mainWindowCommand(window, 24);
  EXPECT_FALSE(script.abortSeenAtStart);
}

// A quit message taken by a pump inside the transfer is posted again once the command has returned, so the main
// loop sees it and the program ends.
TEST_F(MainWindowFixture, AQuitTakenDuringATransferIsPostedAgain) {
  shell.quitAt(200, 0);
  script.during = [](Runtime& r) { pumpFor(r, 5000); };
  mainWindowCommand(window, 21);
  EXPECT_EQ(clock.now, 200u);
  EXPECT_EQ(shell.postedQuits, 1);
  EXPECT_FALSE(app.quitPending);
  app.pipe = nullptr;
  EXPECT_EQ(runMainLoop(rt), 0);
}

TEST_F(MainWindowFixture, NoQuitIsPostedWhenNoneWasTaken) {
  script.during = [](Runtime& r) { pumpFor(r, 100); };
  mainWindowCommand(window, 24);
  EXPECT_EQ(shell.postedQuits, 0);
}

// A second transfer command while one sets up (transferPhase 0) is refused with string 62 and leaves the running
// transfer's state alone.
class SecondTransfer : public MainWindowFixture, public ::testing::WithParamInterface<unsigned> {};

TEST_P(SecondTransfer, IsRefusedWhileTheFirstSetsUp) {
  const unsigned second = GetParam();
  std::int32_t phaseAfterNested = 99;
  std::int32_t bufferAfterNested = 0;
  script.during = [&](Runtime& r) {
    r.app.pipeBufferSize = 500;
    mainWindowCommand(window, second);
    phaseAfterNested = r.app.transferPhase;
    bufferAfterNested = r.app.pipeBufferSize;
  };
  mainWindowCommand(window, 21);
  EXPECT_EQ(script.calls, 1);
  EXPECT_EQ(phaseAfterNested, 0);
  EXPECT_EQ(bufferAfterNested, 500);
  ASSERT_EQ(shell.boxes.size(), 1u);
  EXPECT_EQ(shell.boxes[0].text,
            "Skiff can support only one trasnfer at a time.  Please try again when the current transfer is "
            "finished.");
  EXPECT_EQ(shell.boxes[0].caption, "Skiff");
  EXPECT_EQ(shell.boxes[0].icon, BoxIcon::Information);
}

INSTANTIATE_TEST_SUITE_P(Ids, SecondTransfer, ::testing::Values(3u, 21u, 24u, 1005u));

TEST_F(MainWindowFixture, ASecondTransferWhileBytesFlowIsIgnoredSilently) {
  script.during = [&](Runtime& r) {
    r.app.transferPhase = 10;
    EXPECT_EQ(mainWindowCommand(window, 3), CommandReply::PassOn);
  };
  mainWindowCommand(window, 21);
  EXPECT_EQ(script.calls, 1);
  EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(MainWindowFixture, ConfigCommandsStillActWhileATransferSetsUp) {
  script.during = [&](Runtime&) { mainWindowCommand(window, 82); };
  mainWindowCommand(window, 24);
  EXPECT_EQ(app.settings.packageBaud, 9600);
}

// --- Close and the splash timer ----------------------------------------------------------------------------------

class CloseWhenNotCounting : public MainWindowFixture, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(CloseWhenNotCounting, DestroysTheWindow) {
  app.transferPhase = GetParam();
  app.statusText = "Setting up...";
  EXPECT_TRUE(mainWindowClose(window));
  EXPECT_FALSE(app.abortRequested);
  EXPECT_EQ(app.statusText, "Setting up...");
}

INSTANTIATE_TEST_SUITE_P(Phases, CloseWhenNotCounting, ::testing::Values(-1, 0));

TEST_F(MainWindowFixture, CloseWhileCountingAbortsAndClosesTheStatusDialog) {
  app.statusText = "Sending Data...";
  shell.openStatus();
  app.transferPhase = 700;
  app.bytesTotal = 1000;
  EXPECT_FALSE(mainWindowClose(window));
  EXPECT_TRUE(app.abortRequested);
  EXPECT_FALSE(shell.statusOpen());
  EXPECT_EQ(app.statusText, "ABORTING...");
  EXPECT_EQ(app.transferPhase, -1);
}

TEST_F(MainWindowFixture, SplashTimerClosesAnOpenAboutBoxAndDies) {
  window.aboutDialog = reinterpret_cast<WindowRef>(0x20);
  mainWindowTimer(window);
  EXPECT_EQ(view.actions, (std::vector<std::string>{"about ok", "kill splash timer"}));
}

TEST_F(MainWindowFixture, SplashTimerAfterTheBoxClosedOnlyDies) {
  mainWindowTimer(window);
  EXPECT_EQ(view.actions, (std::vector<std::string>{"kill splash timer"}));
}

TEST(ButtonFaces, EachButtonHasItsBitmap) {
  EXPECT_EQ(buttonFace(2), 124);
  EXPECT_EQ(buttonFace(3), 123);
  EXPECT_EQ(buttonFace(1005), 122);
  EXPECT_EQ(buttonFace(5), 0);
}

}  // namespace
}  // namespace skiff
