// The modal connection dialog: carries out what core/connection_dialog decides.
#include <windows.h>

#include "app/skin_win32.h"
#include "core/connection_dialog.h"

namespace skiff::win32 {

namespace {

// What the procedure works with: the creation parameter, kept in the dialog's DWLP_USER.
struct ConnectionWindow {
  Runtime& rt;
  ConnectionDialog decisions;
};

void carryOut(HWND dialog, const ConnectionStep& step) {
  if (step.startTimer) SetTimer(dialog, kConnectionTimerId, kConnectionPollMs, nullptr);
  if (step.killTimer) KillTimer(dialog, kConnectionTimerId);
  if (step.endCode) EndDialog(dialog, *step.endCode);
}

INT_PTR CALLBACK connectionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  ConnectionWindow* window = dialogData<ConnectionWindow>(dialog, message, lParam);
  if (window == nullptr) return FALSE;  // messages before the dialog was set up
  switch (message) {
    case WM_INITDIALOG:
      placeBesideMainWindow(dialog, SWP_NOACTIVATE);
      ShowWindow(dialog, SW_SHOW);
      carryOut(dialog, connectionOpened(window->rt, window->decisions));
      return TRUE;
    case WM_TIMER:
      carryOut(dialog, connectionTick(window->rt, window->decisions));
      return TRUE;
    case WM_COMMAND:
      if (const auto step = connectionCommand(window->rt, window->decisions, LOWORD(wParam))) {
        carryOut(dialog, *step);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int runConnectionDialog(Runtime& rt, HWND owner) {
  ConnectionWindow window{rt, {}};
  return static_cast<int>(DialogBoxParamA(static_cast<HINSTANCE>(rt.app.instance), "Connection", owner,
                                          connectionDialogProc, reinterpret_cast<LPARAM>(&window)));
}

}  // namespace skiff::win32
