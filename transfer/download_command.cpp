#include "transfer/download_command.h"

#include <optional>

#include "core/connect.h"
#include "core/pump.h"
#include "core/texts.h"
#include "transfer/classify.h"
#include "transfer/multi_select.h"
#include "transfer/transfer_session.h"

namespace skiff {

namespace {

constexpr const char* kWindowsValue = "WINDOWS\x04";

// One Download command over its selection: one connection serves every file. It is made for the first file
// (even one that cannot be opened) and made again whenever a session says the link was lost before its data went;
// the same file is then sent again. Each step answers the command's result when the command ends there.
class DownloadRun {
 public:
  DownloadRun(Runtime& rt, bool batch) : rt_(rt), app_(rt.app), batch_(batch) {}

  std::int32_t sendOne(const SelectedFile& file) {
    if (!open(file, 1, true)) {
      ShowMessage(rt_.shell, kCouldNotOpenFile);
      return 0;
    }
    return send().value_or(0);
  }

  std::int32_t sendBatch(const std::vector<SelectedFile>& files) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      const bool last = i + 1 == files.size();
      if (!open(files[i], i + 1, last)) {
        ShowMessage(rt_.shell, LoadText(TextId::CannotOpenFile), app_.currentPath, "", "");
        if (!last) {
          // Skipped; the batch goes on with the next file, over the connection the first file makes.
          if (const auto ended = connect()) return *ended;
          if (stopAsked()) return endEarly(files, i + 1);
          continue;
        }
        // The last file's session still runs: it only ends the batch.
      }
      if (const auto ended = send()) return *ended;
      if (!last) app_.openFile.close();
      if (!last && stopAsked()) return endEarly(files, i + 1);
    }
    return 0;
  }

 private:
  // The command line's stop: the file that was being sent has ended, the next must not start.
  bool stopAsked() const { return app_.stopBetweenFiles && app_.abortRequested; }

  // Ends a stopped batch after files[next - 1]: the files after it are noted as not sent, and a session for no
  // file ends the batch on the Newton ("DONE"), as for a last file that cannot be opened. A link that is down
  // already has no batch left to end.
  std::int32_t endEarly(const std::vector<SelectedFile>& files, std::size_t next) {
    for (std::size_t i = next; i < files.size(); ++i) app_.batch.notSent.push_back(files[i].name);
    app_.openFile.close();
    app_.fileOpened = file_.fileOpened = false;
    file_.lastFileOfBatch = true;
    const std::int32_t state = rt_.link.pipeState(app_.pipe);
    if (state != state::kConnected && state != state::kOutputBusy) return 0;
    return runTransferSession(rt_, file_);
  }

  // The file the session sends, named in the state for the front ends, and opened (by the path as given: the
  // upper-cased copy only classifies, file names are case-sensitive here). False when it could not be opened.
  bool open(const SelectedFile& file, std::size_t number, bool last) {
    app_.batch.fileNumber = static_cast<int>(number);
    app_.currentPath = upperCased(file.path);
    const Classification found = classifyPath(app_.currentPath);
    file_ = FileToSend{found.kind, file.name, file.announced, kWindowsValue, kWindowsValue, found.header, false, last};
    file_.fileOpened = file.contents ? app_.openFile.openBytes(*file.contents, found.textMode)
                                     : app_.openFile.open(file.path, found.textMode);
    app_.fileName = file_.fileName;
    app_.fileOpened = file_.fileOpened;
    return file_.fileOpened;
  }

  // The file's session, over the connection (made first when there is none); nothing when the batch goes on.
  std::optional<std::int32_t> send() {
    const SessionRun run = runConnected(rt_, plan(), connected_, [this] { return runTransferSession(rt_, file_); });
    if (run.ended) return ending(*run.ended);
    return run.result != 0 ? std::optional(run.result) : std::nullopt;
  }

  // The connection, unless there is one. Ends the command when the user stops (a batch says so) or the pipe
  // cannot be opened; a listen that keeps failing ends it with its code rather than loop on a port that will not
  // listen.
  std::optional<std::int32_t> connect() {
    if (connected_) return std::nullopt;
    const ConnectionEnd end = connectNewton(rt_, plan());
    connected_ = end.how == Connection::Connected;
    if (connected_) return std::nullopt;
    return ending(end);
  }

  static ConnectionPlan plan() { return ConnectionPlan{kDownloadBaud, kListenAttempts}; }

  std::int32_t ending(const ConnectionEnd& end) {
    if (end.how != Connection::Stopped) return end.code;
    if (batch_) ShowMessage(rt_.shell, LoadText(TextId::OperationCancelled), "", "", "");
    return 0;
  }

  Runtime& rt_;
  AppState& app_;
  FileToSend file_;
  const bool batch_;  // several files: the batch's texts
  bool connected_ = false;
};

// A "NO" leaves a file on the Newton without the refused parts: that is a failure, told once the link is down
// (a box in the middle of a batch would hold the link).
void reportIncompleteFiles(Runtime& rt) {
  for (const IncompleteFile& file : rt.app.batch.incomplete) {
    ShowMessage(rt.shell, FormatBounded(kShowMessageMax, LoadText(TextId::PartsRefused).c_str(),
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
  rt.app.batch = {};
  rt.app.batch.fileCount = static_cast<int>(selection.files.size());
  DownloadRun run(rt, selection.several);
  std::int32_t result = 0;
  if (!selection.several) {
    if (!selection.files.empty()) result = run.sendOne(selection.files.front());
  } else {
    result = run.sendBatch(selection.files);
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
