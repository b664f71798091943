// The modeless status dialog: each one carries a StatusDisplay (ui/status_display), which decides on every message;
// the dialog draws its frames into its controls, keeps its own 500 ms timer, and destroys itself when the display
// ends.
#include <windows.h>

#include <list>

#include "app/skin_win32.h"
#include "ui/status_display.h"

namespace skiff::win32 {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr int kStatusLine = 1003;
constexpr int kCountLine = 1004;
constexpr int kBar = 1007;

class DialogCanvas final : public StatusCanvas {
 public:
  explicit DialogCanvas(HWND dialog) : dialog_(dialog) {}
  void draw(const StatusFrame& frame) override {
    if (frame.bar) {
      SetWindowPos(GetDlgItem(dialog_, kBar), nullptr, 0, 0, frame.bar->width, frame.bar->height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetDlgItemTextA(dialog_, kCountLine, frame.countLine.c_str());
    SetDlgItemTextA(dialog_, kStatusLine, frame.statusLine.c_str());
  }
  void hide() override {
    KillTimer(dialog_, kRefreshTimer);
    DestroyWindow(dialog_);
  }

 private:
  HWND dialog_;
};

// The dialog's own base units, those of its template font that laid out the bar's frame; the system font's
// (GetDialogBaseUnits) differ whenever the two fonts do, and the bar would outrun its frame.
RECT dialogBaseUnits(HWND dialog) {
  RECT units{0, 0, 4, 8};
  MapDialogRect(dialog, &units);
  return units;
}

struct StatusWindow {
  StatusWindow(HWND dialog, AppState& app, RECT units) : canvas(dialog), display(app, canvas, units.right, units.bottom) {}
  DialogCanvas canvas;
  StatusDisplay display;
  bool destroyed = false;
};

// Every dialog of a transfer (a batch makes one a file) lives until its display ends. A record is let go only
// at the next opening, once its window is gone: the display may still be on the stack when its window goes.
// The list only keeps the records; each dialog's procedure finds its own through DWLP_USER.
std::list<StatusWindow> gWindows;

StatusWindow* windowOf(HWND dialog) {
  return reinterpret_cast<StatusWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR onInit(HWND dialog, AppState& app) {
  gWindows.remove_if([](const StatusWindow& window) { return window.destroyed; });
  StatusWindow& window = gWindows.emplace_back(dialog, app, dialogBaseUnits(dialog));
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&window));
  placeBesideMainWindow(dialog, 0);
  window.display.open(GetTickCount());
  if (!window.display.isOpen()) return TRUE;  // the user's abort came first
  SetTimer(dialog, kRefreshTimer, kStatusRefreshMs, nullptr);
  ShowWindow(dialog, SW_SHOW);
  return TRUE;
}

// The creation parameter is the state; the dialog's record goes into its DWLP_USER.
INT_PTR CALLBACK statusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return onInit(dialog, *reinterpret_cast<AppState*>(lParam));
  StatusWindow* window = windowOf(dialog);
  if (window == nullptr) return FALSE;  // messages before the dialog was set up
  if (message == WM_NCDESTROY) {
    window->destroyed = true;
    return FALSE;
  }
  StatusDisplay& display = window->display;
  if (display.abortCheck()) return TRUE;
  switch (message) {
    case WM_TIMER:
      display.refresh();
      return TRUE;
    case MSG_STATUS_CLOSE:
      display.closeForFailure();
      return TRUE;
    case WM_COMMAND:
      if (wParam != IDOK && wParam != IDCANCEL && wParam != 31) return FALSE;
      display.dismiss();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND createStatusDialog(AppState& app, HWND owner) {
  return CreateDialogParamA(static_cast<HINSTANCE>(app.instance), "Status", owner, statusDialogProc,
                            reinterpret_cast<LPARAM>(&app));
}

}  // namespace skiff::win32
