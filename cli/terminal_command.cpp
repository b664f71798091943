#include "cli/terminal_command.h"

#include "app/program.h"
#include "dil/dil.h"
#include "ui/texts.h"

namespace skiff::cli {

CommandOutcome runTerminalCommand(AppState& app, const std::function<void(TerminalShell&)>& prepare,
                                  const std::function<std::int32_t(Runtime&)>& command) {
  app.pipeBufferSize = 2048;
  auto link = makeDilLink();
  startLink(app, *link);

  installInterruptHandler();
  TerminalShell shell(app, *link);
  if (prepare) prepare(shell);
  Runtime rt{app, *link, shell};
  CommandOutcome outcome;
  outcome.result = command(rt);
  app.transferPhase = -1;
  if (outcome.result != 0) ShowMessage(shell, LoadText(10), ErrorText(outcome.result), "", "");
  stopLink(app, *link);

  outcome.messagesShown = shell.messagesShown();
  outcome.stopped = shell.connectionStopped() || app.quitPending;
  return outcome;
}

}  // namespace skiff::cli
