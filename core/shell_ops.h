// The shell operations: the few things the engines need from the user interface.
// Implemented by the Win32 skin (app/, ui/), the terminal skin (cli/) and a recording fake (tests/support/).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/app_state.h"

namespace skiff {

enum class PumpPass { Idle, Dispatched, Quit };

// How the connection dialog ends; any other end code is the error code of pipeListen (the pipe disconnected).
inline constexpr int kConnectionStopped = 2;   // the user stopped; the pipe is disconnected
inline constexpr int kConnectionAccepted = 5;  // a Newton is connected and accepted
enum class BoxIcon { Information, Warning, None };
enum class BoxOwner { None, MainWindow };  // the reports have no owner; the main window's own boxes do

struct OpenFileRequest {
  std::string title;
  std::vector<std::pair<std::string, std::string>> filters;  // (label, pattern)
  std::string defaultExtension;
  std::string initialName;
  bool multiSelect = false;
};

// What the open-file dialog hands back, in its own shape: for one file `buffer` is the full path and
// `fileOffset` indexes its name part; for several, `buffer` holds the directory, then each name, each ended by
// a NUL, the list ended by an empty name (and `fileOffset` points past the directory's NUL).
struct OpenFileResult {
  std::string buffer;
  std::size_t fileOffset = 0;
  std::string title;  // the chosen file's name part (single selection)
};

class ShellOps {
 public:
  virtual ~ShellOps() = default;

  // Takes one waiting window message, if any, and translates and dispatches it. The quit message is not
  // dispatched: Quit is returned and *quitCode receives its code.
  virtual PumpPass takeMessage(int* quitCode) = 0;
  virtual void postQuit(int code) = 0;
  virtual std::uint32_t tickCount() = 0;  // milliseconds
  virtual void sleepMs(int ms) = 0;       // a pause that neither pumps messages nor idles the pipe

  // The transfer status display, in the engines' words. What it shows and when it closes is decided once, by
  // StatusDisplay (ui/status_display.h); each skin draws it.
  virtual void openStatus() = 0;      // a transfer starts: a new display
  virtual void showStatusNow() = 0;   // show the state now: a new stage, the progress, or the user's abort
  virtual void closeStatusNow() = 0;  // the transfer failed: transferPhase -1, the display gone at once

  virtual void messageBox(std::string_view text, std::string_view caption, BoxIcon icon, BoxOwner owner) = 0;
  virtual void beep() = 0;

  // The open-file dialog; false when the user cancelled.
  virtual bool chooseFiles(const OpenFileRequest& request, OpenFileResult* result) = 0;
  // The modal connection dialog: kConnectionStopped, kConnectionAccepted, or else pipeListen's error code.
  virtual int runConnectionDialog() = 0;
};

// What every engine works with.
struct Runtime {
  AppState& app;
  LinkOps& link;
  ShellOps& shell;
};

}  // namespace skiff
