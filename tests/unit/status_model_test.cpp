#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/texts.h"
#include "ui/geometry.h"
#include "ui/status_display.h"
#include "ui/status_model.h"

namespace skiff {
namespace {

struct CountCase {
  std::int32_t phase;
  std::int32_t total;
  const char* countLine;
  int barWidth;  // -1: bar untouched
};

class StatusCountLine : public ::testing::TestWithParam<CountCase> {};

TEST_P(StatusCountLine, FormatsCountAndBar) {
  AppState app;
  StatusModel model;
  app.transferPhase = GetParam().phase;
  app.bytesTotal = GetParam().total;
  app.statusText = "Sending Data...";
  const StatusRefresh refresh = statusOnTimer(app, model, 8, 16);
  EXPECT_FALSE(refresh.close);
  EXPECT_EQ(refresh.countLine, GetParam().countLine);
  if (GetParam().barWidth < 0) {
    EXPECT_FALSE(refresh.bar.has_value());
  } else {
    ASSERT_TRUE(refresh.bar.has_value());
    EXPECT_EQ(refresh.bar->width, GetParam().barWidth);
    EXPECT_EQ(refresh.bar->height, 16);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatusCountLine,
    ::testing::Values(CountCase{50, 200, "Transferring byte 50 of 200 (25%)", 79},
                      CountCase{1, 0, "Receiving byte 1", -1}, CountCase{0, 200, "", -1},
                      CountCase{200, 200, "Transferring byte 200 of 200 (100%)", 316},
                      CountCase{1, 300, "Transferring byte 1 of 300 ( 0%)", 1},
                      CountCase{70000, 70000, "Transferring byte 70000 of 70000 (100%)", 316},
                      // Large files: the percentage must not overflow.
                      CountCase{30000000, 70000000, "Transferring byte 30000000 of 70000000 (42%)", 135}));

// With the base units of the dialog that laid out the frame, whatever its font: the full bar (158 units) ends
// inside the frame (180 units, from the same left edge), and half the bytes cover half the full bar.
TEST(StatusModel, BarStaysInItsFrameForAnyDialogFont) {
  const int baseUnits[][2] = {{5, 13}, {6, 13}, {7, 13}, {8, 16}, {9, 18}, {10, 20}, {12, 24}};
  for (const auto& units : baseUnits) {
    const PixelRect frame = mapDialogUnits({3, 62, 180, 10}, units[0], units[1]);
    const BarSize full = progressBarSize(4000, 4000, units[0], units[1]);
    const BarSize half = progressBarSize(2000, 4000, units[0], units[1]);
    EXPECT_LE(frame.left + full.width, frame.right) << units[0] << " x " << units[1];
    EXPECT_NEAR(half.width, full.width / 2.0, 1.0) << units[0] << " x " << units[1];
    EXPECT_LE(full.height, frame.bottom - frame.top);
  }
}

TEST(StatusModel, SpinnerTurnsInOrderAndWraps) {
  AppState app;
  StatusModel model;
  app.statusText = "Sending Data...";
  statusOnOpen(app, model);
  const char* expected[] = {"Sending Data...  |", "Sending Data...  /", "Sending Data...  -", "Sending Data...  \\",
                            "Sending Data...  |"};
  for (const char* line : expected) EXPECT_EQ(statusOnTimer(app, model, 8, 16).statusLine, line);
}

TEST(StatusModel, OpenSetsPhaseZeroAndShowsDots) {
  AppState app;
  StatusModel model{3};
  app.transferPhase = -1;
  app.statusText = "Initiating Connection...";
  const StatusOpen open = statusOnOpen(app, model);
  EXPECT_EQ(app.transferPhase, 0);
  EXPECT_EQ(model.spinnerIndex, 0);
  EXPECT_EQ(open.countLine, "...");
  EXPECT_EQ(open.statusLine, "Initiating Connection...");
}

TEST(StatusModel, IdlePhaseClosesTheDialog) {
  AppState app;
  StatusModel model;
  app.transferPhase = -1;
  EXPECT_TRUE(statusOnTimer(app, model, 8, 16).close);
}

TEST(StatusModel, AbortCheckOnlyOnExactAborting) {
  AppState app;
  app.transferPhase = 100;
  app.statusText = "ABORTING...";
  EXPECT_FALSE(statusAbortCheck(app));
  EXPECT_EQ(app.transferPhase, 100);
  app.statusText = "ABORTING";
  EXPECT_TRUE(statusAbortCheck(app));
  EXPECT_EQ(app.transferPhase, -1);
  EXPECT_EQ(app.statusText, "ABORTING...");
}

TEST(StatusModel, LongStatusTextIsBounded) {
  AppState app;
  setStatusText(app, std::string(1000, 'x'));
  EXPECT_EQ(app.statusText.size(), kStatusTextMax);
}

// The display's life, the same for every skin: how each way of ending leaves the transfer, and the cadence.
struct LifeCase {
  const char* name;
  std::function<void(AppState&, StatusDisplay&)> event;
  std::int32_t phaseAfter;
  const char* statusTextAfter;
};

class RecordingCanvas final : public StatusCanvas {
 public:
  std::vector<StatusFrame> frames;
  int hides = 0;
  void draw(const StatusFrame& frame) override { frames.push_back(frame); }
  void hide() override { ++hides; }
};

class StatusLife : public ::testing::TestWithParam<LifeCase> {};

TEST_P(StatusLife, EachEndingLeavesTheTransferAsItShould) {
  AppState app;
  RecordingCanvas canvas;
  StatusDisplay display(app, canvas, 8, 16);
  app.statusText = "Sending Data...";
  display.open(0);
  ASSERT_EQ(canvas.frames.size(), 1u);
  EXPECT_TRUE(canvas.frames[0].opening);
  EXPECT_EQ(canvas.frames[0].countLine, "...");
  app.transferPhase = 250;
  app.bytesTotal = 1000;
  GetParam().event(app, display);
  EXPECT_FALSE(display.isOpen());
  EXPECT_EQ(canvas.hides, 1);
  EXPECT_EQ(app.transferPhase, GetParam().phaseAfter);
  EXPECT_EQ(app.statusText, GetParam().statusTextAfter);
  display.refresh();  // a closed display draws nothing more
  display.closeForFailure();
  EXPECT_EQ(canvas.hides, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, StatusLife,
    ::testing::Values(
        LifeCase{"IdleAgain", [](AppState& app, StatusDisplay& d) { app.transferPhase = -1; d.refresh(); }, -1,
                 "Sending Data..."},
        LifeCase{"Failure", [](AppState&, StatusDisplay& d) { d.closeForFailure(); }, -1, "Sending Data..."},
        LifeCase{"OwnButtons", [](AppState&, StatusDisplay& d) { d.dismiss(); }, 250, "Sending Data..."},
        LifeCase{"UserAbort", [](AppState& app, StatusDisplay& d) { app.statusText = "ABORTING"; d.refresh(); }, -1,
                 "ABORTING..."},
        LifeCase{"AbortBeforeAFailure",
                 [](AppState& app, StatusDisplay& d) { app.statusText = "ABORTING"; d.closeForFailure(); }, -1,
                 "ABORTING..."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StatusLife, RefreshesEveryHalfSecondAndAnEarlierDisplayGivesWay) {
  AppState app;
  RecordingCanvas canvas;
  StatusDisplay display(app, canvas, 8, 16);
  display.open(1000);
  EXPECT_FALSE(display.refreshIfDue(1499));
  EXPECT_TRUE(display.refreshIfDue(1500));
  EXPECT_FALSE(display.refreshIfDue(1999));
  EXPECT_TRUE(display.refreshIfDue(2000));
  EXPECT_EQ(canvas.frames.size(), 3u);
  display.open(2100);  // the next file of a batch
  EXPECT_EQ(canvas.hides, 1);
  EXPECT_TRUE(display.isOpen());
  EXPECT_EQ(app.transferPhase, 0);
}

}  // namespace
}  // namespace skiff
