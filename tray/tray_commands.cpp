// What the tray menu's commands do.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "platform/handles.h"
#include "tray/memory_actions.h"
#include "tray/program_folder.h"
#include "tray/resources/resource.h"
#include "tray/tray_monitor.h"

namespace {

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
  // net.exe gets none of velmon's handles. It is not waited for; on failure
  // both handles are null.
  CreateProcessW(application, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                 nullptr, &startup, &created);
  const plat::UniqueObject thread(created.hThread);
  const plat::UniqueObject process(created.hProcess);
}

void TrayMonitor::ToggleService() {
  // Mark and flag change at once; the next service probe sets both again from
  // the service's real presence.
  serviceEnabled = serviceEnabled == 0 ? 1 : 0;
  CheckMenuItem(GetSubMenu(menu, 0), IDM_ENABLE,
                MF_BYCOMMAND | (serviceEnabled == 1 ? MF_CHECKED : MF_UNCHECKED));
  SetServiceEnabled(serviceEnabled == 1);
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
