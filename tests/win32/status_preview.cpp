// Shows the real status dialog (template "STATUS" and its dialog procedure) over a stand-in main window, in the
// middle of a transfer: for the screenshot artefacts and to check the dialog's lines and bar under Wine.
// WM_COMMAND with id N to the stand-in (class "StatusPreview", title "Skiff") sets the bytes done to N and
// refreshes the dialog, so one run can show several stages.
// Usage: status_preview [BYTES_DONE BYTES_TOTAL [SECONDS]]   (defaults 1200 4000 30)
#include <windows.h>

#include <cstdlib>

#include "app/skin_win32.h"
#include "core/texts.h"
#include "ui/status_model.h"

namespace skiff::win32 {

namespace {

// The status dialog uses only the state.
AppState gApp;
HWND gDialog = nullptr;

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COMMAND) return DefWindowProcA(window, message, wParam, lParam);
  gApp.transferPhase = static_cast<std::int32_t>(wParam);
  SendMessageA(gDialog, WM_TIMER, 0, 0);
  return 0;
}

}  // namespace

}  // namespace skiff::win32

int main(int argc, char** argv) {
  using namespace skiff;
  AppState& app = win32::gApp;
  const long done = argc > 2 ? std::atol(argv[1]) : 1200;
  const long total = argc > 2 ? std::atol(argv[2]) : 4000;
  const DWORD seconds = argc > 3 ? static_cast<DWORD>(std::atol(argv[3])) : 30;

  app.instance = GetModuleHandleA(nullptr);
  WNDCLASSA standIn{};
  standIn.lpfnWndProc = win32::standInProc;
  standIn.hInstance = static_cast<HINSTANCE>(app.instance);
  standIn.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  standIn.lpszClassName = "StatusPreview";
  RegisterClassA(&standIn);
  HWND owner = CreateWindowExA(0, "StatusPreview", "Skiff", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 616, 459, nullptr,
                               nullptr, static_cast<HINSTANCE>(app.instance), nullptr);
  setStatusText(app, TextId::SendingData);
  HWND dialog = win32::createStatusDialog(app, owner);
  if (dialog == nullptr) return 1;
  win32::gDialog = dialog;
  app.transferPhase = static_cast<std::int32_t>(done);
  app.bytesTotal = static_cast<std::int32_t>(total);
  SendMessageA(dialog, WM_TIMER, 0, 0);

  const DWORD start = GetTickCount();
  while (IsWindow(dialog) && GetTickCount() - start < seconds * 1000) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  return 0;
}
