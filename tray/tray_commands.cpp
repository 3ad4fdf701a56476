// What the tray menu's commands do.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "platform/handles.h"
#include "tray/memory_actions.h"
#include "tray/program_folder.h"
#include "tray/resources/resource.h"
#include "tray/service_presence.h"
#include "tray/tray_monitor.h"

namespace {

// How long switching the service may hold the tray: net.exe, then the
// service's presence mutex following its new state.
constexpr DWORD kSwitchWaitMs = 30000;
constexpr DWORD kPresencePollMs = 201;

// The system folder, without its trailing backslash; false when it cannot be
// had whole. Programs of the system are started by their full path from
// there, never by a bare name that other folders are searched for first.
bool SystemDirectory(wchar_t (&folder)[kProgramPathCapacity]) {
  const UINT length = GetSystemDirectoryW(folder, kProgramPathCapacity);
  return length != 0 && length < kProgramPathCapacity;
}

void StartTaskManager() {
  wchar_t path[kProgramPathCapacity + 16] = {};
  wchar_t systemDirectory[kProgramPathCapacity] = {};
  if (!SystemDirectory(systemDirectory)) {
    return;
  }
  lstrcpyW(path, systemDirectory);
  lstrcatW(path, L"\\taskmgr.exe");
  // Through the shell, which raises it to the rights its manifest asks for.
  ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

// A balloon from the tray's icon with `text`: a record of its own that carries
// only the balloon, so that the icon, its message and its tip stay as they are.
void ShowBalloon(HWND window, const wchar_t* text) {
  NOTIFYICONDATAW balloon{};
  balloon.cbSize = sizeof balloon;
  balloon.hWnd = window;
  balloon.uID = 1;
  balloon.uFlags = NIF_INFO;
  lstrcpynW(balloon.szInfo, text, ARRAYSIZE(balloon.szInfo));
  balloon.dwInfoFlags = NIIF_WARNING;
  Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

// Starts a file of velmon's own folder through the shell; nothing is reported.
void StartCompanion(const wchar_t* fileName, const wchar_t* parameters, int showMode) {
  wchar_t modulePath[kProgramPathCapacity] = {};
  if (GetModuleFileNameW(nullptr, modulePath, kProgramPathCapacity) == 0) {
    return;
  }
  wchar_t target[kProgramPathCapacity] = {};
  ProgramFolder(modulePath, target, kProgramPathCapacity);
  lstrcpynW(target + lstrlenW(target), fileName, kProgramPathCapacity - lstrlenW(target));
  ShellExecuteW(nullptr, L"open", target, parameters, nullptr, showMode);
}

}  // namespace

void LaunchControlPanel() {
  StartCompanion(L"velpanel.exe", nullptr, SW_SHOWNORMAL);
}

void ShowAbout() {
  StartCompanion(L"velpanel.exe", L"about", SW_SHOWNORMAL);
}

void OpenHelp() {
  StartCompanion(L"velmora.chm", nullptr, SW_SHOWMAXIMIZED);
}

void SetServiceEnabled(bool enable) {
  const ULONGLONG started = GetTickCount64();
  wchar_t systemDirectory[kProgramPathCapacity] = {};
  if (!SystemDirectory(systemDirectory)) {
    return;
  }
  // The command line begins with a blank and does not name the program: net.exe
  // then takes START or STOP as its first argument.
  wchar_t commandLine[64] = {};
  lstrcpyW(commandLine, enable ? L" START \"Velmora Service\" " : L" STOP \"Velmora Service\" ");
  wchar_t application[kProgramPathCapacity + 16] = {};
  lstrcpyW(application, systemDirectory);
  lstrcatW(application, L"\\net.exe ");

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created{};
  // net.exe gets none of velmon's handles.
  if (!CreateProcessW(application, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &created)) {
    return;
  }
  const plat::UniqueObject thread(created.hThread);
  const plat::UniqueObject process(created.hProcess);
  DWORD exitCode = 1;
  if (WaitForSingleObject(process.get(), kSwitchWaitMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.get(), &exitCode) || exitCode != 0) {
    return;  // refused (a user without administrator rights), or still busy
  }
  // net.exe has done its part. The service's presence mutex follows a little
  // later: it is closed only after the service has reported stopped (and some
  // systems' net.exe does not wait for the new state at all).
  while (ServicePresent() != enable && GetTickCount64() - started < kSwitchWaitMs) {
    Sleep(kPresencePollMs);
  }
}

void TrayMonitor::ToggleService() {
  // The mark follows what the service really did. A user who is not an
  // administrator may neither start nor stop it: the mark then stays, and a
  // balloon says why.
  const bool enable = serviceEnabled == 0;
  SetServiceEnabled(enable);
  ProbeService();
  if ((serviceEnabled == 1) != enable) {
    ShowBalloon(window, enable ? L"Starting the Velmora Service needs administrator rights."
                               : L"Stopping the Velmora Service needs administrator rights.");
  }
}

void TrayMonitor::OnCommand(WORD identifier) {
  switch (identifier) {
    case IDM_PROPERTIES:
      LaunchControlPanel();
      break;
    case IDM_ABOUT:
      ShowAbout();
      break;
    case IDM_HELP:
      OpenHelp();
      break;
    case IDM_EXIT:
      PostMessageW(window, WM_CLOSE, 0, 0);
      break;
    case IDM_ENABLE:
      ToggleService();
      break;
    case IDM_TASK_MANAGER:
      StartTaskManager();
      break;
    case IDM_BOOST:
      BoostMemoryNow(MemoryActionContext{cache_, squeezer_, &TrayMonitor::RefreshActiveIcon});
      break;
    case IDM_EMPTY_CACHE:
      EmptySystemCache(cache_);
      break;
    default:
      break;
  }
}
