// The About box, also the start-up splash: the bitmap "splash" over the whole dialog and the version text in
// the place of its hidden control 1007.
#include <windows.h>

#include "app/skin_win32.h"

namespace skiff::win32 {

namespace {

constexpr int kVersionPlace = 1007;
constexpr char kVersionText[] = "v2.03 QUAYLINE/32";

HBITMAP gSplash = nullptr;
SIZE gSplashSize{};

void onInit(HWND dialog) {
  gSplash = LoadBitmapA(static_cast<HINSTANCE>(runtime().app.instance), "splash");
  BITMAP info{};
  GetObjectA(gSplash, sizeof info, &info);
  gSplashSize = {info.bmWidth, info.bmHeight};
  runtime().app.aboutDialog = dialog;
  SetFocus(GetDlgItem(dialog, IDOK));
}

void onPaint(HWND dialog) {
  // The version's place, in the dialog window's own coordinates (window, not client).
  RECT place{}, outer{};
  GetWindowRect(GetDlgItem(dialog, kVersionPlace), &place);
  GetWindowRect(dialog, &outer);
  OffsetRect(&place, -outer.left, -outer.top);

  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(dialog, &paint);
  FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  if (gSplash != nullptr) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, gSplash);
    BitBlt(dc, 0, 0, gSplashSize.cx, gSplashSize.cy, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
  }
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextA(dc, kVersionText, -1, &place, DT_RIGHT | DT_BOTTOM);
  SetBkMode(dc, oldMode);
  EndPaint(dialog, &paint);
}

INT_PTR CALLBACK aboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      onInit(dialog);
      return FALSE;  // the focus is set already
    case WM_PAINT:
      onPaint(dialog);
      return FALSE;
    case WM_COMMAND:
      if (wParam == IDOK || wParam == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      DeleteObject(gSplash);
      gSplash = nullptr;
      runtime().app.aboutDialog = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void runAboutBox(HWND owner) {
  DialogBoxParamA(static_cast<HINSTANCE>(runtime().app.instance), "AboutBox", owner, aboutBoxProc, 0);
}

}  // namespace skiff::win32
