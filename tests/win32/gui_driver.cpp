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
//   menu TARGET                                print the whole menu bar: popups, items with ids, separators
//   dlg-text TARGET CONTROL_ID                 print the control's text
//   wait-text TARGET CONTROL_ID SUBSTRING [TIMEOUT_MS]  wait until the control's text contains SUBSTRING
//   set-text TARGET CONTROL_ID TEXT            set the control's text
//   click TARGET CONTROL_ID                    post a button click (WM_COMMAND BN_CLICKED) to the window
//   press TARGET CONTROL_ID 1|0                show a button pressed or released (BM_SETSTATE)
//   is-enabled TARGET CONTROL_ID               print "enabled" or "disabled"
//   controls TARGET                            print every child: id, class, enabled, text
//   rect TARGET [CONTROL_ID]                   print the window rectangle (left top right bottom), screen pixels
//   client TARGET                              print the client area size (width height)
//   client-box TARGET                          print the client area (left top right bottom), screen pixels
//   state TARGET                               print "maximised", "minimised" or "normal", then "maximise-box"
//                                              when the window has one
//   syscommand TARGET maximise|restore         post WM_SYSCOMMAND, as the caption's buttons do
//   drop-menu TARGET LETTER                    drop down the menu bar's popup with this mnemonic (Alt+LETTER)
//   key TARGET VK                              post a key press (WM_KEYDOWN, WM_KEYUP) with this virtual-key code
//   text-size TEXT                             print the size (width height) of TEXT drawn with the system font
//                                              (DrawTextA, DT_RIGHT | DT_BOTTOM), the About box's version font
//   windows                                    print every visible top-level window: handle, class, title
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <initializer_list>
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

// A window handle as TARGET takes it back, all of its bits (unsigned long has 32 on 64-bit Windows).
std::string handleText(HWND window) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  return text;
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
    HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(target.c_str() + 2, nullptr, 16)));
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

