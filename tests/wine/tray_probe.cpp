// A small helper for the tray tests: draws the icons velmon shows, holds the
// squeeze mutex, sends commands to velmon's hidden window and reads what velmon
// leaves behind, so that a shell script can compare it with what the desktop
// shows.
//
//   tray_probe render VALUE TOTALMB VELMON.EXE [SIZE]
//                                              the icon velmon draws for VALUE
//                                              MB of TOTALMB, base icon 221 of
//                                              VELMON.EXE, SIZE pixels square
//                                              (the small-icon size unless
//                                              given); one line "x y rrggbb"
//                                              per opaque pixel
//   tray_probe busy VELMON.EXE                 the same for its busy icon 222
//   tray_probe memory                          "load totalMB availMB pageFileMB"
//                                              as this process sees them
//   tray_probe hold-squeeze FLAGFILE           creates the squeeze mutex, prints
//                                              "held" (or "existed"), keeps it
//                                              until FLAGFILE exists (at most
//                                              120 s), prints "released"
//   tray_probe send CODE                       sends WM_COMMAND CODE to the window
//                                              titled "Velmora Tray Icon"; "sent"
//                                              or "no window"
//   tray_probe close                           sends WM_CLOSE to it, the same way
//   tray_probe dpi DPI                         sends it WM_DPICHANGED for DPI, the
//                                              same way
//   tray_probe windows                         how many top-level windows carry
//                                              that title
//   tray_probe autostart                       "<type> <size> <data>" of HKLM\...\Run
//                                              "Velmora", or "absent"
//   tray_probe hold-presence FLAGFILE          as hold-squeeze, for velsvc's
//                                              presence mutex: velmon then takes
//                                              the service to be running
//   tray_probe tool-texts                      the text of every tool of every
//                                              tooltip window on the desktop (the
//                                              shell's tips and balloons), one a line
//   tray_probe messages                        "<TaskbarCreated> <velmon's notify
//                                              message>" as registered, in hex
//   tray_probe (no argument), run as taskmgr.exe
//                                              stands in for Task Manager: creates
//                                              C:\taskmgr-started and ends
//
// Pixels are told opaque by drawing the icon at the small-icon size, as the
// taskbar does, once over black and once over white: where both agree, the
// icon covers the background.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "common/shared_names.h"
#include "common/squeezer.h"
#include "platform/handles.h"
#include "tray/tray_icon_renderer.h"

namespace {

constexpr wchar_t kTrayWindowTitle[] = L"Velmora Tray Icon";
constexpr int kBaseIconId = 221;
constexpr int kBusyIconId = 222;

// Draws `icon` `size` pixels square over a background filled by `rop` and
// copies the pixels (0x00RRGGBB, rows top down) into `pixels`.
bool DrawOver(HICON icon, int size, DWORD rop, std::vector<uint32_t>& pixels) {
  pixels.assign(static_cast<size_t>(size) * size, 0);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC const screen = GetDC(nullptr);
  HDC const dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  void* bits = nullptr;
  HBITMAP const dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dc == nullptr || dib == nullptr) {
    return false;
  }
  HGDIOBJ const previous = SelectObject(dc, dib);
  PatBlt(dc, 0, 0, size, size, rop);
  const bool drawn = DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL) != FALSE;
  GdiFlush();
  std::memcpy(pixels.data(), bits, pixels.size() * sizeof pixels[0]);
  SelectObject(dc, previous);
  DeleteObject(dib);
  DeleteDC(dc);
  return drawn;
}

int DumpIcon(HICON icon) {
  if (icon == nullptr) {
    std::fprintf(stderr, "no icon\n");
    return 1;
  }
  // Drawn as the taskbar draws it, at the small-icon size.
  const int size = GetSystemMetrics(SM_CXSMICON);
  std::vector<uint32_t> overBlack;
  std::vector<uint32_t> overWhite;
  if (!DrawOver(icon, size, BLACKNESS, overBlack) || !DrawOver(icon, size, WHITENESS, overWhite)) {
    std::fprintf(stderr, "cannot draw the icon\n");
    return 1;
  }
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const uint32_t black = overBlack[y * size + x] & 0xFFFFFF;
      const uint32_t white = overWhite[y * size + x] & 0xFFFFFF;
      if (black == white) {
        std::printf("%d %d %06lx\n", x, y, static_cast<unsigned long>(black));
      }
    }
  }
  return 0;
}

