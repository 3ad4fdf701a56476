// velmon: the tray monitor. It shows the available memory in its notification
// icon and offers the memory commands and the service switch in its menu.
#include <windows.h>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/handles.h"
#include "tray/autostart.h"
#include "tray/program_folder.h"
#include "tray/tray_icon_renderer.h"
#include "tray/tray_monitor.h"

namespace {

// The mutex exists exactly while some velmon runs. Its error code is not
// consulted: the window test in Run keeps the tray single.
constexpr char kInstanceMutexName[] = "{6D2A9C11-5E3B-4F70-8A19-2B4C6D8E0F13}";

// The process-wide objects, in this order before the entry point.
SystemCacheControl gCacheControl;
const UINT gNotifyMessage = RegisterWindowMessageW(L"Velmora.TrayIcon.Notify");
TrayIconRenderer gRenderer;
const UINT gTaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
const plat::UniqueObject gInstanceMutex(plat::CreateNamedMutexA(true, kInstanceMutexName));
CSqueezeRam gSqueezer(kTrayTouchStride);
TrayMonitor gTray(gCacheControl, gSqueezer, gRenderer);

void SetProgramFolderAsCurrent() {
  wchar_t modulePath[kProgramPathCapacity] = {};
  if (GetModuleFileNameW(nullptr, modulePath, kProgramPathCapacity) == 0) {
    return;
  }
  wchar_t folder[kProgramPathCapacity] = {};
  ProgramFolder(modulePath, folder, kProgramPathCapacity);
  SetCurrentDirectoryW(folder);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  SetThreadAffinityMask(GetCurrentThread(), 1);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  gCacheControl.Initialize();
  SetProgramFolderAsCurrent();
  RegisterAutostart();
  gTray.notifyMessage = gNotifyMessage;
  gTray.taskbarCreatedMessage = gTaskbarCreatedMessage;
  gTray.Run(instance);
  RegisterAutostart();
  return 0;
}
