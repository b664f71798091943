#include "transfer/download_command.h"

#include "link/pump.h"
#include "transfer/classify.h"
#include "transfer/multi_select.h"
#include "transfer/transfer_session.h"
#include "ui/texts.h"

namespace skiff {

namespace {

constexpr std::int32_t kDownloadBaud = 19200;
constexpr const char* kWindowsValue = "WINDOWS\x04";
constexpr int kTextCancelled = 11;
constexpr int kTextCannotOpen = 32;
constexpr int kTextPartsRefused = 65;
constexpr int kDialogStopped = 2;
constexpr int kDialogConnected = 5;

// Sets the state the session reads for one file, and opens it. False when it could not be opened.
bool prepareFile(AppState& app, const SelectedFile& file) {
  app.currentPath = upperCased(file.path);
  app.fileName = file.name;
  app.fileTypeValue = kWindowsValue;
  app.fileCreatorValue = kWindowsValue;
  const Classification found = classifyPath(app.currentPath);
  app.fileKind = found.kind;
  app.textHeader = found.header;
  // Opened by the path as given: the upper-cased copy only classifies (file names are case-sensitive here).
  return app.openFile.open(file.path, found.textMode);
}

enum class Connect { Connected, Failed, Stopped };

// openPipe(19200) and the connection wait. A failure's code goes to *code.
Connect connect(Runtime& rt, std::int32_t* code, int* listenFailures) {
  for (;;) {
    if (const std::int32_t opened = openPipe(rt, kDownloadBaud); opened != 0) {
      *code = opened;
      return Connect::Failed;
    }
    const int answer = rt.shell.runConnectionDialog();
    if (answer == kDialogStopped) return Connect::Stopped;
    if (answer == kDialogConnected) {
      *listenFailures = 0;
      return Connect::Connected;
    }
    // Any other end code is pipeListen's failure: try again a few times, then give up with its code rather
    // than loop on a port that will not listen.
    if (++*listenFailures >= kListenAttempts) {
      *code = answer;
      return Connect::Failed;
    }
  }
}

// Connects and runs the session until it stops asking for a new connection. `reportStop` shows the
// cancellation text (the batch does, a single file does not).
std::int32_t connectAndSend(Runtime& rt, bool reportStop, bool* stopped, int* listenFailures) {
  for (;;) {
    std::int32_t failure = 0;
    switch (connect(rt, &failure, listenFailures)) {
      case Connect::Failed:
        return failure;
      case Connect::Stopped:
        if (reportStop) ShowMessage(rt.shell, LoadText(kTextCancelled), "", "", "");
        *stopped = true;
        return 0;
      case Connect::Connected:
        break;
    }
    const std::int32_t result = runTransferSession(rt);
    if (result != SESSION_RECONNECT) return result;
  }
}

std::int32_t sendOne(Runtime& rt, const SelectedFile& file) {
  AppState& app = rt.app;
  app.download.fileNumber = 1;
  app.firstFile = true;
  app.lastFileOfBatch = true;
  app.fileOpened = true;
  if (!prepareFile(app, file)) {
    ShowMessage(rt.shell, "Could not open file", "", "", "");
    return 0;
  }
  bool stopped = false;
  int listenFailures = 0;
  return connectAndSend(rt, false, &stopped, &listenFailures);
}

std::int32_t sendBatch(Runtime& rt, const std::vector<SelectedFile>& files) {
  AppState& app = rt.app;
  if (files.empty()) return 0;
  app.firstFile = true;
  bool connected = false;
  int listenFailures = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    app.download.fileNumber = static_cast<int>(i) + 1;
    app.lastFileOfBatch = i + 1 == files.size();
    app.fileOpened = true;
    const bool opened = prepareFile(app, files[i]);
    if (!opened) {
      ShowMessage(rt.shell, LoadText(kTextCannotOpen), app.currentPath, "", "");
      if (app.lastFileOfBatch) {
        app.fileOpened = false;  // the session only closes the batch
      } else if (connected) {
        continue;
      }
    }

    std::int32_t result = 0;
    bool stopped = false;
    if (!connected) {
      if (!opened && !app.lastFileOfBatch) {
        // A skipped first file still connects; the batch goes on with the next file.
        std::int32_t failure = 0;
        const Connect outcome = connect(rt, &failure, &listenFailures);
        if (outcome == Connect::Failed) return failure;
        if (outcome == Connect::Stopped) {
          ShowMessage(rt.shell, LoadText(kTextCancelled), "", "", "");
          return 0;
        }
        connected = true;
        app.firstFile = false;
        continue;
      }
      result = connectAndSend(rt, true, &stopped, &listenFailures);
      connected = true;
      app.firstFile = false;
    } else {
      result = runTransferSession(rt);
      // The link was lost before this file's data went out: connect again and send the same file.
      if (result == SESSION_RECONNECT) result = connectAndSend(rt, true, &stopped, &listenFailures);
    }
    if (stopped || result != 0) return result;
    if (!app.lastFileOfBatch) app.openFile.close();
  }
  return 0;
}

// A "NO" leaves a file on the Newton without the refused parts: that is a failure, told once the link is down
// (a box in the middle of a batch would hold the link).
void reportIncompleteFiles(Runtime& rt) {
  for (const IncompleteFile& file : rt.app.download.incomplete) {
    ShowMessage(rt.shell, FormatBounded(kShowMessageMax, LoadText(kTextPartsRefused).c_str(),
                                        static_cast<long>(file.refused), static_cast<long>(file.parts),
                                        file.name.c_str()));
  }
}

}  // namespace

OpenFileRequest downloadFileRequest() {
  OpenFileRequest request;
  request.title = "Choose file(s) to download";
  request.filters = {{"Text Files (*.TXT)", "*.TXT"}, {"Bitmap Files (*.BMP)", "*.BMP"}, {"All Files (*.*)", "*.*"}};
  request.defaultExtension = "TXT";
  request.initialName = "untitled";
  request.multiSelect = true;
  return request;
}

DownloadSelection selectionFromDialog(const OpenFileResult& result) {
  DownloadSelection selection;
  if (isSingleSelection(result)) {
    // The buffer may carry the dialog's padding: the path ends at its first NUL.
    const std::string path = result.buffer.substr(0, result.buffer.find('\0'));
    selection.files.push_back({path, result.title.empty() ? path : result.title});
    return selection;
  }
  selection.several = true;
  MultiSelectWalker walker(result.buffer);
  while (auto name = walker.next()) selection.files.push_back({joinSelectedPath(walker.directory(), *name), *name});
  return selection;
}

std::int32_t runDownloadSelection(Runtime& rt, const DownloadSelection& selection) {
  rt.app.abortRequested = false;
  rt.app.download = {};
  rt.app.download.fileCount = static_cast<int>(selection.files.size());
  std::int32_t result = 0;
  if (!selection.several) {
    if (!selection.files.empty()) result = sendOne(rt, selection.files.front());
  } else {
    result = sendBatch(rt, selection.files);
  }
  // Whatever way the command ends, the file it opened is closed (the link-status ending leaves it open).
  rt.app.openFile.close();
  reportIncompleteFiles(rt);
  return result;
}

std::int32_t runDownloadCommand(Runtime& rt) {
  rt.app.abortRequested = false;
  OpenFileResult chosen;
  if (!rt.shell.chooseFiles(downloadFileRequest(), &chosen)) return 0;
  return runDownloadSelection(rt, selectionFromDialog(chosen));
}

}  // namespace skiff
