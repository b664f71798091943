// The About box, also the start-up splash: the bitmap "splash" over the whole dialog and the version text in
// the place of its hidden control 1007. Where the button and that place lie is decided in ui/about_layout.
#include <windows.h>

#include "app/skin_win32.h"
#include "ui/about_layout.h"

namespace skiff::win32 {

namespace {

constexpr int kVersionPlace = 1007;
constexpr UINT kVersionFlags = DT_RIGHT | DT_BOTTOM;

HBITMAP gSplash = nullptr;
SIZE gSplashSize{};
void** gOpenBox = nullptr;

// The font a fresh device context has, named so that the measuring and the drawing agree.
HGDIOBJ versionFont() { return GetStockObject(SYSTEM_FONT); }

PixelSize measureVersionText(HWND dialog) {
  HDC dc = GetDC(dialog);
  HGDIOBJ previous = SelectObject(dc, versionFont());
  RECT extent{};
  DrawTextA(dc, kVersionText, -1, &extent, kVersionFlags | DT_CALCRECT);
  SelectObject(dc, previous);
  ReleaseDC(dialog, dc);
  return {extent.right - extent.left, extent.bottom - extent.top};
}

void moveTo(HWND control, const PixelRect& rect) {
  SetWindowPos(control, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void onInit(HWND dialog) {
  gSplash = LoadBitmapA(static_cast<HINSTANCE>(runtime().app.instance), "splash");
  BITMAP info{};
  GetObjectA(gSplash, sizeof info, &info);
  gSplashSize = {info.bmWidth, info.bmHeight};
  if (gSplash != nullptr) {
    RECT outer{}, client{};
    GetWindowRect(dialog, &outer);
    GetClientRect(dialog, &client);
    const PixelSize size = windowSizeForClient({outer.right - outer.left, outer.bottom - outer.top},
                                               {client.right, client.bottom}, {info.bmWidth, info.bmHeight});
    SetWindowPos(dialog, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const AboutLayout layout = aboutLayout(measureVersionText(dialog));
  moveTo(GetDlgItem(dialog, IDOK), layout.okButton);
  moveTo(GetDlgItem(dialog, kVersionPlace), layout.versionPlace);
  *gOpenBox = dialog;
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
  HGDIOBJ oldFont = SelectObject(dc, versionFont());
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextA(dc, kVersionText, -1, &place, kVersionFlags);
  SelectObject(dc, oldFont);
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
      *gOpenBox = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void runAboutBox(HWND owner, void*& openBox) {
  gOpenBox = &openBox;
  DialogBoxParamA(static_cast<HINSTANCE>(runtime().app.instance), "AboutBox", owner, aboutBoxProc, 0);
}

}  // namespace skiff::win32
