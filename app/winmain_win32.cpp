// The program's entry: window class, initial state, main window, link start-up, the never-blocking main loop,
// and the link's shut-down.
#include <windows.h>

#include "app/skin_win32.h"
#include "core/program.h"
#include "core/texts.h"
#include "dil/dil.h"

namespace skiff::win32 {

namespace {
AppState gApp;  // the program's state, WinMain's; the string table's texts are looked up in its module
}  // namespace

std::string moduleText(int id) {
  char text[255];
  text[0] = '\0';
  LoadStringA(static_cast<HINSTANCE>(gApp.instance), static_cast<UINT>(id), text, sizeof text);
  return text;
}

}  // namespace skiff::win32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
  using namespace skiff;
  using namespace skiff::win32;
  std::unique_ptr<LinkOps> link = makeDilLink();
  SkinWindows windows;
  std::unique_ptr<ShellOps> shell = makeShell(gApp, *link, windows);
  Runtime rt{gApp, *link, *shell};

  if (previous == nullptr) registerMainWindowClass(instance);
  gApp.instance = instance;
  SetTextSource(&moduleText);
  initialState(gApp, instance);
  HWND window = createMainWindow(instance, rt);
  ShowWindow(window, show);
  UpdateWindow(window);
  windows.mainWindow = window;
  startLink(gApp, *link);

  const int code = runMainLoop(rt);
  stopLink(gApp, *link);
  return code;
}
