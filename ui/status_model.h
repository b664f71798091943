// What the transfer status dialog shows and when it closes: portable decisions, carried out by each skin.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/app_state.h"
#include "core/text_ids.h"

namespace skiff {

inline constexpr char kSpinnerChars[] = "|/-\\";

struct StatusModel {
  int spinnerIndex = 0;
};

// The bar's size in pixels for the progress transferPhase / bytesTotal: 158 dialog units long when full (its
// frame is 180), 8 high, converted with the base units of the dialog that shows it (pixels per 4 horizontal and
// per 8 vertical dialog units), the units its frame was laid out in.
struct BarSize {
  int width = 0;
  int height = 0;
};
BarSize progressBarSize(std::int32_t transferPhase, std::int32_t bytesTotal, int baseUnitX, int baseUnitY);

// Before anything else on every message: "ABORTING" exactly closes the dialog (transferPhase -1,
// statusText "ABORTING..."). True when the dialog must close now.
bool statusAbortCheck(AppState& app);

struct StatusOpen {
  std::string countLine;   // "..."
  std::string statusLine;  // statusText
};
// WM_INITDIALOG: transferPhase 0, spinner reset.
StatusOpen statusOnOpen(AppState& app, StatusModel& model);

struct StatusRefresh {
  bool close = false;             // transferPhase was -1: the dialog ends
  std::string countLine;
  std::string statusLine;         // statusText, two spaces, spinner character
  std::optional<BarSize> bar;     // set when the bar is to be resized
};
// WM_TIMER, whatever its source.
StatusRefresh statusOnTimer(AppState& app, StatusModel& model, int baseUnitX, int baseUnitY);

// MSG_STATUS_CLOSE: transferPhase -1; the dialog ends.
void statusOnCloseMessage(AppState& app);

}  // namespace skiff