// velmon's program file as a resource module, or null.
HMODULE OpenResources(const char* path) {
  return LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

// The icon group as velmon loads it: LoadIconW, the default icon size.
HICON LoadVelmonIcon(HMODULE module, int id) {
  return LoadIconW(module, MAKEINTRESOURCEW(id));
}

int Render(int32_t value, int32_t totalMB, const char* velmonPath, int32_t size) {
  HMODULE const module = OpenResources(velmonPath);
  if (module == nullptr) {
    std::fprintf(stderr, "cannot open %s: %lu\n", velmonPath, GetLastError());
    return 1;
  }
  TrayIconRenderer renderer;
  renderer.baseIcon = LoadVelmonIcon(module, kBaseIconId);
  renderer.totalMB = totalMB;
  renderer.ready = true;
  renderer.SetSize(size);
  return DumpIcon(renderer.IconFor(value));
}

int Busy(const char* velmonPath) {
  HMODULE const module = OpenResources(velmonPath);
  if (module == nullptr) {
    std::fprintf(stderr, "cannot open %s: %lu\n", velmonPath, GetLastError());
    return 1;
  }
  return DumpIcon(LoadVelmonIcon(module, kBusyIconId));
}

int Memory() {
  MEMORYSTATUS status{};
  status.dwLength = sizeof status;
  GlobalMemoryStatus(&status);
  std::printf("%lu %llu %llu %llu\n", status.dwMemoryLoad,
              static_cast<unsigned long long>(status.dwTotalPhys >> 20),
              static_cast<unsigned long long>(status.dwAvailPhys >> 20),
              static_cast<unsigned long long>(status.dwAvailPageFile >> 20));
  return 0;
}

// Holds the mutex `mutex` (just created) until `flagFile` exists.
int HoldMutex(HANDLE mutex, const char* flagFile) {
  const DWORD error = GetLastError();
  std::printf(mutex != nullptr && error == 0 ? "held\n" : "existed\n");
  std::fflush(stdout);
  // Bounded, so that a test that dies leaves no holder behind for long.
  for (int i = 0; i < 2400; ++i) {
    if (GetFileAttributesA(flagFile) != INVALID_FILE_ATTRIBUTES) {
      break;
    }
    Sleep(50);
  }
  if (mutex != nullptr) {
    CloseHandle(mutex);
  }
  std::printf("released\n");
  return 0;
}

int HoldSqueeze(const char* flagFile) {
  return HoldMutex(CreateMutexW(nullptr, TRUE, kSqueezeMutexName), flagFile);
}

int HoldPresence(const char* flagFile) {
  return HoldMutex(CreateMutexA(nullptr, TRUE, kServicePresenceMutexName), flagFile);
}

BOOL CALLBACK CollectTooltip(HWND window, LPARAM list) {
  wchar_t className[64] = {};
  if (GetClassNameW(window, className, 64) > 0 && lstrcmpiW(className, TOOLTIPS_CLASSW) == 0) {
    auto* windows = reinterpret_cast<HWND*>(list);
    for (int i = 0; i < 255; ++i) {
      if (windows[i] == nullptr) {
        windows[i] = window;
        break;
      }
    }
  }
  return TRUE;
}

// The tools' texts of a tooltip window of another process: the record and the
// text buffer must lie in that process.
void PrintToolTexts(HWND tooltip) {
  DWORD processId = 0;
  GetWindowThreadProcessId(tooltip, &processId);
  HANDLE const process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) {
    return;
  }
  constexpr SIZE_T kTextChars = 2048;
  const SIZE_T size = sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t);
  void* const remote =
      VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote != nullptr) {
    auto* const remoteText =
        reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(TTTOOLINFOW));
    const auto count = static_cast<int>(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t text[kTextChars] = {};
      TTTOOLINFOW info{};
      info.cbSize = sizeof info;
      info.lpszText = remoteText;
      WriteProcessMemory(process, remote, &info, sizeof info, nullptr);
      WriteProcessMemory(process, remoteText, text, sizeof text, nullptr);
      if (SendMessageW(tooltip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(remote)) != 0 &&
          ReadProcessMemory(process, remoteText, text, sizeof text - sizeof(wchar_t), nullptr)) {
        char utf8[kTextChars * 3] = {};
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
        std::printf("%s\n", utf8);
      }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
}

int ToolTexts() {
  HWND tooltips[256] = {};
  EnumWindows(&CollectTooltip, reinterpret_cast<LPARAM>(tooltips));
  for (HWND tooltip : tooltips) {
    if (tooltip != nullptr) {
      PrintToolTexts(tooltip);
    }
  }
  return 0;
}

