// Drives the windows of another program from shell scripts under Wine: find windows, post commands, read menu
// states and control texts, type into and click controls. Every wait polls with a deadline.
//
// A TARGET names a top-level window:
//   TITLE            a visible window with exactly this title ("Connection Progress")
//   CLASS|TITLE      class and title both ("Skiff|Skiff" is the main window, "#32770|Skiff" a message box)
//   CLASS|           any title of that class
//   owned:TARGET     the visible dialog (#32770) owned by TARGET (the About box has no title)
//   0x1234           a window handle as printed by wait-window
//
// "--desktop NAME" before the subcommand works on the windows of that Wine virtual desktop.
//
// Subcommands (exit 0 on success, 1 on a failed wait or missing window, 2 on bad usage):
//   wait-window TARGET [TIMEOUT_MS]            print the handle once the window exists
//   wait-gone TARGET [TIMEOUT_MS]              succeed once no such window exists
//   command TARGET ID                          post WM_COMMAND with ID
//   close TARGET                               post WM_CLOSE
//   menu-state TARGET ID                       print "checked" or "unchecked", then "greyed"/"disabled" if so
//   dlg-text TARGET CONTROL_ID                 print the control's text
//   wait-text TARGET CONTROL_ID SUBSTRING [TIMEOUT_MS]  wait until the control's text contains SUBSTRING
//   set-text TARGET CONTROL_ID TEXT            set the control's text
//   click TARGET CONTROL_ID                    post a button click (WM_COMMAND BN_CLICKED) to the window
//   is-enabled TARGET CONTROL_ID               print "enabled" or "disabled"
//   controls TARGET                            print every child: id, class, enabled, text
//   rect TARGET [CONTROL_ID]                   print the window rectangle (left top right bottom), screen pixels
//   client TARGET                              print the client area size (width height)
//   windows                                    print every visible top-level window: handle, class, title
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr UINT kMessageTimeoutMs = 5000;

std::string classOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string titleOf(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The text of a control in another process: WM_GETTEXT is marshalled across processes.
std::string controlText(HWND control) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length)) {
    return titleOf(control);
  }
  std::vector<char> text(length + 2, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      kMessageTimeoutMs, &copied);
  return std::string(text.data());
}

struct Search {
  std::string cls;
  std::string title;
  bool anyTitle = false;
  bool anyClass = true;
  HWND owner = nullptr;
  bool wantOwned = false;
  HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (search->wantOwned) {
    if (GetWindow(window, GW_OWNER) != search->owner || classOf(window) != "#32770") return TRUE;
  } else {
    if (!search->anyClass && classOf(window) != search->cls) return TRUE;
    if (!search->anyTitle && titleOf(window) != search->title) return TRUE;
  }
  search->found = window;
  return FALSE;
}

HWND findTarget(const std::string& target) {
  if (target.rfind("0x", 0) == 0) {
    HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(target.c_str() + 2, nullptr, 16)));
    return IsWindow(window) ? window : nullptr;
  }
  Search search;
  if (target.rfind("owned:", 0) == 0) {
    search.owner = findTarget(target.substr(6));
    if (search.owner == nullptr) return nullptr;
    search.wantOwned = true;
  } else if (const auto bar = target.find('|'); bar != std::string::npos) {
    search.cls = target.substr(0, bar);
    search.anyClass = false;
    search.title = target.substr(bar + 1);
    search.anyTitle = search.title.empty();
  } else {
    search.title = target;
  }
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DWORD timeoutArg(int argc, char** argv, int index) {
  return index < argc ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : kDefaultTimeoutMs;
}

// Polls `ready` every 50 ms until it holds or the time is up.
template <typename Ready>
bool pollUntil(DWORD timeoutMs, Ready ready) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(50);
  }
}

HWND requireTarget(const std::string& target) {
  HWND window = findTarget(target);
  if (window == nullptr) std::fprintf(stderr, "gui_driver: no window %s\n", target.c_str());
  return window;
}

HWND requireControl(HWND window, const char* idText) {
  const int id = std::atoi(idText);
  HWND control = GetDlgItem(window, id);
  if (control == nullptr) std::fprintf(stderr, "gui_driver: no control %d\n", id);
  return control;
}

