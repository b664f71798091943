// transfer/: the Download command and the transfer session it runs for each file.
//
// The Download command: choose files, classify them, connect, and send each through the transfer session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/shell_ops.h"

namespace skiff {

// The line speed the companion application listens at.
inline constexpr std::int32_t kDownloadBaud = 19200;

// Returns 0, or a link status code for the main window's "Error -- " report.
std::int32_t runDownloadCommand(Runtime& rt);

// What the user chose, taken out of the dialog's shape. `path` opens the file; `name` is announced.
struct SelectedFile {
  SelectedFile(std::string path_, std::string name_, std::string announced_ = {},
               std::optional<std::string> contents_ = std::nullopt)
      : path(std::move(path_)), name(std::move(name_)), announced(std::move(announced_)),
        contents(std::move(contents_)) {}
  std::string path;
  std::string name;
  std::string announced;  // the name the Newton is told, when not `name` (the command line's character set)
  // The bytes that go in place of the file's (the command line's note in the Windows character set); none: the
  // file's own. The path still classifies the file.
  std::optional<std::string> contents;
};
struct DownloadSelection {
  bool several = false;  // the batch rules (one connection, "Cannot open file" texts) rather than one file
  std::vector<SelectedFile> files;
};

// The open-file request of the command, and its answer as a selection.
OpenFileRequest downloadFileRequest();
DownloadSelection selectionFromDialog(const OpenFileResult& result);

// The command after the dialog: one file or a batch over one connection. Front ends without the dialog (the
// command line) call this directly. No file handle outlives it.
std::int32_t runDownloadSelection(Runtime& rt, const DownloadSelection& selection);

// Consecutive pipeListen failures after which the command gives up and returns the failure's code.
inline constexpr int kListenAttempts = 3;

}  // namespace skiff
