#include "app/main_window_logic.h"

#include "core/abort_request.h"
#include "core/texts.h"
#include "package/package_command.h"
#include "transfer/download_command.h"

namespace skiff {

namespace {

void checkOnly(std::vector<MenuMark>& marks, unsigned first, unsigned last, unsigned chosen) {
  for (unsigned id = first; id <= last; ++id) marks.push_back({id, id == chosen});
}

unsigned portItem(const std::string& portName) {
  if (portName == "COM1") return command::kCom1;
  if (portName == "COM2") return command::kCom1 + 1;
  if (portName == "COM3") return command::kCom1 + 2;
  return command::kCom4;
}

unsigned baudItem(std::int32_t baud) {
  if (baud == 38400) return command::kBaud38400;
  if (baud == 9600) return command::kBaud9600;
  return command::kBaud2400;
}

void applyMarks(MainWindowView& view, const std::vector<MenuMark>& marks) {
  for (const MenuMark& mark : marks) view.setMenuCheck(mark.id, mark.checked);
}

void save(MainWindow& window) { SaveSettings(window.rt.app.settings, window.settingsPath); }

void choosePort(MainWindow& window, unsigned id) {
  std::vector<MenuMark> marks;
  checkOnly(marks, command::kCom1, command::kCom4, id);
  applyMarks(window.view, marks);
  window.rt.app.settings.portName = "COM" + std::to_string(id - command::kCom1 + 1);
  save(window);
}

void chooseBaud(MainWindow& window, unsigned id, std::int32_t baud) {
  std::vector<MenuMark> marks;
  checkOnly(marks, command::kBaud38400, command::kBaud2400, id);
  applyMarks(window.view, marks);
  window.rt.app.settings.packageBaud = baud;
  save(window);
}

void choosePair(MainWindow& window, unsigned on, unsigned off, std::uint8_t& field, std::uint8_t value) {
  window.view.setMenuCheck(off, false);
  window.view.setMenuCheck(on, true);
  field = value;
  save(window);
}

// One transfer command from start to finish. A second one while the first is still running (a nested call from
// a pump inside it, the status dialog already up) would drive the same pipe twice: it is refused.
void runTransfer(MainWindow& window, TransferCommand transfer, bool needsPipe) {
  Runtime& rt = window.rt;
  AppState& app = rt.app;
  if (app.transferRunning) {
    ShowMessage(rt.shell, LoadText(TextId::OneTransferAtATime));
    return;
  }
  app.pipeBufferSize = 2048;
  if (needsPipe && app.pipe == nullptr) {
    ShowMessage(rt.shell, "Please make a connection first.");
  } else {
    app.transferRunning = true;
    app.abortRequested = false;  // an abort belongs to the transfer it was asked for
    const std::int32_t result = transfer != nullptr ? transfer(rt) : 0;
    app.transferRunning = false;
    if (result != 0) {
      app.errorText = ErrorText(result);
      ShowMessage(rt.shell, LoadText(TextId::ErrorPrefix), app.errorText);
    }
  }
  app.transferPhase = -1;
  // A quit message that a pump inside the transfer took is posted again, so the program still ends.
  if (app.quitPending) {
    app.quitPending = false;
    rt.shell.postQuit(app.quitCode);
  }
}

}  // namespace

MainWindow::MainWindow(Runtime& runtime, MainWindowView& window)
    : rt(runtime), view(window), download(&runDownloadCommand), package(&runPackageCommand) {}

int buttonFace(unsigned controlId) {
  switch (controlId) {
    case command::kReceiveButton: return kReceiveFace;
    case command::kPackageButton: return kPackageFace;
    case command::kDownloadButton: return kDownloadFace;
    default: return 0;
  }
}

std::vector<MenuMark> menuMarksFor(const Settings& settings) {
  std::vector<MenuMark> marks;
  checkOnly(marks, command::kCom1, command::kCom4, portItem(settings.portName));
  const bool more = settings.moreBackgroundTime != 0;
  marks.push_back({command::kMoreTime, more});
  marks.push_back({command::kLessTime, !more});
  const bool batches = settings.receiveInBatches != 0;
  marks.push_back({command::kBatches, batches});
  marks.push_back({command::kOnce, !batches});
  checkOnly(marks, command::kBaud38400, command::kBaud2400, baudItem(settings.packageBaud));
  return marks;
}

void mainWindowCreated(MainWindow& window) {
  LoadSettings(window.rt.app.settings, window.settingsPath);
  applyMarks(window.view, menuMarksFor(window.rt.app.settings));
  window.view.greyMenuItem(command::kReceive);
}

CommandReply mainWindowCommand(MainWindow& window, unsigned id) {
  AppState& app = window.rt.app;
  Settings& settings = app.settings;
  if (app.transferPhase > 0) return CommandReply::PassOn;  // bytes are flowing: no command acts
  switch (id) {
    case command::kPackageButton:
    case command::kDownloadPackage:
      runTransfer(window, window.package, false);
      return CommandReply::PassOn;
    case command::kExit:
      window.view.sendClose();
      return CommandReply::Done;
    case command::kDownload:
    case command::kDownloadButton:
      runTransfer(window, window.download, true);
      return CommandReply::Done;
    case command::kHelp:
      window.rt.shell.messageBox("Help is not yet implemented!", "Skiff", BoxIcon::Warning, BoxOwner::MainWindow);
      return CommandReply::Done;
    case command::kAbout:
      window.view.runAboutBox();
      return CommandReply::Done;
    case command::kCom1:
    case command::kCom1 + 1:
    case command::kCom1 + 2:
    case command::kCom4:
      choosePort(window, id);
      return CommandReply::Done;
    case command::kMoreTime:
      choosePair(window, command::kMoreTime, command::kLessTime, settings.moreBackgroundTime, 1);
      return CommandReply::Done;
    case command::kLessTime:
      choosePair(window, command::kLessTime, command::kMoreTime, settings.moreBackgroundTime, 0);
      return CommandReply::Done;
    case command::kBaud38400:
      chooseBaud(window, id, 38400);
      return CommandReply::Done;
    case command::kBaud9600:
      chooseBaud(window, id, 9600);
      return CommandReply::Done;
    case command::kBaud2400:
      chooseBaud(window, id, 2400);
      return CommandReply::Done;
    case command::kBatches:
      choosePair(window, command::kBatches, command::kOnce, settings.receiveInBatches, 1);
      return CommandReply::Done;
    case command::kOnce:
      choosePair(window, command::kOnce, command::kBatches, settings.receiveInBatches, 0);
      return CommandReply::Done;
    default:
      window.rt.shell.messageBox("That function is not available in this version of Skiff.",
                                 "Function not available", BoxIcon::None, BoxOwner::MainWindow);
      return CommandReply::Done;
  }
}

// The Windows program never stops between files, so only a transfer whose bytes are counted takes the Close.
bool mainWindowClose(MainWindow& window) { return !requestAbort(window.rt.app, window.rt.shell); }

void mainWindowTimer(MainWindow& window) {
  if (window.aboutDialog != nullptr) window.view.pressAboutOk(window.aboutDialog);
  window.view.killSplashTimer();
}

}  // namespace skiff