// Menus belong to their process (under Wine a menu handle means nothing elsewhere), so menus are read by small
// threads run inside the window's own process: each calls one user32 function with up to six pointer-sized
// arguments and leaves the function's whole return register beside them (a thread's exit code has only 32 bits);
// texts come back through a scratch buffer in that process.
class RemoteUser32 {
 public:
  explicit RemoteUser32(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    process_ = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
    if (process_ == nullptr) return;
    local_ = GetModuleHandleA("user32.dll");
    remote_ = remoteUser32(process_);
    if (remote_ == nullptr) remote_ = local_;
    base_ = static_cast<unsigned char*>(
        VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (base_ != nullptr && !WriteProcessMemory(process_, base_, kCaller, sizeof kCaller, nullptr)) base_ = nullptr;
  }
  ~RemoteUser32() {
    if (base_ != nullptr && finished_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);  // never under a live thread
    if (process_ != nullptr) CloseHandle(process_);
  }
  bool ready() const { return base_ != nullptr; }
  UINT_PTR scratch() const { return reinterpret_cast<UINT_PTR>(base_ + kScratchAt); }
  static constexpr DWORD kScratchSize = 1024;

  // Calls the user32 function `name` there; false when the call could not run. A function that returns a handle
  // gives all of it; one that returns a UINT or an int only the low 32 bits (on x86-64 the rest is undefined).
  bool call(const char* name, std::initializer_list<UINT_PTR> args, UINT_PTR* result) {
    if (!ready() || args.size() > 6) return false;
    const auto local = reinterpret_cast<UINT_PTR>(GetProcAddress(local_, name));
    if (local == 0) return false;
    UINT_PTR data[kResult + 1] = {local - reinterpret_cast<UINT_PTR>(local_) + reinterpret_cast<UINT_PTR>(remote_),
                                  args.size()};
    std::size_t at = 2;
    for (UINT_PTR arg : args) data[at++] = arg;
    if (!WriteProcessMemory(process_, base_ + kDataAt, data, sizeof data, nullptr)) return false;
    HANDLE thread = CreateRemoteThread(process_, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(base_),
                                       base_ + kDataAt, 0, nullptr);
    if (thread == nullptr) return false;
    finished_ = WaitForSingleObject(thread, kMessageTimeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return finished_ && ReadProcessMemory(process_, base_ + kDataAt + kResult * sizeof(UINT_PTR), result,
                                          sizeof *result, nullptr);
  }
  bool call(const char* name, std::initializer_list<UINT_PTR> args, DWORD* result) {
    UINT_PTR whole = 0;
    if (!call(name, args, &whole)) return false;
    *result = static_cast<DWORD>(whole);
    return true;
  }
  std::string scratchText() {
    char text[kScratchSize + 1] = {};
    ReadProcessMemory(process_, base_ + kScratchAt, text, kScratchSize, nullptr);
    return text;
  }

 private:
  // The thread routine gets {function, count, six arguments, result}, each pointer-sized, calls the function and
  // stores what it returned in `result`.
#if defined(__x86_64__)
  // Microsoft x64 convention: four arguments in registers, the fifth and sixth above 32 bytes of shadow space,
  // the stack 16-byte aligned at the call; arguments the function does not take are harmless.
  static constexpr unsigned char kCaller[] = {
      0x53,                          // push rbx
      0x48, 0x83, 0xEC, 0x30,        // sub rsp, 0x30
      0x48, 0x89, 0xCB,              // mov rbx, rcx          ; the block
      0x48, 0x8B, 0x43, 0x30,        // mov rax, [rbx+0x30]   ; fifth argument
      0x48, 0x89, 0x44, 0x24, 0x20,  // mov [rsp+0x20], rax
      0x48, 0x8B, 0x43, 0x38,        // mov rax, [rbx+0x38]   ; sixth argument
      0x48, 0x89, 0x44, 0x24, 0x28,  // mov [rsp+0x28], rax
      0x48, 0x8B, 0x4B, 0x10,        // mov rcx, [rbx+0x10]
      0x48, 0x8B, 0x53, 0x18,        // mov rdx, [rbx+0x18]
      0x4C, 0x8B, 0x43, 0x20,        // mov r8, [rbx+0x20]
      0x4C, 0x8B, 0x4B, 0x28,        // mov r9, [rbx+0x28]
      0xFF, 0x13,                    // call [rbx]
      0x48, 0x89, 0x43, 0x40,        // mov [rbx+0x40], rax   ; result
      0x48, 0x83, 0xC4, 0x30,        // add rsp, 0x30
      0x5B,                          // pop rbx
      0xC3,                          // ret
  };
#else
  // stdcall: exactly `count` arguments pushed last to first; the function pops them.
  static constexpr unsigned char kCaller[] = {
      0x53,                    // push ebx
      0x8B, 0x5C, 0x24, 0x08,  // mov ebx, [esp+8]          ; the block
      0x8B, 0x4B, 0x04,        // mov ecx, [ebx+4]          ; count
      0x85, 0xC9,              // next: test ecx, ecx
      0x74, 0x07,              //       jz call
      0xFF, 0x74, 0x8B, 0x04,  //       push [ebx+ecx*4+4]  ; argument ecx-1
      0x49,                    //       dec ecx
      0xEB, 0xF5,              //       jmp next
      0xFF, 0x13,              // call: call [ebx]
      0x89, 0x43, 0x20,        // mov [ebx+0x20], eax       ; result
      0x5B,                    // pop ebx
      0xC2, 0x04, 0x00,        // ret 4
  };
#endif
  static constexpr std::size_t kResult = 8;  // the result's place in the block, after function, count, arguments
  static constexpr SIZE_T kDataAt = 64;
  static constexpr SIZE_T kScratchAt = 256;
  static constexpr SIZE_T kSize = 4096;

  HANDLE process_ = nullptr;
  HMODULE local_ = nullptr;
  HMODULE remote_ = nullptr;
  unsigned char* base_ = nullptr;
  bool finished_ = true;
};

UINT_PTR handleValue(HWND window) { return reinterpret_cast<UINT_PTR>(window); }

// GetMenuState of item `id` of the window's menu; -1 when there is no such item or the probe could not run.
UINT remoteMenuState(HWND window, UINT id) {
  RemoteUser32 remote(window);
  UINT_PTR menu = 0;
  DWORD state = static_cast<DWORD>(-1);
  if (!remote.call("GetMenu", {handleValue(window)}, &menu) || menu == 0) return static_cast<UINT>(-1);
  if (!remote.call("GetMenuState", {menu, id, MF_BYCOMMAND}, &state)) return static_cast<UINT>(-1);
  return state;
}

// Prints the whole menu bar: one line a popup ("POPUP &File") or item ("  5 E&xit", "  SEPARATOR"), with
// " [greyed]" "[checked]" flags as the items have them.
bool printMenu(HWND window) {
  RemoteUser32 remote(window);
  UINT_PTR bar = 0;
  if (!remote.call("GetMenu", {handleValue(window)}, &bar) || bar == 0) return false;
  const auto text = [&](UINT_PTR menu, DWORD position) {
    DWORD length = 0;
    remote.call("GetMenuStringA", {menu, position, remote.scratch(), RemoteUser32::kScratchSize - 1, MF_BYPOSITION},
                &length);
    return length > 0 ? remote.scratchText() : std::string();
  };
  const auto flags = [](DWORD state) {
    std::string out;
    if (state & MF_GRAYED) out += " [greyed]";
    if (state & MF_CHECKED) out += " [checked]";
    return out;
  };
  DWORD popups = 0;
  remote.call("GetMenuItemCount", {bar}, &popups);
  for (DWORD p = 0; p < popups && p < 64; ++p) {
    UINT_PTR sub = 0;
    DWORD count = 0;
    remote.call("GetSubMenu", {bar, p}, &sub);
    std::printf("POPUP %s\n", text(bar, p).c_str());
    if (sub == 0) continue;
    remote.call("GetMenuItemCount", {sub}, &count);
    for (DWORD i = 0; i < count && i < 256; ++i) {
      DWORD id = 0, state = 0;
      remote.call("GetMenuItemID", {sub, i}, &id);
      remote.call("GetMenuState", {sub, i, MF_BYPOSITION}, &state);
      if (state & MF_SEPARATOR) {
        std::printf("  SEPARATOR\n");
      } else {
        std::printf("  %lu %s%s\n", static_cast<unsigned long>(id), text(sub, i).c_str(), flags(state).c_str());
      }
    }
  }
  return true;
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
  std::printf("%s\t%s\t%s\n", handleText(window).c_str(),
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
  if (verb == "text-size") {
    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    RECT extent{};
    DrawTextA(dc, target.c_str(), -1, &extent, DT_RIGHT | DT_BOTTOM | DT_CALCRECT);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    std::printf("%ld %ld\n", extent.right - extent.left, extent.bottom - extent.top);
    return 0;
  }

  if (verb == "wait-window") {
    HWND window = nullptr;
    if (!pollUntil(timeoutArg(argc, argv, 3), [&] { return (window = findTarget(target)) != nullptr; })) {
      std::fprintf(stderr, "gui_driver: window %s did not appear\n", target.c_str());
      return 1;
    }
    std::printf("%s\n", handleText(window).c_str());
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
  if (verb == "menu") return printMenu(window) ? 0 : 1;
  if (verb == "client") {
    RECT rect{};
    GetClientRect(window, &rect);
    std::printf("%ld %ld\n", rect.right - rect.left, rect.bottom - rect.top);
    return 0;
  }
  if (verb == "client-box") {
    RECT rect{};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    return 0;
  }
  if (verb == "state") {
    const char* state = IsZoomed(window) ? "maximised" : IsIconic(window) ? "minimised" : "normal";
    const bool box = (GetWindowLongA(window, GWL_STYLE) & WS_MAXIMIZEBOX) != 0;
    std::printf("%s%s\n", state, box ? " maximise-box" : "");
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
  if (verb == "syscommand") {
    const std::string what = argv[3];
    if (what != "maximise" && what != "restore") return usage();
    return PostMessageA(window, WM_SYSCOMMAND, what == "maximise" ? SC_MAXIMIZE : SC_RESTORE, 0) ? 0 : 1;
  }
  if (verb == "drop-menu") {
    return PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, static_cast<unsigned char>(argv[3][0])) ? 0 : 1;
  }
  const int id = std::atoi(argv[3]);
  if (verb == "key") {
    return PostMessageA(window, WM_KEYDOWN, static_cast<WPARAM>(id), 1) &&
                   PostMessageA(window, WM_KEYUP, static_cast<WPARAM>(id), 0xC0000001)
               ? 0
               : 1;
  }

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
  if (verb == "press") {  // BM_SETSTATE: shows a button pressed (1) or released (0), as a mouse would
    const WPARAM down = argc > 4 && std::atoi(argv[4]) != 0;
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(control, BM_SETSTATE, down, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored) ? 0 : 1;
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
