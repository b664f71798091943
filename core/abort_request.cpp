#include "core/abort_request.h"

namespace skiff {

bool stopGoesToTransfer(const AppState& app) {
  return app.transferPhase > 0 || (app.transferPhase == 0 && app.stopBetweenFiles);
}

bool requestAbort(AppState& app, ShellOps& shell) {
  if (!stopGoesToTransfer(app)) return false;
  app.statusText = "ABORTING";
  app.abortRequested = true;
  shell.showStatusNow();
  return true;
}

}  // namespace skiff
