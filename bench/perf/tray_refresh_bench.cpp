// What velmon's timer tick costs under Wine, beside an empty timer tick.
//
// Two plain windows of this program get WM_TIMER messages, each posted, fetched
// with GetMessageW and dispatched, one at a time: the first window's handler
// does nothing (the yardstick), the second's runs TrayMonitor::RefreshIcon for
// a tray icon added to the taskbar of the Wine desktop, as velmon's timer does.
// A cached refresh finds the available memory unchanged (the memory figures are
// pinned for this process by the caller), so the renderer gives its cached
// icon; a full refresh finds a new value and draws (before each, the cached
// icon is dropped, which destroys it as a new value would). Also timed alone:
// the parts of a cached refresh. Microseconds per tick or call, in several
// runs, the kinds taking turns in each run: one "tray_run" line a run (run,
// empty, cached, full), then the medians.
//
// C++ allocations are counted during the cached refreshes; there should be none.
// Prints "KEY VALUE" lines.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/platform.h"
#include "tests/support/allocation_counter.h"
#include "tray/resources/resource.h"
#include "tray/tray_icon_renderer.h"
#include "tray/tray_monitor.h"

namespace {

constexpr int kRuns = 9;
constexpr int kTicksPerRun = 1000;
constexpr int kFullTicksPerRun = 50;
constexpr int kCallsPerRun = 1000;
constexpr int kNotifyCallsPerRun = 50;  // the shell redraws on each: milliseconds
constexpr UINT_PTR kTimerId = 1;

TrayMonitor* gTray = nullptr;
TrayIconRenderer* gRenderer = nullptr;
volatile uintptr_t gSink = 0;

enum class Refresh { Cached, Full };
Refresh gRefresh = Refresh::Cached;

int64_t Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double Micros(int64_t ticks, int count) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency.QuadPart) / count;
}

double Median(double (&figures)[kRuns]) {
  std::sort(figures, figures + kRuns);
  return figures[kRuns / 2];
}

LRESULT CALLBACK EmptyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Drops the renderer's cached icon, so that the next refresh finds a value it
// has not drawn: a value no reading gives is asked for while nothing may be drawn.
void DropCachedIcon() {
  gRenderer->ready = false;
  gSink = reinterpret_cast<uintptr_t>(gRenderer->IconFor(-1));
  gRenderer->ready = true;
}

LRESULT CALLBACK TrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    if (gRefresh == Refresh::Full) {
      DropCachedIcon();
    }
    gTray->RefreshIcon();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow(HINSTANCE instance, const wchar_t* className, WNDPROC procedure) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = className;
  if (RegisterClassW(&windowClass) == 0) {
    return nullptr;
  }
  return CreateWindowExW(0, className, className, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                         nullptr);
}

// Microseconds per timer tick dispatched to `window`.
double Ticks(HWND window, int count) {
  const int64_t start = Now();
  for (int i = 0; i < count; ++i) {
    PostMessageW(window, WM_TIMER, kTimerId, 0);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      DispatchMessageW(&message);
      if (message.message == WM_TIMER && message.hwnd == window) {
        break;
      }
    }
  }
  return Micros(Now() - start, count);
}

template <typename F>
double Calls(F&& call, int count = kCallsPerRun) {
  const int64_t start = Now();
  for (int i = 0; i < count; ++i) {
    call();
  }
  return Micros(Now() - start, count);
}

bool WaitForTaskbar() {
  for (int i = 0; i < 600; ++i) {
    if (FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr) {
      return true;
    }
    Sleep(100);
  }
  return false;
}

}  // namespace

