// The main window: its class, its procedure (one forward per message), its painting and its three
// owner-drawn buttons. Every decision is in app/main_window_logic.
#include <windows.h>

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

class WindowView final : public MainWindowView {
 public:
  WindowView(HWND window, HINSTANCE instance) : window_(window), instance_(instance) {}
  void setMenuCheck(unsigned id, bool checked) override {
    CheckMenuItem(GetMenu(window_), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
  void greyMenuItem(unsigned id) override {
    EnableMenuItem(GetMenu(window_), id, MF_BYCOMMAND | MF_DISABLED | MF_GRAYED);
  }
  void sendClose() override { SendMessageA(window_, WM_CLOSE, 0, 0); }
  void runAboutBox() override { win32::runAboutBox(instance_, window_, *aboutDialog); }
  void pressAboutOk(WindowRef about) override { SendMessageA(static_cast<HWND>(about), WM_COMMAND, IDOK, 0); }
  void killSplashTimer() override { KillTimer(window_, kSplashTimer); }

  WindowRef* aboutDialog = nullptr;  // where the decisions keep the About box's handle

 private:
  HWND window_;
  HINSTANCE instance_;
};

// What the procedure works with: made when the window is (the runtime is the creation parameter), kept in the
// window's GWLP_USERDATA, let go with the window.
struct MainWindowData {
  MainWindowData(HWND window, HINSTANCE module, Runtime& rt)
      : instance(module), view(window, module), logic(rt, view) {
    view.aboutDialog = &logic.aboutDialog;
  }
  HINSTANCE instance;
  WindowView view;
  MainWindow logic;
  HBITMAP controls = nullptr;
  SIZE controlsSize{};
  PixelSize fixedSize{};  // the window's size once its client area is the picture
};

MainWindowData* dataOf(HWND window) {
  return reinterpret_cast<MainWindowData*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void adopt(HWND window, const CREATESTRUCTA* create) {
  auto* data = new MainWindowData(window, create->hInstance, *static_cast<Runtime*>(create->lpCreateParams));
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
}

LRESULT onCreate(HWND window, MainWindowData& data) {
  HINSTANCE instance = data.instance;
  RECT outer{}, client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  data.controls = LoadBitmapA(instance, "CONTROLS");
  data.controlsSize = bitmapSize(data.controls);
  data.fixedSize = windowSizeForClient({outer.right - outer.left, outer.bottom - outer.top},
                                       {client.right, client.bottom}, {data.controlsSize.cx, data.controlsSize.cy});
  SetWindowPos(window, nullptr, 0, 0, data.fixedSize.width, data.fixedSize.height, SWP_NOZORDER | SWP_NOACTIVATE);

  for (const Button& button : kButtons) {
    HWND made = CreateWindowExA(0, "BUTTON", button.text, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW | button.extraStyle,
                                button.x, kButtonY, kButtonWidth, kButtonHeight, window,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(button.id)), instance, nullptr);
    if (made == nullptr && button.id == command::kReceiveButton) MessageBoxA(window, "FAIL", "FAIL", MB_OK);
  }

  mainWindowCreated(data.logic);
  SetTimer(window, kSplashTimer, kSplashMs, nullptr);
  PostMessageA(window, WM_COMMAND, command::kAbout, 0);
  return 0;
}

// The window has one size, its picture's: maximised it keeps that size and goes to the screen's corner, where
// it was made, instead of filling the screen with grey around the picture.
void onGetMinMaxInfo(const MainWindowData* data, MINMAXINFO* limits) {
  // Still being created: the size is not known yet.
  if (data == nullptr || data->fixedSize.width <= 0) return;
  limits->ptMaxSize = {data->fixedSize.width, data->fixedSize.height};
  limits->ptMaxTrackSize = limits->ptMaxSize;
  limits->ptMaxPosition = {0, 0};
}

void onPaint(HWND window, const MainWindowData& data) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  if (data.controls != nullptr) blit(dc, data.controls, data.controlsSize, 0, 0);
  EndPaint(window, &paint);
}

// A white face in a black frame with the button's bitmap centred on it; pressing inverts it.
bool onDrawItem(HINSTANCE instance, const DRAWITEMSTRUCT* item) {
  const int face = buttonFace(item->CtlID);
  RECT rect = item->rcItem;
  switch (item->itemAction) {
    case ODA_DRAWENTIRE: {
      HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(face));
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
  if (message == WM_NCCREATE) adopt(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
  MainWindowData* data = dataOf(window);
  if (message == WM_GETMINMAXINFO) {  // the first message comes before the data
    onGetMinMaxInfo(data, reinterpret_cast<MINMAXINFO*>(lParam));
    return 0;
  }
  if (data == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      return onCreate(window, *data);
    case WM_PAINT:
      onPaint(window, *data);
      break;
    case WM_DRAWITEM:
      if (onDrawItem(data->instance, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return 1;
      break;
    case WM_COMMAND:
      if (mainWindowCommand(data->logic, static_cast<unsigned>(wParam)) == CommandReply::Done) return 0;
      break;
    case WM_CLOSE:
      if (mainWindowClose(data->logic)) DestroyWindow(window);
      return 0;
    case WM_TIMER:
      mainWindowTimer(data->logic);
      break;
    case WM_DESTROY:
      DeleteObject(data->controls);
      data->controls = nullptr;
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      // A handler further up the stack may be the one that destroyed the window (Exit, or a Close taken by a pump
      // inside a transfer): none of them reads the data once its call returns.
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      delete data;
      break;
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

HWND createMainWindow(HINSTANCE instance, Runtime& rt) {
  return CreateWindowExA(0, "Skiff", "Skiff", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
                         CW_USEDEFAULT, CW_USEDEFAULT, 600, 340, nullptr, nullptr, instance, &rt);
}

}  // namespace skiff::win32
