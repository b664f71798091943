// The program's connection dialog (template "CONNECTION", its dialog procedure and the decisions behind it)
// over the real link library and a real COM port: under Wine COM1 is mapped to a pseudo-terminal, with
// newton-sim calling on the other end or nobody there. Prints "connection dialog ended with CODE" and, once
// connected, the pipe state. Usage: connection_wintest [PORT] [BAUD]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/skin_win32.h"
#include "core/program.h"
#include "core/pump.h"
#include "dil/dil.h"

namespace skiff::win32 {

namespace {
AppState gApp;
SkinWindows gWindows;
std::unique_ptr<LinkOps> gLink = makeDilLink();
std::unique_ptr<ShellOps> gShell = makeShell(gApp, *gLink, gWindows);
Runtime gRuntime{gApp, *gLink, *gShell};
}  // namespace

}  // namespace skiff::win32

int main(int argc, char** argv) {
  using namespace skiff;
  Runtime& rt = win32::gRuntime;
  const std::string port = argc > 1 ? argv[1] : "COM1";
  const long baud = argc > 2 ? std::atol(argv[2]) : 19200;

  initialState(rt.app, GetModuleHandleA(nullptr));
  HWND owner = CreateWindowExA(0, "STATIC", "Skiff", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 616, 459, nullptr,
                               nullptr, static_cast<HINSTANCE>(rt.app.instance), nullptr);
  win32::gWindows.mainWindow = owner;
  startLink(rt.app, rt.link);
  rt.app.settings.portName = port;
  // The pipe is configured without openPipe, whose failure box would wait for a click.
  const std::string config = pipeConfigText(port, baud);
  const std::int32_t init = rt.link.CDPipeInit(rt.app.pipe, "MNP", "", config.c_str(), port.c_str(), 2048, 2048);
  if (init != 0) {
    std::printf("CDPipeInit failed with %ld\n", static_cast<long>(init));
    return 3;
  }
  const int code = win32::runConnectionDialog(rt, owner);
  std::printf("connection dialog ended with %d\n", code);
  if (code == 5) std::printf("pipe state %ld\n", static_cast<long>(rt.link.pipeState(rt.app.pipe)));
  std::fflush(stdout);
  stopLink(rt.app, rt.link);
  DestroyWindow(owner);
  return 0;
}
