#include "ui/status_display.h"

namespace skiff {

void StatusDisplay::open(std::uint32_t nowMs) {
  if (open_) close();
  open_ = true;
  lastTickMs_ = nowMs;
  if (abortCheck()) return;
  const StatusOpen opening = statusOnOpen(app_, model_);
  canvas_.draw({opening.statusLine, opening.countLine, std::nullopt, true});
}

void StatusDisplay::refresh() {
  if (!open_ || abortCheck()) return;
  const StatusRefresh refresh = statusOnTimer(app_, model_, baseUnitX_, baseUnitY_);
  if (refresh.close) {
    close();
    return;
  }
  canvas_.draw({refresh.statusLine, refresh.countLine, refresh.bar, false});
}

bool StatusDisplay::refreshIfDue(std::uint32_t nowMs) {
  if (!open_ || nowMs - lastTickMs_ < kStatusRefreshMs) return false;
  lastTickMs_ = nowMs;
  refresh();
  return true;
}

void StatusDisplay::closeForFailure() {
  if (!open_ || abortCheck()) return;
  statusOnCloseMessage(app_);
  close();
}

void StatusDisplay::dismiss() {
  if (!open_ || abortCheck()) return;
  close();
}

bool StatusDisplay::abortCheck() {
  if (!open_ || !statusAbortCheck(app_)) return false;
  close();
  return true;
}

void StatusDisplay::close() {
  open_ = false;
  canvas_.hide();  // last: a skin may let the display go with it
}

}  // namespace skiff
