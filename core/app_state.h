// core/: what every engine and both front ends stand on: the two seams (link, shell), the state, the pump,
// the texts, the connection wait's decisions and the program's life.
//
// The one process-wide state record. Engines take it by reference, so a test can make a fresh one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/link_ops.h"
#include "core/settings.h"
#include "core/source_file.h"

namespace skiff {

enum FileKind : std::int32_t { kText = 1, kPicture = 3, kBitmap = 4, kPackage = 5 };

inline constexpr std::int32_t SESSION_RECONNECT = -666;
inline constexpr unsigned MSG_STATUS_CLOSE = 0x0400 + 666;  // WM_USER + 666 = 1690

// A file whose data all went, but with parts the Newton answered "NO" to (those parts are not on the Newton).
struct IncompleteFile {
  std::string name;
  std::int32_t refused = 0;
  std::int32_t parts = 0;
};

// How far a batch has come (the Download command's selection, or several packages installed over one
// connection): front ends name each file as it starts and sum the run up; the Download command reports the
// incomplete files once the link is down.
struct BatchProgress {
  int fileNumber = 0;          // the file being sent, from 1; 0 before the first
  int fileCount = 0;           // files in the selection
  int filesSent = 0;           // files whose data all went and was answered (packages: installed)
  std::int64_t bytesSent = 0;  // the data bytes of those files
  std::vector<IncompleteFile> incomplete;
  std::vector<std::string> notSent;  // files a stop kept from starting (the command line's Ctrl-C)
  std::int64_t entriesReceived = 0;  // a backup: the Newton's entries taken so far
};

struct AppState {
  void* instance = nullptr;
  PipeHandle pipe = nullptr;
  std::int32_t pipeBufferSize = 2048;

  // Transfer progress, shown by the status dialog.
  std::int32_t transferPhase = -1;  // -1 idle, 0 setting up, >0 bytes handed on
  std::int32_t bytesTotal = 0;
  std::string statusText;           // at most kStatusTextMax characters are kept
  bool abortRequested = false;
  // The command line's choice: a stop asked for during a batch lets the file being sent run to its end, starts
  // no further file and ends the batch. The Windows program's Close leaves the batch running, and Close while a
  // file sets up ends the program.
  bool stopBetweenFiles = false;
  // The command line's choice: a port that cannot be opened is told by the front end in one line with the
  // system's reason, instead of the "CDPipeInit error" box.
  bool frontEndTellsPortFailure = false;
  bool quitPending = false;         // a quit message was taken by a nested pump; post it again afterwards
  int quitCode = 0;
  bool transferRunning = false;     // a transfer command is under way (its pumps may re-enter the window)
  std::string errorText;

  // The file being sent, as the front ends name it; how a transfer session announces it is the session's own.
  std::string currentPath;          // upper-cased full path
  SourceFile openFile;
  bool fileOpened = false;
  std::string fileName;             // name part as the user chose it

  BatchProgress batch;              // reset by each batch command

  Settings settings;
};

inline constexpr std::size_t kStatusTextMax = 254;   // the status text buffer holds 255 bytes
inline constexpr std::size_t kPathMax = 767;         // path and name buffers hold 768 bytes

}  // namespace skiff
