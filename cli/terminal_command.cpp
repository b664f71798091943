#include "cli/terminal_command.h"

#include <cstdio>

#include "core/program.h"
#include "core/texts.h"
#include "dil/dil.h"

namespace skiff::cli {

const char* const kNoCompressionOffered = "The Newton offers no compression: the link goes on uncompressed.";

std::string noAcknowledgementText(int patienceMs) {
  char text[96];
  std::snprintf(text, sizeof text, "The Newton stopped answering: no acknowledgement for %g s.",
                static_cast<double>(patienceMs) / 1000.0);
  return text;
}

CommandOutcome runTerminalCommand(AppState& app, const TerminalCommand& command) {
  app.pipeBufferSize = 2048;
  app.frontEndTellsPortFailure = true;
  TerminalShell* shown = nullptr;  // the link says its note through the shell, made below
  auto link = makeDilLink();
  DilTuning tuning = command.link;
  tuning.uncompressed = [&shown] {
    if (shown) shown->note(kNoCompressionOffered);
  };
  tuneDilLink(*link, tuning);
  startLink(app, *link);

  installInterruptHandler();
  TerminalShell shell(app, *link);
  setDilNotices(*link, [&shell](const std::string& text) { shell.linkNotice(text); });
  shell.watchCalls(command.callWatch);
  shown = &shell;
  if (command.prepare) command.prepare(shell);
  Runtime rt{app, *link, shell};
  CommandOutcome outcome;
  outcome.result = command.run(rt);
  app.transferPhase = -1;
  if (outcome.result == code::kPortUnavailable) {
    outcome.portError = dilPortSystemError(*link, app.pipe);
  } else if (outcome.result == code::kDisconnected &&
             dilLinkLoss(*link, app.pipe) == DilLoss::NoAcknowledgement && command.link.patienceMs > 0) {
    // Not "Disconnection detected.": Skiff ended the link, and the reason is the Newton's silence.
    ShowMessage(shell, noAcknowledgementText(command.link.patienceMs), "", "", "");
  } else if (outcome.result != 0) {
    ShowMessage(shell, LoadText(TextId::ErrorPrefix), ErrorText(outcome.result), "", "");
  }
  stopLink(app, *link);
  setDilNotices(*link, nullptr);
  shell.endStatusLine();

  outcome.messagesShown = shell.messagesShown();
  outcome.stopped = shell.connectionStopped() || app.quitPending;
  return outcome;
}

}  // namespace skiff::cli
