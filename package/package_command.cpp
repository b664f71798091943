#include "package/package_command.h"

#include <functional>

#include "core/connect.h"
#include "core/pump.h"
#include "core/texts.h"
#include "package/package_loader.h"

namespace skiff {

namespace {

OpenFileRequest packageFileRequest() {
  OpenFileRequest request;
  request.title = "Choose package file to download";
  request.filters = {{"Package Files (*.PKG)", "*.PKG"}, {"All Files (*.*)", "*.*"}};
  request.defaultExtension = "PKG";
  request.initialName = "untitled";
  request.multiSelect = false;
  return request;
}

// The path as the dialog's 768-byte buffer holds it: up to its first NUL, at most kPathMax characters.
std::string chosenPath(const OpenFileResult& chosen) {
  std::string path = chosen.buffer.substr(0, chosen.buffer.find('\0'));
  if (path.size() > kPathMax) path.resize(kPathMax);
  return path;
}

std::int32_t closeAndReturn(AppState& app, std::int32_t result) {
  app.openFile.close();
  return result;
}

// The connection at the package speed and `load`, again for as long as the load asks for a new connection (the
// Newton's opening frame did not come) and the user does not stop the wait.
std::int32_t connectAndLoad(Runtime& rt, const std::function<std::int32_t()>& load) {
  AppState& app = rt.app;
  bool connected = false;
  const SessionRun run = runConnected(rt, ConnectionPlan{app.settings.packageBaud, 1}, connected, [&] {
    app.fileOpened = true;
    return load();
  });
  if (!run.ended) return run.result;
  return closeAndReturn(app, run.ended->how == Connection::Stopped ? 0 : run.ended->code);
}

}  // namespace

std::int32_t runPackageLoad(Runtime& rt) {
  LoadReport report;
  const std::int32_t result = loadPackages(rt, nullptr, report);
  for (const std::string& text : report.texts) ShowMessage(rt.shell, text);
  return result;
}

std::int32_t runPackageBatch(Runtime& rt, PackageBatch& batch) {
  const auto told = batch.onOutcome;
  batch.onOutcome = [&](std::size_t index, const PackageOutcome& outcome) {
    if (outcome.fate == PackageFate::Refused) {
      ShowMessage(rt.shell, batch.packages[index].name + ": " + LoadText(TextId::ProcessAbortedByNewton), " ",
                  outcome.detail);
    }
    if (told) told(index, outcome);
  };
  LoadReport report;
  const std::int32_t result = loadPackages(rt, &batch, report);
  batch.onOutcome = told;
  for (const std::string& text : report.texts) ShowMessage(rt.shell, text);
  return result;
}

std::int32_t runPackageCommand(Runtime& rt) {
  AppState& app = rt.app;
  // A Close or quit from an earlier transfer must not stop this one.
  app.abortRequested = false;

  OpenFileResult chosen;
  if (!rt.shell.chooseFiles(packageFileRequest(), &chosen)) return 0;
  const std::string path = chosenPath(chosen);
  if (!app.openFile.open(path, false)) {
    ShowMessage(rt.shell, kCouldNotOpenFile);
    return 0;
  }
  app.fileName = chosen.title.empty() ? path : chosen.title;  // how reports name it
  return connectAndLoad(rt, [&] { return runPackageLoad(rt); });
}

std::int32_t runPackageBatchCommand(Runtime& rt, PackageBatch& batch) {
  AppState& app = rt.app;
  app.abortRequested = false;
  app.batch = {};
  app.batch.fileCount = static_cast<int>(batch.packages.size());
  app.batch.fileNumber = 1;
  batch.outcomes.assign(batch.packages.size(), PackageOutcome{});
  if (batch.packages.empty()) return 0;
  const std::int32_t result = connectAndLoad(rt, [&] { return runPackageBatch(rt, batch); });
  app.openFile.close();
  return result;
}

}  // namespace skiff
