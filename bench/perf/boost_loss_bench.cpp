// How many of the tray's squeeze requests its own icon probe costs, under Wine.
//
//   boost_loss_bench N changed|unchanged closed|held
//
// Each request is what Boost Memory Now does for one squeeze: the tray's
// squeezer asked for a small amount, then the icon refreshed. The refresh is
// velmon's TrayMonitor::CurrentIcon ("closed": its squeeze probe is closed
// before memory is read and the icon drawn), or the same with the probe held
// until the icon is drawn ("held", as the tray did before). "changed" drops the
// renderer's cached icon before each request, so that the refresh draws, as it
// does after Empty System Cache; "unchanged" keeps it.
//
// This thread runs as velmon's user-interface thread does, on processor 0 at
// below-normal priority. The figures depend on how busy the machine is: a
// probe preempted between its creation and its close stays in the way longer.
//
// The requests run one at a time, each after the previous worker has closed its
// mutex, so the only other holder a worker can meet is the icon probe. A worker
// whose creation of the squeeze mutex finds it existing has lost its squeeze.
// The worker's calls are watched through this program's own import slots.
// Prints "lost L of N" (and "unfinished U" when workers did not end in time).
// Needs a display: the renderer draws on a screen-compatible context.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "tests/wine/import_slots.h"
#include "tray/resources/resource.h"
#include "tray/tray_icon_renderer.h"
#include "tray/tray_monitor.h"

namespace {

constexpr uint32_t kSqueezeMB = 8;
constexpr DWORD kWorkerBoundMs = 10000;

decltype(&::CreateMutexW) gRealCreateMutexW = nullptr;
decltype(&::CloseHandle) gRealCloseHandle = nullptr;
DWORD gUiThread = 0;
HANDLE gWorkerDone = nullptr;  // owned by main
std::atomic<HANDLE> gWorkerMutex{nullptr};
std::atomic<DWORD> gWorkerError{0};

// The worker's creation of the squeeze mutex: its outcome is noted. A worker
// that got no handle has nothing to close and is done.
HANDLE WINAPI HookCreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL owner, LPCWSTR name) {
  HANDLE const mutex = gRealCreateMutexW(attributes, owner, name);
  const DWORD error = GetLastError();
  if (GetCurrentThreadId() != gUiThread) {
    gWorkerError = error;
    gWorkerMutex = mutex;
    if (mutex == nullptr) {
      SetEvent(gWorkerDone);
    }
  }
  SetLastError(error);
  return mutex;
}

// The worker's last act: closing its mutex, after its squeeze or at once.
BOOL WINAPI HookCloseHandle(HANDLE handle) {
  const bool workerMutex = GetCurrentThreadId() != gUiThread && handle == gWorkerMutex.load();
  const BOOL closed = gRealCloseHandle(handle);
  if (workerMutex) {
    SetEvent(gWorkerDone);
  }
  return closed;
}

// The icon refresh as the tray made it before: the probe held while memory is
// read and the icon drawn.
HICON HeldProbeIcon(TrayIconRenderer& renderer) {
  const SqueezeMutex probe;
  if (probe.creationError() != 0) {
    return nullptr;
  }
  plat::MemoryStatus status{};
  plat::QueryMemoryStatus(status);
  return renderer.IconFor(static_cast<int32_t>(status.availPhys >> 20));
}

int Usage() {
  std::fprintf(stderr, "usage: boost_loss_bench N changed|unchanged closed|held\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    return Usage();
  }
  const int requests = std::atoi(argv[1]);
  const bool changed = std::strcmp(argv[2], "changed") == 0;
  const bool held = std::strcmp(argv[3], "held") == 0;
  if (requests <= 0 || (!changed && std::strcmp(argv[2], "unchanged") != 0) ||
      (!held && std::strcmp(argv[3], "closed") != 0)) {
    return Usage();
  }
  // As velmon's user-interface thread runs.
  SetThreadAffinityMask(GetCurrentThread(), 1);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  gUiThread = GetCurrentThreadId();
  const plat::UniqueObject workerDone(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  gWorkerDone = workerDone.get();
  if (gWorkerDone == nullptr || !Patch("CreateMutexW", &HookCreateMutexW, gRealCreateMutexW) ||
      !Patch("CloseHandle", &HookCloseHandle, gRealCloseHandle)) {
    std::printf("boost_loss_error the calls cannot be watched\n");
    return 1;
  }

  SystemCacheControl cache;
  CSqueezeRam squeezer(kTrayTouchStride);
  TrayIconRenderer renderer;
  TrayMonitor tray(cache, squeezer, renderer);
  renderer.baseIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_BLANK));
  renderer.ready = true;
  if (tray.CurrentIcon() == nullptr) {
    std::printf("boost_loss_error no icon drawn\n");
    return 1;
  }

  int lost = 0;
  int unfinished = 0;
  for (int i = 0; i < requests; ++i) {
    if (changed) {
      // A value no reading gives, asked for while nothing may be drawn.
      renderer.ready = false;
      renderer.IconFor(-1);
      renderer.ready = true;
    }
    ResetEvent(gWorkerDone);
    gWorkerMutex = nullptr;
    gWorkerError = 0;
    squeezer.SqueezeRam(kSqueezeMB);
    if (held) {
      HeldProbeIcon(renderer);
    } else {
      tray.CurrentIcon();
    }
    if (WaitForSingleObject(gWorkerDone, kWorkerBoundMs) != WAIT_OBJECT_0) {
      ++unfinished;
    } else if (gWorkerError != 0) {
      ++lost;
    }
  }
  std::printf("lost %d of %d\n", lost, requests);
  if (unfinished != 0) {
    std::printf("unfinished %d\n", unfinished);
  }
  return 0;
}