// Where user32 sits in the other process (normally where it sits here).
HMODULE remoteUser32(HANDLE process) {
  HMODULE modules[512];
  DWORD needed = 0;
  if (!K32EnumProcessModules(process, modules, sizeof modules, &needed)) return nullptr;
  const DWORD count = needed / sizeof(HMODULE);
  for (DWORD i = 0; i < count && i < 512; ++i) {
    char name[MAX_PATH] = {};
    K32GetModuleBaseNameA(process, modules[i], name, sizeof name);
    if (lstrcmpiA(name, "user32.dll") == 0) return modules[i];
  }
  return nullptr;
}

// Menus belong to their process (under Wine a menu handle means nothing elsewhere), so the menu state is read by
// a small thread run inside the window's own process: GetMenuState(GetMenu(window), id, MF_BYCOMMAND), handed
// back as the thread's exit code. -1 when the item does not exist or the probe could not run.
UINT remoteMenuState(HWND window, UINT id) {
  static const unsigned char kProbe[] = {
      0x53,                    // push ebx
      0x8B, 0x5C, 0x24, 0x08,  // mov ebx, [esp+8]      ; the probe's data
      0xFF, 0x33,              // push dword [ebx]      ; window
      0xFF, 0x53, 0x08,        // call [ebx+8]          ; GetMenu
      0x6A, 0x00,              // push MF_BYCOMMAND
      0xFF, 0x73, 0x04,        // push dword [ebx+4]    ; id
      0x50,                    // push eax              ; menu
      0xFF, 0x53, 0x0C,        // call [ebx+12]         ; GetMenuState
      0x5B,                    // pop ebx
      0xC2, 0x04, 0x00,        // ret 4
  };
  struct ProbeData {
    DWORD window, id, getMenu, getMenuState;
  };
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
  if (process == nullptr) return static_cast<UINT>(-1);
  UINT result = static_cast<UINT>(-1);
  HMODULE localUser32 = GetModuleHandleA("user32.dll");
  HMODULE otherUser32 = remoteUser32(process);
  if (otherUser32 == nullptr) otherUser32 = localUser32;
  const auto remote = [&](const char* name) {
    const auto local = reinterpret_cast<UINT_PTR>(GetProcAddress(localUser32, name));
    return static_cast<DWORD>(local - reinterpret_cast<UINT_PTR>(localUser32) + reinterpret_cast<UINT_PTR>(otherUser32));
  };
  const ProbeData data{static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)), id, remote("GetMenu"),
                       remote("GetMenuState")};
  constexpr SIZE_T kDataAt = 64;
  bool finished = true;  // memory a probe might still run in is left alone
  void* memory = VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
  if (memory != nullptr) {
    auto* base = static_cast<unsigned char*>(memory);
    if (WriteProcessMemory(process, base, kProbe, sizeof kProbe, nullptr) &&
        WriteProcessMemory(process, base + kDataAt, &data, sizeof data, nullptr)) {
      HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(base),
                                         base + kDataAt, 0, nullptr);
      if (thread != nullptr) {
        DWORD exitCode = static_cast<DWORD>(-1);
        finished = WaitForSingleObject(thread, kMessageTimeoutMs) == WAIT_OBJECT_0;
        if (finished) GetExitCodeThread(thread, &exitCode);
        result = exitCode;
        CloseHandle(thread);
      }
    }
    if (finished) VirtualFreeEx(process, memory, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return result;
}

int usage() {
  std::fprintf(stderr, "usage: gui_driver SUBCOMMAND TARGET ... (see the comment at the top of gui_driver.cpp)\n");
  return 2;
}

BOOL CALLBACK printChild(HWND child, LPARAM parent) {
  if (GetParent(child) != reinterpret_cast<HWND>(parent)) return TRUE;
  std::printf("%d\t%s\t%s\t%s\n", GetDlgCtrlID(child), classOf(child).c_str(),
              IsWindowEnabled(child) ? "enabled" : "disabled", controlText(child).c_str());
  return TRUE;
}

BOOL CALLBACK printTopLevel(HWND window, LPARAM) {
  if (!IsWindowVisible(window)) return TRUE;
  std::printf("0x%lx\t%s\t%s\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
              classOf(window).c_str(), titleOf(window).c_str());
  return TRUE;
}

