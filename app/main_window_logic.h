// The main window's decisions: check marks from the settings, the command table with its busy guard, Close
// during a transfer, the splash timer. The Win32 window procedure forwards its messages here and carries out
// what these functions ask of MainWindowView.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/shell_ops.h"

namespace skiff {

// A window of the skin (HWND on Windows); null when there is none.
using WindowRef = void*;

// Command ids of the menu "Skiff" and of the three buttons.
namespace command {
inline constexpr unsigned kReceiveButton = 2;
inline constexpr unsigned kPackageButton = 3;
inline constexpr unsigned kExit = 5;
inline constexpr unsigned kDownload = 21;
inline constexpr unsigned kReceive = 22;
inline constexpr unsigned kDownloadPackage = 24;
inline constexpr unsigned kHelp = 40;
inline constexpr unsigned kAbout = 41;
inline constexpr unsigned kCom1 = 50;  // 50 to 53: COM1: to COM4:
inline constexpr unsigned kCom4 = 53;
inline constexpr unsigned kMoreTime = 70;
inline constexpr unsigned kLessTime = 71;
inline constexpr unsigned kPackageModeLabel = 80;
inline constexpr unsigned kBaud38400 = 81;
inline constexpr unsigned kBaud9600 = 82;
inline constexpr unsigned kBaud2400 = 83;
inline constexpr unsigned kBatches = 85;
inline constexpr unsigned kOnce = 86;
inline constexpr unsigned kReceiveModeLabel = 40013;
inline constexpr unsigned kDownloadButton = 1005;
}  // namespace command

// Bitmap resource ids of the button faces.
inline constexpr int kReceiveFace = 124;
inline constexpr int kDownloadFace = 122;
inline constexpr int kPackageFace = 123;
// The face drawn on the owner-drawn button with this command id; 0 when it is none of the three.
int buttonFace(unsigned controlId);

struct MenuMark {
  unsigned id;
  bool checked;
};
// Every check mark the settings decide, in the order they are set: the port group, the background-time pair,
// the receive pair, the package-speed group. Unknown ports check "COM4:", unknown speeds the 2400 item.
std::vector<MenuMark> menuMarksFor(const Settings& settings);

// What the decisions ask of the window.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void setMenuCheck(unsigned id, bool checked) = 0;
  virtual void greyMenuItem(unsigned id) = 0;       // MF_DISABLED | MF_GRAYED
  virtual void sendClose() = 0;                     // WM_CLOSE to the main window
  virtual void runAboutBox() = 0;                   // the modal About box
  virtual void pressAboutOk(WindowRef about) = 0;   // WM_COMMAND 1 to the About box
  virtual void killSplashTimer() = 0;
};

using TransferCommand = std::int32_t (*)(Runtime& rt);

struct MainWindow {
  Runtime& rt;
  MainWindowView& view;
  std::string settingsPath = kSettingsFileName;
  WindowRef aboutDialog = nullptr;  // the About box while it is open, for the splash timer to close
  TransferCommand download;  // runDownloadCommand unless a test puts its own
  TransferCommand package;   // runPackageCommand unless a test puts its own

  MainWindow(Runtime& runtime, MainWindowView& window);
};

// Whether the window procedure returns 0 or hands the message on to DefWindowProcA.
enum class CommandReply { Done, PassOn };

// WM_CREATE after the window is sized and the buttons made: settings loaded (or written when missing), check
// marks set, "&Receive Skiff" greyed.
void mainWindowCreated(MainWindow& window);
// WM_COMMAND with the whole wParam.
CommandReply mainWindowCommand(MainWindow& window, unsigned id);
// WM_CLOSE: true when the window is to be destroyed now; during a transfer it becomes an abort request.
bool mainWindowClose(MainWindow& window);
// WM_TIMER (the splash timer): closes the About box if it is open, and kills the timer.
void mainWindowTimer(MainWindow& window);

}  // namespace skiff
