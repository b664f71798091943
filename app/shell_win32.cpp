// The shell operations on Windows: messages, ticks, the status and connection dialogs, message boxes, the beep
// and the open-file dialog.
#include <windows.h>
#include <commdlg.h>

#include <string>

#include "app/skin_win32.h"

namespace skiff::win32 {

namespace {

constexpr DWORD kFileBufferSize = 768;

UINT iconStyle(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Information: return MB_ICONINFORMATION;
    case BoxIcon::Warning: return MB_ICONWARNING;
    case BoxIcon::None: return 0;
  }
  return 0;
}

// "label\0pattern\0...\0\0", the shape the dialog takes its filters in.
std::string filterList(const OpenFileRequest& request) {
  std::string list;
  for (const auto& [label, pattern] : request.filters) {
    list += label;
    list += '\0';
    list += pattern;
    list += '\0';
  }
  list += '\0';
  return list;
}

// What the dialog wrote: one path, or for several files the directory and the names, each ended by a NUL and
// the list by an empty name.
std::string chosenBuffer(const char* buffer, std::size_t fileOffset) {
  const bool several = fileOffset > 0 && fileOffset < kFileBufferSize && buffer[fileOffset - 1] == '\0';
  if (!several) return std::string(buffer, strnlen(buffer, kFileBufferSize));
  std::size_t end = fileOffset;
  while (end + 1 < kFileBufferSize && !(buffer[end] == '\0' && buffer[end - 1] == '\0')) ++end;
  return std::string(buffer, end + 1);
}

class WindowsShell final : public ShellOps {
 public:
  WindowsShell(AppState& app, LinkOps& link, SkinWindows& windows) : app_(app), link_(link), windows_(windows) {}

  PumpPass takeMessage(int* quitCode) override {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return PumpPass::Idle;
    if (message.message == WM_QUIT) {
      *quitCode = static_cast<int>(message.wParam);
      return PumpPass::Quit;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return PumpPass::Dispatched;
  }
  void postQuit(int code) override { PostQuitMessage(code); }
  std::uint32_t tickCount() override { return GetTickCount(); }
  void sleepMs(int ms) override { Sleep(static_cast<DWORD>(ms)); }

  // Each transfer gets its own status dialog, which is told what happens by window messages: WM_TIMER to show
  // the state now, MSG_STATUS_CLOSE when the transfer failed.
  void openStatus() override {
    windows_.statusDialog = win32::createStatusDialog(app_, windows_.mainWindow);
  }
  void showStatusNow() override { sendToStatusDialog(WM_TIMER); }
  void closeStatusNow() override { sendToStatusDialog(MSG_STATUS_CLOSE); }

  void messageBox(std::string_view text, std::string_view caption, BoxIcon icon, BoxOwner owner) override {
    const std::string textZ(text), captionZ(caption);
    HWND ownerWindow = owner == BoxOwner::MainWindow ? windows_.mainWindow : nullptr;
    MessageBoxA(ownerWindow, textZ.c_str(), captionZ.c_str(), MB_OK | iconStyle(icon));
  }
  void beep() override { MessageBeep(0xFFFFFFFF); }

  bool chooseFiles(const OpenFileRequest& request, OpenFileResult* result) override {
    char file[kFileBufferSize] = {};
    char title[kFileBufferSize] = {};
    request.initialName.copy(file, kFileBufferSize - 1);
    const std::string filters = filterList(request);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = nullptr;  // the file dialog has no owner; the busy guard refuses a second transfer
    dialog.hInstance = static_cast<HINSTANCE>(app_.instance);
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = kFileBufferSize;
    dialog.lpstrFileTitle = title;
    dialog.nMaxFileTitle = kFileBufferSize;
    dialog.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
    dialog.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
    dialog.Flags = request.multiSelect
                       ? OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES
                       : OFN_FILEMUSTEXIST;
    // A cancel, or a choice too long for the buffer, hands nothing on.
    if (!GetOpenFileNameA(&dialog)) return false;
    file[kFileBufferSize - 1] = '\0';
    title[kFileBufferSize - 1] = '\0';
    result->fileOffset = dialog.nFileOffset;
    result->buffer = chosenBuffer(file, dialog.nFileOffset);
    result->title = title;
    return true;
  }

  int runConnectionDialog() override {
    Runtime rt{app_, link_, *this};
    return win32::runConnectionDialog(rt, windows_.mainWindow);
  }

 private:
  // A message to a dialog that is gone has no effect.
  void sendToStatusDialog(UINT message) {
    if (windows_.statusDialog != nullptr) SendMessageA(windows_.statusDialog, message, 0, 0);
  }

  AppState& app_;
  LinkOps& link_;
  SkinWindows& windows_;
};

}  // namespace

std::unique_ptr<ShellOps> makeShell(AppState& app, LinkOps& link, SkinWindows& windows) {
  return std::make_unique<WindowsShell>(app, link, windows);
}

}  // namespace skiff::win32