int run(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string verb = argv[1];
  if (verb == "windows") {
    EnumWindows(printTopLevel, 0);
    return 0;
  }
  if (argc < 3) return usage();
  const std::string target = argv[2];

  if (verb == "wait-window") {
    HWND window = nullptr;
    if (!pollUntil(timeoutArg(argc, argv, 3), [&] { return (window = findTarget(target)) != nullptr; })) {
      std::fprintf(stderr, "gui_driver: window %s did not appear\n", target.c_str());
      return 1;
    }
    std::printf("0x%lx\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
    return 0;
  }
  if (verb == "wait-gone") {
    if (!pollUntil(timeoutArg(argc, argv, 3), [&] { return findTarget(target) == nullptr; })) {
      std::fprintf(stderr, "gui_driver: window %s is still there\n", target.c_str());
      return 1;
    }
    return 0;
  }

  HWND window = requireTarget(target);
  if (window == nullptr) return 1;

  if (verb == "close") return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
  if (verb == "client") {
    RECT rect{};
    GetClientRect(window, &rect);
    std::printf("%ld %ld\n", rect.right - rect.left, rect.bottom - rect.top);
    return 0;
  }
  if (verb == "controls") {
    EnumChildWindows(window, printChild, reinterpret_cast<LPARAM>(window));
    return 0;
  }
  if (verb == "rect") {
    HWND of = window;
    if (argc > 3 && (of = requireControl(window, argv[3])) == nullptr) return 1;
    RECT rect{};
    GetWindowRect(of, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    return 0;
  }
  if (argc < 4) return usage();
  const int id = std::atoi(argv[3]);

  if (verb == "command") return PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0) ? 0 : 1;
  if (verb == "menu-state") {
    const UINT state = remoteMenuState(window, static_cast<UINT>(id));
    if (state == static_cast<UINT>(-1)) {
      std::fprintf(stderr, "gui_driver: no menu item %d\n", id);
      return 1;
    }
    std::printf("%s%s%s\n", (state & MF_CHECKED) ? "checked" : "unchecked", (state & MF_GRAYED) ? " greyed" : "",
                (state & MF_DISABLED) ? " disabled" : "");
    return 0;
  }

  HWND control = requireControl(window, argv[3]);
  if (control == nullptr) return 1;
  if (verb == "dlg-text") {
    std::printf("%s\n", controlText(control).c_str());
    return 0;
  }
  if (verb == "is-enabled") {
    std::printf("%s\n", IsWindowEnabled(control) ? "enabled" : "disabled");
    return 0;
  }
  if (verb == "click") {
    const WPARAM wParam = MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED);
    return PostMessageA(window, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control)) ? 0 : 1;
  }
  if (argc < 5) return usage();
  if (verb == "set-text") {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]), SMTO_ABORTIFHUNG,
                               kMessageTimeoutMs, &ignored)
               ? 0
               : 1;
  }
  if (verb == "wait-text") {
    const std::string wanted = argv[4];
    std::string last;
    const bool seen = pollUntil(timeoutArg(argc, argv, 5), [&] {
      if (!IsWindow(control)) return false;
      last = controlText(control);
      return last.find(wanted) != std::string::npos;
    });
    std::printf("%s\n", last.c_str());
    return seen ? 0 : 1;
  }
  return usage();
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // plain \n line ends for the shell scripts
  // --desktop NAME: work on the windows of a Wine virtual desktop (explorer /desktop=NAME,...).
  if (argc > 2 && std::strcmp(argv[1], "--desktop") == 0) {
    HDESK desktop = nullptr;  // the desktop appears a moment after its explorer starts
    pollUntil(kDefaultTimeoutMs, [&] { return (desktop = OpenDesktopA(argv[2], 0, FALSE, GENERIC_ALL)) != nullptr; });
    if (desktop == nullptr || !SetThreadDesktop(desktop)) {
      std::fprintf(stderr, "gui_driver: no desktop %s\n", argv[2]);
      return 1;
    }
    argv[2] = argv[0];
    argc -= 2;
    argv += 2;
  }
  const int result = run(argc, argv);
  std::fflush(stdout);
  return result;
}
