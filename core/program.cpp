#include "core/program.h"

#include "core/texts.h"

namespace skiff {

namespace {
}

void initialState(AppState& app, void* instance) {
  setStatusText(app, TextId::SettingUp);
  app.transferPhase = -1;
  app.instance = instance;
}

void startLink(AppState& app, LinkOps& link) {
  link.linkStartup();
  app.pipe = link.pipeCreate();
  link.linkRegisterApp(app.pipe, app.instance);
}

int runMainLoop(Runtime& rt) {
  for (;;) {
    int quitCode = 0;
    const PumpPass pass = rt.shell.takeMessage(&quitCode);
    if (pass == PumpPass::Quit) return quitCode;
    if (pass == PumpPass::Idle && rt.app.pipe != nullptr) rt.link.pipeIdle(rt.app.pipe);
  }
}

void stopLink(AppState& app, LinkOps& link) {
  if (app.pipe != nullptr) {
    link.pipeDisconnect(app.pipe);
    link.pipeDispose(app.pipe);
    app.pipe = nullptr;
  }
  link.linkShutdown();
}

}  // namespace skiff
