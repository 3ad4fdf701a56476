// A second of the open panel allocates nothing: reading the machine, adding
// the sample, laying out the chart and formatting the lines beside it.
#include <gtest/gtest.h>

#include "common/system_cache_control.h"
#include "panel/usage_chart.h"
#include "tests/support/allocation_counter.h"
#include "tests/unit/sim_fixture.h"

namespace {

class UsageChartAllocationTest : public SimTest {};

TEST_F(UsageChartAllocationTest, SamplingAndPlottingAllocateNothing) {
  // The simulated machine's own records grow: room for the service's opens is
  // made first, and its record of the squeeze mutex is made by a first second.
  InstalledService(L"C:\\Velmora\\velsvc.exe", plat::kServiceRunning).opens.reserve(4096);
  SetMemory(1024 * kMB, 400 * kMB, 60);
  machine().fileCache.currentSize = 300 * kMB;
  machine().recording = false;
  SystemCacheControl cache;
  UsageHistory history;
  ChartPlot plot;
  size_t text = 0;
  history.Add(SampleOf(ReadPanelStatus(cache)));

  gCounting = true;
  for (int second = 0; second < 2000; ++second) {
    const PanelStatus status = ReadPanelStatus(cache);
    history.Add(SampleOf(status));
    plot.Compute(history, ScaleFor(status.totalPhysBytes >> 20), PlotArea{0, 0, 320, 160});
    text += ServiceLine(status).size() + CacheLine(status).size() + MemoryLine(status).size();
  }
  gCounting = false;

  EXPECT_EQ(gAllocations.load(), 0u);
  EXPECT_EQ(plot.points, kChartSamples);
  EXPECT_GT(text, 0u);
}

}  // namespace
