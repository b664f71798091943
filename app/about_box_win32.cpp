// The About box, also the start-up splash: the bitmap "splash" over the whole dialog and the version text in
// the place of its hidden control 1007. Where the button and that place lie is decided in ui/about_layout.
#include <windows.h>

#include "app/skin_win32.h"
#include "ui/about_layout.h"

namespace skiff::win32 {

namespace {

constexpr int kVersionPlace = 1007;
constexpr UINT kVersionFlags = DT_RIGHT | DT_BOTTOM;

// What the procedure works with: the creation parameter, kept in the dialog's DWLP_USER.
struct AboutBox {
  HINSTANCE instance;
  void*& openBox;  // the box's handle while it is open
  HBITMAP splash = nullptr;
  SIZE splashSize{};
};

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

void onInit(HWND dialog, AboutBox& box) {
  box.splash = LoadBitmapA(box.instance, "splash");
  box.splashSize = bitmapSize(box.splash);
  if (box.splash != nullptr) {
    RECT outer{}, client{};
    GetWindowRect(dialog, &outer);
    GetClientRect(dialog, &client);
    const PixelSize size = windowSizeForClient({outer.right - outer.left, outer.bottom - outer.top},
                                               {client.right, client.bottom}, {box.splashSize.cx, box.splashSize.cy});
    SetWindowPos(dialog, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const AboutLayout layout = aboutLayout(measureVersionText(dialog));
  moveTo(GetDlgItem(dialog, IDOK), layout.okButton);
  moveTo(GetDlgItem(dialog, kVersionPlace), layout.versionPlace);
  box.openBox = dialog;
  SetFocus(GetDlgItem(dialog, IDOK));
}

void onPaint(HWND dialog, const AboutBox& box) {
  // The version's place, in the dialog window's own coordinates (window, not client).
  RECT place{}, outer{};
  GetWindowRect(GetDlgItem(dialog, kVersionPlace), &place);
  GetWindowRect(dialog, &outer);
  OffsetRect(&place, -outer.left, -outer.top);

  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(dialog, &paint);
  FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  if (box.splash != nullptr) blit(dc, box.splash, box.splashSize, 0, 0);
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, versionFont());
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextA(dc, kVersionText, -1, &place, kVersionFlags);
  SelectObject(dc, oldFont);
  SetBkMode(dc, oldMode);
  EndPaint(dialog, &paint);
}

INT_PTR CALLBACK aboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  AboutBox* box = dialogData<AboutBox>(dialog, message, lParam);
  if (box == nullptr) return FALSE;  // messages before the dialog was set up
  switch (message) {
    case WM_INITDIALOG:
      onInit(dialog, *box);
      return FALSE;  // the focus is set already
    case WM_PAINT:
      onPaint(dialog, *box);
      return FALSE;
    case WM_COMMAND:
      if (wParam == IDOK || wParam == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      DeleteObject(box->splash);
      box->splash = nullptr;
      box->openBox = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void runAboutBox(HINSTANCE instance, HWND owner, void*& openBox) {
  AboutBox box{instance, openBox};
  DialogBoxParamA(instance, "AboutBox", owner, aboutBoxProc, reinterpret_cast<LPARAM>(&box));
}

}  // namespace skiff::win32
