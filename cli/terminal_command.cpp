#include "cli/terminal_command.h"

#include "app/program.h"
#include "dil/dil.h"
#include "ui/texts.h"

namespace skiff::cli {

CommandOutcome runTerminalCommand(AppState& app, const TerminalCommand& command) {
  app.pipeBufferSize = 2048;
  app.frontEndTellsPortFailure = true;
  auto link = makeDilLink();
  tuneDilLink(*link, command.link);
  startLink(app, *link);

  installInterruptHandler();
  TerminalShell shell(app, *link);
  shell.watchCalls(command.callWatch);
  if (command.prepare) command.prepare(shell);
  Runtime rt{app, *link, shell};
  CommandOutcome outcome;
  outcome.result = command.run(rt);
  app.transferPhase = -1;
  if (outcome.result == code::kPortUnavailable) {
    outcome.portError = dilPortSystemError(*link, app.pipe);
  } else if (outcome.result != 0) {
    ShowMessage(shell, LoadText(TextId::ErrorPrefix), ErrorText(outcome.result), "", "");
  }
  stopLink(app, *link);
  shell.endStatusLine();

  outcome.messagesShown = shell.messagesShown();
  outcome.stopped = shell.connectionStopped() || app.quitPending;
  return outcome;
}

}  // namespace skiff::cli
