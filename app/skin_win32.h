// app/: the Windows program (skiff.exe): its window procedures and the main window's portable decisions.
//
// What the pieces of the Windows skin share: the windows and dialogs each file makes. Each window procedure
// finds what it works with in its window's user slot (GWLP_USERDATA, DWLP_USER for dialogs), which it fills
// from the creation parameter.
#pragma once

#include <windows.h>

#include <memory>

#include "core/shell_ops.h"

namespace skiff::win32 {

// What a dialog's procedure works with: its creation parameter, which WM_INITDIALOG puts in the dialog's
// DWLP_USER. Null for the messages that come before it.
template <typename Data>
Data* dialogData(HWND dialog, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
  return reinterpret_cast<Data*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The windows the program's shell works with: the main window, owner of the dialogs and of its own boxes, and
// the status dialog of the transfer under way. WinMain keeps them for the program's life.
struct SkinWindows {
  HWND mainWindow = nullptr;
  HWND statusDialog = nullptr;
};

// The Windows shell operations (app/shell_win32.cpp).
std::unique_ptr<ShellOps> makeShell(AppState& app, LinkOps& link, SkinWindows& windows);
// Texts from the module's string table.
std::string moduleText(int id);

// The main window's class and procedure (app/main_window_win32.cpp); the window works with `rt`.
void registerMainWindowClass(HINSTANCE instance);
HWND createMainWindow(HINSTANCE instance, Runtime& rt);

// The About box, modal (app/about_box_win32.cpp); `openBox` holds its handle while it is open.
void runAboutBox(HINSTANCE instance, HWND owner, void*& openBox);
// The status dialog, modeless, showing `app` (app/status_dialog_win32.cpp).
HWND createStatusDialog(AppState& app, HWND owner);
// The connection dialog, modal: 2 stopped, 5 connected, else the listen code (app/connection_dialog_win32.cpp).
int runConnectionDialog(Runtime& rt, HWND owner);

// A bitmap's size in pixels ({0, 0} for none), and the whole of it copied to (x, y) of `dc`
// (app/bitmap_win32.cpp).
SIZE bitmapSize(HBITMAP bitmap);
void blit(HDC dc, HBITMAP bitmap, SIZE size, int x, int y);

// Places `dialog` 100 pixels right of and below its owner's (the main window's) top-left corner.
void placeBesideMainWindow(HWND dialog, UINT extraFlags);

}  // namespace skiff::win32
