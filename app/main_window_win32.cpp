// The main window: its class, its procedure (one forward per message), its painting and its three
// owner-drawn buttons. Every decision is in app/main_window_logic.
#include <windows.h>

#include <optional>

#include "app/main_window_logic.h"
#include "app/skin_win32.h"
#include "ui/geometry.h"

namespace skiff::win32 {

namespace {

constexpr UINT_PTR kSplashTimer = 0;
constexpr UINT kSplashMs = 4000;

struct Button {
  const char* text;
  unsigned id;
  int x;
  DWORD extraStyle;
};
constexpr Button kButtons[] = {
    {"Receive", command::kReceiveButton, 67, WS_DISABLED},
    {"Download", command::kDownloadButton, 236, 0},
    {"Package", command::kPackageButton, 404, 0},
};
constexpr int kButtonY = 70;
constexpr int kButtonWidth = 112;
constexpr int kButtonHeight = 54;

HINSTANCE gInstance = nullptr;
HBITMAP gControls = nullptr;
SIZE gControlsSize{};
PixelSize gFixedSize{};  // the window's size once its client area is the picture

class WindowView final : public MainWindowView {
 public:
  HWND window = nullptr;
  void setMenuCheck(unsigned id, bool checked) override {
    CheckMenuItem(GetMenu(window), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
  void greyMenuItem(unsigned id) override {
    EnableMenuItem(GetMenu(window), id, MF_BYCOMMAND | MF_DISABLED | MF_GRAYED);
  }
  void sendClose() override { SendMessageA(window, WM_CLOSE, 0, 0); }
  void runAboutBox() override;
  void pressAboutOk(WindowRef about) override { SendMessageA(static_cast<HWND>(about), WM_COMMAND, IDOK, 0); }
  void killSplashTimer() override { KillTimer(window, kSplashTimer); }
};

WindowView gView;
std::optional<MainWindow> gWindow;

void WindowView::runAboutBox() { win32::runAboutBox(window, gWindow->aboutDialog); }

SIZE bitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  return {info.bmWidth, info.bmHeight};
}

// Copies the whole bitmap to (x, y) of `dc`.
void blit(HDC dc, HBITMAP bitmap, SIZE size, int x, int y) {
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, size.cx, size.cy, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
}

LRESULT onCreate(HWND window, const CREATESTRUCTA* create) {
  gInstance = create->hInstance;
  gView.window = window;
  gWindow.emplace(runtime(), gView);

  RECT outer{}, client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  gControls = LoadBitmapA(gInstance, "CONTROLS");
  gControlsSize = bitmapSize(gControls);
  gFixedSize = windowSizeForClient({outer.right - outer.left, outer.bottom - outer.top}, {client.right, client.bottom},
                                   {gControlsSize.cx, gControlsSize.cy});
  SetWindowPos(window, nullptr, 0, 0, gFixedSize.width, gFixedSize.height, SWP_NOZORDER | SWP_NOACTIVATE);

  for (const Button& button : kButtons) {
    HWND made = CreateWindowExA(0, "BUTTON", button.text, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW | button.extraStyle,
                                button.x, kButtonY, kButtonWidth, kButtonHeight, window,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(button.id)), gInstance, nullptr);
    if (made == nullptr && button.id == command::kReceiveButton) MessageBoxA(window, "FAIL", "FAIL", MB_OK);
  }

  mainWindowCreated(*gWindow);
  SetTimer(window, kSplashTimer, kSplashMs, nullptr);
  PostMessageA(window, WM_COMMAND, command::kAbout, 0);
  return 0;
}

// The window has one size, its picture's: maximised it keeps that size and goes to the screen's corner, where
// it was made, instead of filling the screen with grey around the picture.
void onGetMinMaxInfo(MINMAXINFO* limits) {
  if (gFixedSize.width <= 0) return;  // still being created: the size is not known yet
  limits->ptMaxSize = {gFixedSize.width, gFixedSize.height};
  limits->ptMaxTrackSize = limits->ptMaxSize;
  limits->ptMaxPosition = {0, 0};
}

void onPaint(HWND window) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  if (gControls != nullptr) blit(dc, gControls, gControlsSize, 0, 0);
  EndPaint(window, &paint);
}

// A white face in a black frame with the button's bitmap centred on it; pressing inverts it.
bool onDrawItem(const DRAWITEMSTRUCT* item) {
  const int face = buttonFace(item->CtlID);
  RECT rect = item->rcItem;
  switch (item->itemAction) {
    case ODA_DRAWENTIRE: {
      HBITMAP bitmap = LoadBitmapA(gInstance, MAKEINTRESOURCEA(face));
      const SIZE size = bitmapSize(bitmap);
      FillRect(item->hDC, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      FrameRect(item->hDC, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      if (bitmap != nullptr) {
        blit(item->hDC, bitmap, size, (rect.right - rect.left - size.cx) / 2, (rect.bottom - rect.top - size.cy) / 2);
        DeleteObject(bitmap);
      }
      return true;
    }
    case ODA_SELECT:
      InvertRect(item->hDC, &rect);
      return true;
    case ODA_FOCUS:
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return onCreate(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
    case WM_GETMINMAXINFO:
      onGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
      return 0;
    case WM_PAINT:
      onPaint(window);
      break;
    case WM_DRAWITEM:
      if (onDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return 1;
      break;
    case WM_COMMAND:
      if (mainWindowCommand(*gWindow, static_cast<unsigned>(wParam)) == CommandReply::Done) return 0;
      break;
    case WM_CLOSE:
      if (mainWindowClose(*gWindow)) DestroyWindow(window);
      return 0;
    case WM_TIMER:
      mainWindowTimer(*gWindow);
      break;
    case WM_DESTROY:
      DeleteObject(gControls);
      gControls = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void registerMainWindowClass(HINSTANCE instance) {
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = mainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, "SKIFF");
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  windowClass.lpszMenuName = "Skiff";
  windowClass.lpszClassName = "Skiff";
  RegisterClassA(&windowClass);
}

HWND createMainWindow(HINSTANCE instance) {
  return CreateWindowExA(0, "Skiff", "Skiff", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
                         CW_USEDEFAULT, CW_USEDEFAULT, 600, 340, nullptr, nullptr, instance, nullptr);
}

}  // namespace skiff::win32
