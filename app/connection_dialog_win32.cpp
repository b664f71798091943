// The modal connection dialog: carries out what link/connection_dialog decides.
#include <windows.h>

#include "app/skin_win32.h"
#include "core/connection_dialog.h"

namespace skiff::win32 {

namespace {

ConnectionDialog gDialog;

void carryOut(HWND dialog, const ConnectionStep& step) {
  if (step.startTimer) SetTimer(dialog, kConnectionTimerId, kConnectionPollMs, nullptr);
  if (step.killTimer) KillTimer(dialog, kConnectionTimerId);
  if (step.endCode) EndDialog(dialog, *step.endCode);
}

INT_PTR CALLBACK connectionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      placeBesideMainWindow(dialog, SWP_NOACTIVATE);
      ShowWindow(dialog, SW_SHOW);
      carryOut(dialog, connectionOpened(runtime(), gDialog));
      return TRUE;
    case WM_TIMER:
      carryOut(dialog, connectionTick(runtime(), gDialog));
      return TRUE;
    case WM_COMMAND:
      if (const auto step = connectionCommand(runtime(), gDialog, LOWORD(wParam))) {
        carryOut(dialog, *step);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int runConnectionDialog(HWND owner) {
  return static_cast<int>(DialogBoxParamA(static_cast<HINSTANCE>(runtime().app.instance), "Connection", owner,
                                          connectionDialogProc, 0));
}

}  // namespace skiff::win32
