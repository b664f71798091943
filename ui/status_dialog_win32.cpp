// The modeless status dialog: carries out what ui/status_model decides on each message.
#include <windows.h>

#include "app/skin_win32.h"
#include "ui/status_model.h"

namespace skiff::win32 {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 500;
constexpr int kStatusLine = 1003;
constexpr int kCountLine = 1004;
constexpr int kBar = 1007;

StatusModel gModel;

INT_PTR close(HWND dialog) {
  KillTimer(dialog, kRefreshTimer);
  DestroyWindow(dialog);
  return TRUE;
}

INT_PTR onInit(HWND dialog, AppState& app) {
  placeBesideMainWindow(dialog, 0);
  const StatusOpen open = statusOnOpen(app, gModel);
  SetDlgItemTextA(dialog, kCountLine, open.countLine.c_str());
  SetDlgItemTextA(dialog, kStatusLine, open.statusLine.c_str());
  SetTimer(dialog, kRefreshTimer, kRefreshMs, nullptr);
  ShowWindow(dialog, SW_SHOW);
  return TRUE;
}

INT_PTR onRefresh(HWND dialog, AppState& app) {
  // The dialog's own base units, those of its template font that laid out the bar's frame; the system font's
  // (GetDialogBaseUnits) differ whenever the two fonts do, and the bar would outrun its frame.
  RECT units{0, 0, 4, 8};
  MapDialogRect(dialog, &units);
  const StatusRefresh refresh = statusOnTimer(app, gModel, units.right, units.bottom);
  if (refresh.close) return close(dialog);
  if (refresh.bar) {
    SetWindowPos(GetDlgItem(dialog, kBar), nullptr, 0, 0, refresh.bar->width, refresh.bar->height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetDlgItemTextA(dialog, kCountLine, refresh.countLine.c_str());
  SetDlgItemTextA(dialog, kStatusLine, refresh.statusLine.c_str());
  return TRUE;
}

INT_PTR CALLBACK statusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  AppState& app = runtime().app;
  if (statusAbortCheck(app)) return close(dialog);
  switch (message) {
    case WM_INITDIALOG:
      return onInit(dialog, app);
    case WM_TIMER:
      return onRefresh(dialog, app);
    case MSG_STATUS_CLOSE:
      statusOnCloseMessage(app);
      return close(dialog);
    case WM_COMMAND:
      if (wParam == IDOK || wParam == IDCANCEL || wParam == 31) return close(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

HWND createStatusDialog(HWND owner) {
  return CreateDialogParamA(static_cast<HINSTANCE>(runtime().app.instance), "Status", owner, statusDialogProc, 0);
}

}  // namespace skiff::win32