int Messages() {
  std::printf("%08x %08x\n", RegisterWindowMessageW(L"TaskbarCreated"),
              RegisterWindowMessageW(L"Velmora.TrayIcon.Notify"));
  return 0;
}

// Run as taskmgr.exe without arguments: the stand-in for Task Manager, which
// leaves a mark that it was started and ends.
bool StandInForTaskManager() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const char* const name = std::strrchr(path, '\\');
  if (length == 0 || length >= MAX_PATH || name == nullptr ||
      lstrcmpiA(name + 1, "taskmgr.exe") != 0) {
    return false;
  }
  HANDLE const mark = CreateFileA("C:\\taskmgr-started", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (mark != INVALID_HANDLE_VALUE) {
    CloseHandle(mark);
  }
  return true;
}

int SendToTray(UINT message, WPARAM wParam) {
  HWND const window = FindWindowW(nullptr, kTrayWindowTitle);
  if (window == nullptr) {
    std::printf("no window\n");
    return 1;
  }
  DWORD_PTR result = 0;
  // The memory commands keep velmon busy for about half a second; a minute
  // is a bound, not an expectation.
  if (SendMessageTimeoutW(window, message, wParam, 0, SMTO_NORMAL, 60000, &result) == 0) {
    std::printf("not answered %lu\n", GetLastError());
    return 1;
  }
  std::printf("sent\n");
  return 0;
}

BOOL CALLBACK CountTrayWindow(HWND window, LPARAM count) {
  wchar_t title[64] = {};
  if (GetWindowTextW(window, title, 64) > 0 && std::wcscmp(title, kTrayWindowTitle) == 0) {
    ++*reinterpret_cast<int*>(count);
  }
  return TRUE;
}

int Windows() {
  int count = 0;
  EnumWindows(&CountTrayWindow, reinterpret_cast<LPARAM>(&count));
  std::printf("%d\n", count);
  return 0;
}

int Autostart() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    std::printf("absent\n");
    return 0;
  }
  wchar_t data[600] = {};
  DWORD type = 0;
  DWORD size = sizeof data - sizeof(wchar_t);
  const LONG status =
      RegQueryValueExW(key, L"Velmora", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    std::printf("absent\n");
    return 0;
  }
  char text[1200] = {};
  WideCharToMultiByte(CP_UTF8, 0, data, -1, text, sizeof text, nullptr, nullptr);
  std::printf("%lu %lu %s\n", type, size, text);
  return 0;
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: tray_probe render VALUE TOTALMB VELMON.EXE [SIZE] | busy VELMON.EXE | memory |\n"
      "       hold-squeeze FLAGFILE | send CODE | close | dpi DPI | windows | autostart |\n"
      "       hold-presence FLAGFILE | tool-texts | messages\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return StandInForTaskManager() ? 0 : Usage();
  }
  const char* const command = argv[1];
  if (std::strcmp(command, "render") == 0 && (argc == 5 || argc == 6)) {
    const int32_t size = argc == 6 ? std::atoi(argv[5]) : GetSystemMetrics(SM_CXSMICON);
    return Render(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], size);
  }
  if (std::strcmp(command, "busy") == 0 && argc == 3) {
    return Busy(argv[2]);
  }
  if (std::strcmp(command, "memory") == 0 && argc == 2) {
    return Memory();
  }
  if (std::strcmp(command, "hold-squeeze") == 0 && argc == 3) {
    return HoldSqueeze(argv[2]);
  }
  if (std::strcmp(command, "send") == 0 && argc == 3) {
    return SendToTray(WM_COMMAND, static_cast<WPARAM>(std::strtoul(argv[2], nullptr, 10)));
  }
  if (std::strcmp(command, "close") == 0 && argc == 2) {
    return SendToTray(WM_CLOSE, 0);
  }
  if (std::strcmp(command, "dpi") == 0 && argc == 3) {
    const auto dpi = static_cast<WORD>(std::strtoul(argv[2], nullptr, 10));
    return SendToTray(WM_DPICHANGED, MAKEWPARAM(dpi, dpi));
  }
  if (std::strcmp(command, "windows") == 0 && argc == 2) {
    return Windows();
  }
  if (std::strcmp(command, "autostart") == 0 && argc == 2) {
    return Autostart();
  }
  if (std::strcmp(command, "hold-presence") == 0 && argc == 3) {
    return HoldPresence(argv[2]);
  }
  if (std::strcmp(command, "tool-texts") == 0 && argc == 2) {
    return ToolTexts();
  }
  if (std::strcmp(command, "messages") == 0 && argc == 2) {
    return Messages();
  }
  return Usage();
}
