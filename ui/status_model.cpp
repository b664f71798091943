#include "ui/status_model.h"

#include <cmath>

#include "core/texts.h"

namespace skiff {

BarSize progressBarSize(std::int32_t transferPhase, std::int32_t bytesTotal, int baseUnitX, int baseUnitY) {
  if (bytesTotal == 0) return {};
  const float barUnits = static_cast<float>(static_cast<double>(transferPhase) / bytesTotal * 158.0);
  BarSize size;
  size.width = static_cast<int>(std::floor(baseUnitX * static_cast<double>(barUnits) * 0.25));
  size.height = static_cast<int>(std::floor(baseUnitY * 8 * 0.125));
  return size;
}

bool statusAbortCheck(AppState& app) {
  if (app.statusText != "ABORTING") return false;
  app.transferPhase = -1;
  app.statusText = "ABORTING...";
  return true;
}

StatusOpen statusOnOpen(AppState& app, StatusModel& model) {
  app.transferPhase = 0;
  model.spinnerIndex = 0;
  return {"...", app.statusText};
}

StatusRefresh statusOnTimer(AppState& app, StatusModel& model, int baseUnitX, int baseUnitY) {
  StatusRefresh refresh;
  if (app.transferPhase == -1) {
    refresh.close = true;
    return refresh;
  }
  if (app.transferPhase > 0 && app.bytesTotal == 0) {
    refresh.countLine = FormatBounded(255, LoadText(TextId::ReceivingByte).c_str(), static_cast<long>(app.transferPhase));
  } else if (app.transferPhase > 0) {
    // 32-bit arithmetic as the dialog always did; a product that does not fit is computed wide instead.
    const auto percent = static_cast<int>(static_cast<std::int64_t>(app.transferPhase) * 100 / app.bytesTotal);
    if (app.batch.entriesReceived > 0) {
      // A backup counts the Newton's entries; its total is the stores' used size, an estimate.
      refresh.countLine = FormatBounded(255, LoadText(TextId::EntriesReceivedOf).c_str(),
                                        static_cast<long>(app.batch.entriesReceived),
                                        static_cast<long>(app.transferPhase), static_cast<long>(app.bytesTotal), percent);
    } else {
      refresh.countLine = FormatBounded(255, LoadText(TextId::TransferringByteOf).c_str(),
                                        static_cast<long>(app.transferPhase), static_cast<long>(app.bytesTotal), percent);
    }
    refresh.bar = progressBarSize(app.transferPhase, app.bytesTotal, baseUnitX, baseUnitY);
  }
  refresh.statusLine = FormatBounded(255, "%s  %c", app.statusText.c_str(), kSpinnerChars[model.spinnerIndex & 3]);
  model.spinnerIndex = (model.spinnerIndex + 1) % 4;
  return refresh;
}

void statusOnCloseMessage(AppState& app) { app.transferPhase = -1; }

}  // namespace skiff