int main() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!WaitForTaskbar()) {
    std::printf("tray_error no taskbar\n");
    return 1;
  }
  SystemCacheControl cache;
  CSqueezeRam squeezer(kTrayTouchStride);
  TrayIconRenderer renderer;
  TrayMonitor tray(cache, squeezer, renderer);
  gTray = &tray;
  gRenderer = &renderer;

  const HWND emptyWindow = MakeWindow(instance, L"VelmoraBenchEmptyTick", &EmptyProc);
  tray.window = MakeWindow(instance, L"VelmoraBenchTrayTick", &TrayProc);
  if (emptyWindow == nullptr || tray.window == nullptr) {
    std::printf("tray_error no window\n");
    return 1;
  }
  tray.notifyMessage = RegisterWindowMessageW(L"Velmora.Bench.Notify");
  renderer.baseIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_BLANK));
  plat::MemoryStatus status{};
  plat::QueryMemoryStatus(status);
  renderer.totalMB = static_cast<int32_t>(status.totalPhys >> 20);
  renderer.ready = true;
  tray.NotifyIcon(NIM_ADD);

  // The record RefreshIcon sends, for timing the shell's part alone; the
  // modification also tells whether the icon was added.
  NOTIFYICONDATAW record{};
  record.cbSize = NOTIFYICONDATAW_V1_SIZE;
  record.hWnd = tray.window;
  record.uID = 1;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = tray.notifyMessage;
  record.hIcon = tray.CurrentIcon();
  lstrcpynW(record.szTip, kTrayWindowTitle, 64);
  if (record.hIcon == nullptr || !Shell_NotifyIconW(NIM_MODIFY, &record)) {
    std::printf("tray_error the icon could not be added to the taskbar\n");
    return 1;
  }
  const auto value = static_cast<int32_t>(status.availPhys >> 20);

  // Warm up every path once.
  Ticks(emptyWindow, 50);
  gRefresh = Refresh::Full;
  Ticks(tray.window, 10);
  gRefresh = Refresh::Cached;
  Ticks(tray.window, 50);

  double empty[kRuns];
  double cached[kRuns];
  double full[kRuns];
  double probe[kRuns];
  double memory[kRuns];
  double icon[kRuns];
  double notify[kRuns];
  uint64_t cachedAllocations = 0;
  for (int run = 0; run < kRuns; ++run) {
    empty[run] = Ticks(emptyWindow, kTicksPerRun);
    gRefresh = Refresh::Cached;
    gAllocations = 0;
    gCounting = true;
    cached[run] = Ticks(tray.window, kTicksPerRun);
    gCounting = false;
    cachedAllocations += gAllocations.load();
    gRefresh = Refresh::Full;
    full[run] = Ticks(tray.window, kFullTicksPerRun);
    gRefresh = Refresh::Cached;
    Ticks(tray.window, 1);  // back to a cached icon for the parts
    std::printf("tray_run %d %.3f %.3f %.3f\n", run, empty[run], cached[run], full[run]);

    probe[run] = Calls([] {
      const SqueezeMutex probeMutex;
      gSink = probeMutex.creationError();
    });
    memory[run] = Calls([] {
      plat::MemoryStatus reading{};
      plat::QueryMemoryStatus(reading);
      gSink = reading.availPhys;
    });
    icon[run] =
        Calls([&renderer, value] { gSink = reinterpret_cast<uintptr_t>(renderer.IconFor(value)); });
    record.hIcon = renderer.IconFor(value);
    notify[run] =
        Calls([&record] { gSink = Shell_NotifyIconW(NIM_MODIFY, &record); }, kNotifyCallsPerRun);
  }
  // The platform keeps a memory status for up to a second: the calls above
  // mostly got the kept one. A fresh one, as every fifth 201 ms tick gets it:
  double fresh[kRuns];
  for (double& figure : fresh) {
    Sleep(1100);
    figure = Calls(
        [] {
          plat::MemoryStatus reading{};
          plat::QueryMemoryStatus(reading);
          gSink = reading.availPhys;
        },
        1);
  }
  tray.NotifyIcon(NIM_DELETE);
  DestroyWindow(tray.window);
  DestroyWindow(emptyWindow);

  std::printf("tray_value_mb %d\n", value);
  std::printf("tray_runs %d\n", kRuns);
  std::printf("tray_empty_tick_us %.3f\n", Median(empty));
  std::printf("tray_cached_tick_us %.3f\n", Median(cached));
  std::printf("tray_full_tick_us %.3f\n", Median(full));
  std::printf("tray_part_mutex_probe_us %.3f\n", Median(probe));
  std::printf("tray_part_memory_status_us %.3f\n", Median(memory));
  std::printf("tray_part_memory_status_fresh_us %.3f\n", Median(fresh));
  std::printf("tray_part_cached_icon_us %.3f\n", Median(icon));
  std::printf("tray_part_notify_modify_us %.3f\n", Median(notify));
  std::printf("tray_cached_ticks %d\n", kRuns * kTicksPerRun);
  std::printf("tray_cached_allocations %llu\n", static_cast<unsigned long long>(cachedAllocations));
  std::fflush(stdout);
  return 0;
}
