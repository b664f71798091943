// ui/: the portable decisions of what the user sees (the status display and its frames, the About box's
// layout, dialog geometry); a skin draws them.
//
// The transfer status display's life, decided once for every front end. An engine opens it when a transfer
// starts and asks it to show the state now; it also shows the state every 500 ms; it closes when the transfer is
// idle again (transferPhase -1), when the transfer failed, or when the user's abort ("ABORTING") reaches it. A
// skin only draws the frame it is given (a dialog's controls, a terminal line, a test's record) or hides it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/app_state.h"
#include "ui/status_model.h"

namespace skiff {

inline constexpr std::uint32_t kStatusRefreshMs = 500;

// What the display shows at one moment.
struct StatusFrame {
  std::string statusLine;      // the stage text, two spaces and the spinner (at the opening: the stage alone)
  std::string countLine;       // "Transferring byte ..." or empty (at the opening: "...")
  std::optional<BarSize> bar;  // set when the bar is to be resized
  bool opening = false;        // the frame a display opens with, before anything was counted
};

// Where a display is drawn.
class StatusCanvas {
 public:
  virtual ~StatusCanvas() = default;
  virtual void draw(const StatusFrame& frame) = 0;
  // The display has ended: take it off the screen. Nothing of the display may be used after this call.
  virtual void hide() = 0;
};

// A canvas that shows nothing, for shells that need the display's decisions but no picture of it (benchmarks).
class BlankCanvas final : public StatusCanvas {
 public:
  void draw(const StatusFrame&) override {}
  void hide() override {}
};

class StatusDisplay {
 public:
  // `baseUnitX` and `baseUnitY` convert the bar's dialog units into the canvas's own (pixels per 4 horizontal
  // and per 8 vertical units).
  StatusDisplay(AppState& app, StatusCanvas& canvas, int baseUnitX, int baseUnitY)
      : app_(app), canvas_(canvas), baseUnitX_(baseUnitX), baseUnitY_(baseUnitY) {}

  // A transfer starts: transferPhase 0, the spinner from its start, the opening frame. An earlier display of
  // this one gives way; an abort already asked for closes it at once.
  void open(std::uint32_t nowMs);
  // Shows the state now, whatever asked (an engine, the main window's Close, the display's own timer).
  void refresh();
  // The display's own cadence for skins without a timer of their own: a refresh every kStatusRefreshMs while
  // open. True when it refreshed.
  bool refreshIfDue(std::uint32_t nowMs);
  // The transfer failed (a failed write, a lost link): transferPhase -1, and the display is gone at once.
  void closeForFailure();
  // The dialog's own buttons: the display is gone; the transfer is not touched.
  void dismiss();
  // Before anything else on every event: "ABORTING" exactly ends the display (transferPhase -1, statusText
  // "ABORTING..."). True when it did.
  bool abortCheck();

  bool isOpen() const { return open_; }

 private:
  void close();

  AppState& app_;
  StatusCanvas& canvas_;
  int baseUnitX_;
  int baseUnitY_;
  StatusModel model_;
  bool open_ = false;
  std::uint32_t lastTickMs_ = 0;
};

}  // namespace skiff
