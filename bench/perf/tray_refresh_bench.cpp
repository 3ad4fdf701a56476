// What velmon's timer tick costs under Wine, beside the platform calls it makes.
//
// Three plain windows of this program get WM_TIMER messages, each posted,
// fetched with GetMessageW and dispatched, one at a time. The first window's
// handler does nothing. The second's runs TrayMonitor::RefreshIcon for a tray
// icon added to the taskbar of the Wine desktop, as velmon's timer does. The
// third's is the floor of a refresh: it makes the platform calls a refresh
// makes and nothing else - the squeeze mutex created and closed again, the
// memory status, the icon's record sent with NIM_MODIFY to the same icon in
// the same desktop. A cached refresh finds the available memory unchanged (the
// memory figures are pinned for this process by the caller), so the renderer
// gives its cached icon; a full refresh finds a new value and draws (before
// each, the cached icon is dropped, which destroys it as a new value would).
// The floor and the cached refresh take turns tick by tick, each first in every
// other pair, so that both meet the same state of the shell. Also timed alone:
// the parts of a cached refresh. Microseconds per tick or call, in several
// runs: one "tray_run" line a run (run, empty, floor, cached, cached above
// floor, full), then the medians.
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
#include "platform/handles.h"
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
NOTIFYICONDATAW* gFloorRecord = nullptr;
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

// The floor's tick: the platform calls of a cached refresh, with the record
// RefreshIcon sends.
LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    {
      const plat::UniqueObject probe(plat::CreateNamedMutexW(true, kSqueezeMutexName));
      gSink = plat::LastError();
    }
    plat::MemoryStatus status{};
    plat::QueryMemoryStatus(status);
    gSink = status.availPhys;
    Shell_NotifyIconW(NIM_MODIFY, gFloorRecord);
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

// One timer tick posted to `window`, fetched and dispatched.
void Tick(HWND window) {
  PostMessageW(window, WM_TIMER, kTimerId, 0);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchMessageW(&message);
    if (message.message == WM_TIMER && message.hwnd == window) {
      break;
    }
  }
}

// Microseconds per timer tick dispatched to `window`.
double Ticks(HWND window, int count) {
  const int64_t start = Now();
  for (int i = 0; i < count; ++i) {
    Tick(window);
  }
  return Micros(Now() - start, count);
}

// The floor and the cached refresh, kTicksPerRun ticks each, taking turns.
struct PairedRun {
  double floorUs;   // per tick, mean
  double cachedUs;  // per tick, mean
  double aboveUs;   // the cached refresh's time above the floor's, per tick
};

// The median of `count` figures (reordered).
int64_t MedianOf(int64_t* figures, int count) {
  std::nth_element(figures, figures + count / 2, figures + count);
  return figures[count / 2];
}

// The pairs' differences, cached minus floor, in ticks of the counter: those of
// each order, floor second [0] and floor first [1], of every run.
constexpr int kPairsPerOrder = kTicksPerRun / 2;
int64_t gAbove[2][kRuns * kPairsPerOrder];

// The time above from the differences of `count` pairs of each order, in us.
double AboveUs(int64_t* floorSecond, int64_t* floorFirst, int count) {
  return Micros((MedianOf(floorSecond, count) + MedianOf(floorFirst, count)) / 2, 1);
}

// The pairs are measured tick by tick, each kind first in every other pair. The
// time above is the median of the pairs' differences, taken for each order
// alone and averaged. Most of either tick is the shell's handling of the
// NIM_MODIFY (milliseconds, and varying with the machine's load by more than
// the refresh's own work): neighbouring ticks meet the same load, the median
// keeps the pairs that one disturbance hit from weighing in, and the two
// orders take out what a tick leaves to the next. The differences are kept for
// the median over all runs. C++ allocations are counted in the refreshes only.
PairedRun FloorAndCachedTicks(HWND floorWindow, HWND trayWindow, int run) {
  int64_t* const above[2] = {gAbove[0] + run * kPairsPerOrder, gAbove[1] + run * kPairsPerOrder};
  int64_t floorTicks = 0;
  int64_t cachedTicks = 0;
  for (int i = 0; i < kTicksPerRun; ++i) {
    const int floorFirst = i % 2;
    int64_t pair[2] = {0, 0};  // floor, cached
    for (int turn = 0; turn < 2; ++turn) {
      const bool floorTurn = (turn == 0) == (floorFirst == 1);
      gCounting = !floorTurn;
      const int64_t start = Now();
      Tick(floorTurn ? floorWindow : trayWindow);
      pair[floorTurn ? 0 : 1] = Now() - start;
    }
    gCounting = false;
    floorTicks += pair[0];
    cachedTicks += pair[1];
    above[floorFirst][i / 2] = pair[1] - pair[0];
  }
  return {Micros(floorTicks, kTicksPerRun), Micros(cachedTicks, kTicksPerRun),
          AboveUs(above[0], above[1], kPairsPerOrder)};
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
  const HWND floorWindow = MakeWindow(instance, L"VelmoraBenchFloorTick", &FloorProc);
  tray.window = MakeWindow(instance, L"VelmoraBenchTrayTick", &TrayProc);
  if (emptyWindow == nullptr || floorWindow == nullptr || tray.window == nullptr) {
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

  // The record RefreshIcon sends, for the floor and for timing the shell's part
  // alone; the modification also tells whether the icon was added.
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
  gFloorRecord = &record;

  // Warm up every path once.
  Ticks(emptyWindow, 50);
  Ticks(floorWindow, 50);
  gRefresh = Refresh::Full;
  Ticks(tray.window, 10);
  gRefresh = Refresh::Cached;
  Ticks(tray.window, 50);

  double empty[kRuns];
  double floorTick[kRuns];
  double cached[kRuns];
  double above[kRuns];
  double full[kRuns];
  double probe[kRuns];
  double memory[kRuns];
  double icon[kRuns];
  double notify[kRuns];
  uint64_t cachedAllocations = 0;
  for (int run = 0; run < kRuns; ++run) {
    empty[run] = Ticks(emptyWindow, kTicksPerRun);
    gRefresh = Refresh::Cached;
    // The icon a cached refresh sends: the one drawn last for this value.
    record.hIcon = renderer.IconFor(value);
    gAllocations = 0;
    const PairedRun paired = FloorAndCachedTicks(floorWindow, tray.window, run);
    floorTick[run] = paired.floorUs;
    cached[run] = paired.cachedUs;
    above[run] = paired.aboveUs;
    cachedAllocations += gAllocations.load();
    gRefresh = Refresh::Full;
    full[run] = Ticks(tray.window, kFullTicksPerRun);
    gRefresh = Refresh::Cached;
    Ticks(tray.window, 1);  // back to a cached icon for the parts
    std::printf("tray_run %d %.3f %.3f %.3f %.3f %.3f\n", run, empty[run], floorTick[run],
                cached[run], above[run], full[run]);

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
  DestroyWindow(floorWindow);
  DestroyWindow(emptyWindow);

  std::printf("tray_value_mb %d\n", value);
  std::printf("tray_runs %d\n", kRuns);
  std::printf("tray_empty_tick_us %.3f\n", Median(empty));
  std::printf("tray_floor_tick_us %.3f\n", Median(floorTick));
  std::printf("tray_cached_tick_us %.3f\n", Median(cached));
  // Over all runs' pairs: the figure the budget is checked against.
  std::printf("tray_cached_above_floor_us %.3f\n",
              AboveUs(gAbove[0], gAbove[1], kRuns * kPairsPerOrder));
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
