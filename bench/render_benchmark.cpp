// What the tray's memory icon costs: a full render (IconFor with a value that
// changes on every call, so that each call destroys the previous icon and draws
// a new one) and a cached call (the same value again, one comparison), in
// microseconds per call, the median of several runs. Run under Wine on a
// virtual display by tests/wine/xvfb-run.sh. A measurement only: nothing is
// asserted about the times.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tray/tray_icon_renderer.h"

namespace {

constexpr int kRuns = 9;
constexpr int kRendersPerRun = 400;
constexpr int kCachedCallsPerRun = 2000000;

HICON volatile g_sink = nullptr;

int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double MicrosPerCall(int64_t ticks, int calls) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency.QuadPart) / calls;
}

double Median(std::vector<double> figures) {
  std::sort(figures.begin(), figures.end());
  return figures[figures.size() / 2];
}

// Each call alternates between two values of the same width, so each draws.
double FullRender(TrayIconRenderer& renderer, int32_t value) {
  std::vector<double> runs;
  for (int run = 0; run < kRuns; ++run) {
    const int64_t start = Ticks();
    for (int i = 0; i < kRendersPerRun; ++i) {
      g_sink = renderer.IconFor(value + (i & 1));
    }
    runs.push_back(MicrosPerCall(Ticks() - start, kRendersPerRun));
  }
  return Median(runs);
}

double CachedCall(TrayIconRenderer& renderer, int32_t value) {
  g_sink = renderer.IconFor(value);
  std::vector<double> runs;
  for (int run = 0; run < kRuns; ++run) {
    const int64_t start = Ticks();
    for (int i = 0; i < kCachedCallsPerRun; ++i) {
      g_sink = renderer.IconFor(value);
    }
    runs.push_back(MicrosPerCall(Ticks() - start, kCachedCallsPerRun));
  }
  return Median(runs);
}

// Like the tray's base icon: 16 by 16 and wholly transparent.
HICON MakeTransparentIcon() {
  BYTE andMask[32];
  BYTE colourBits[32];
  std::memset(andMask, 0xFF, sizeof andMask);
  std::memset(colourBits, 0, sizeof colourBits);
  return CreateIcon(nullptr, 16, 16, 1, 1, andMask, colourBits);
}

}  // namespace

int main() {
  TrayIconRenderer renderer;
  renderer.baseIcon = MakeTransparentIcon();
  renderer.ready = true;
  // The first render loads the font; it is not measured.
  if (renderer.baseIcon == nullptr || renderer.IconFor(1) == nullptr) {
    std::printf("render_benchmark: no icon could be drawn (is there a display?)\n");
    return 1;
  }
  std::printf("render_benchmark: total %d MB; median of %d runs, microseconds per call\n",
              renderer.totalMB, kRuns);
  std::printf("  full render, 4 digits (4000):   %10.3f us  (%d calls a run)\n",
              FullRender(renderer, 4000), kRendersPerRun);
  std::printf("  full render, 3 digits (400):    %10.3f us\n", FullRender(renderer, 400));
  std::printf("  full render, 2 digits (40):     %10.3f us\n", FullRender(renderer, 40));
  std::printf("  cached call (same value):       %10.3f us  (%d calls a run)\n",
              CachedCall(renderer, 4000), kCachedCallsPerRun);
  std::fflush(stdout);
  return 0;
}
