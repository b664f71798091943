// Where the status and connection dialogs appear: 100 pixels right of and below the main window's corner.
#include <windows.h>

#include "app/skin_win32.h"

namespace skiff::win32 {

void placeBesideMainWindow(HWND dialog, UINT extraFlags) {
  RECT main{};
  GetWindowRect(GetWindow(dialog, GW_OWNER), &main);
  SetWindowPos(dialog, nullptr, main.left + 100, main.top + 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | extraFlags);
}

}  // namespace skiff::win32
