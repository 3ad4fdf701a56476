// The usage chart's data: the ring of samples, the memory axis, where each
// series and mark is drawn, and the sampling on the simulated machine.
#include <gtest/gtest.h>

#include "common/shared_names.h"
#include "common/system_cache_control.h"
#include "panel/usage_chart.h"
#include "sim_fixture.h"

namespace {

UsageSample Avail(uint32_t mb, bool squeezing = false) {
  UsageSample sample;
  sample.availMB = mb;
  sample.squeezing = squeezing;
  return sample;
}

TEST(UsageHistory, KeepsTheLastSixHundredSamplesNewestFirst) {
  UsageHistory history;
  EXPECT_EQ(history.count(), 0u);
  for (uint32_t i = 1; i <= 1000; ++i) {
    history.Add(Avail(i));
  }
  EXPECT_EQ(history.count(), kChartSamples);
  EXPECT_EQ(history.Newest().availMB, 1000u);
  EXPECT_EQ(history.Newest(599).availMB, 401u);
}

TEST(ChartScale, TopIsAllOfMemoryWithAtMostFiveRoundGridLines) {
  const std::pair<uint64_t, ChartScale> cases[] = {{0, {1, 1}},
                                                   {5, {5, 1}},
                                                   {1024, {1024, 200}},
                                                   {24105, {24105, 5000}},
                                                   {32768, {32768, 10000}},
                                                   {uint64_t{1} << 40, {UINT32_MAX, 1000000000}}};
  for (const auto& [totalMB, scale] : cases) {
    EXPECT_EQ(ScaleFor(totalMB).topMB, scale.topMB) << totalMB;
    EXPECT_EQ(ScaleFor(totalMB).stepMB, scale.stepMB) << totalMB;
  }
}

TEST(ChartPlot, SeriesBandAndMarksLandOnTheirPixels) {
  // A plot of 600 x 101 pixels from (10, 20): one column a sample, one row 10 MB.
  const PlotArea area{10, 20, 610, 121};
  const ChartScale scale{1000, 200};
  EXPECT_EQ(PlotX(area, 0), 609);
  EXPECT_EQ(PlotX(area, 599), 10);
  EXPECT_EQ(PlotY(area, scale, 0), 120);
  EXPECT_EQ(PlotY(area, scale, 400), 80);
  EXPECT_EQ(PlotY(area, scale, 1000), 20);
  EXPECT_EQ(PlotY(area, scale, 4294967292), 20);  // a 4 TB cache limit stays inside

  UsageHistory history;
  UsageSample sample = Avail(400);
  sample.cacheMB = 100;
  sample.cacheMinimumMB = 50;
  sample.cacheMaximumMB = 4194303;
  sample.cacheReported = true;
  history.Add(sample);
  history.Add(Avail(600, true));
  history.Add(Avail(500, true));
  history.Add(Avail(500));
  history.Add(Avail(300, true));
  ChartPlot plot;
  plot.Compute(history, scale, area);
  ASSERT_EQ(plot.points, 5u);
  EXPECT_EQ(plot.avail[0].x, 605);  // the oldest, four seconds old
  EXPECT_EQ(plot.avail[0].y, 80);
  EXPECT_EQ(plot.avail[4].x, 609);
  EXPECT_EQ(plot.avail[4].y, 90);
  EXPECT_EQ(plot.cache[0].y, 110);
  EXPECT_EQ((std::array<int, 4>{plot.band[0].left, plot.band[0].top, plot.band[0].right,
                                plot.band[0].bottom}),
            (std::array<int, 4>{605, 20, 606, 116}));
  EXPECT_TRUE(plot.cacheShown);
  // Two squeezes: seconds 3 and 2 ago, and the newest.
  ASSERT_EQ(plot.marks, 2u);
  EXPECT_EQ(plot.mark[0].left, 606);
  EXPECT_EQ(plot.mark[0].right, 608);
  EXPECT_EQ(plot.mark[1].left, 609);
  EXPECT_EQ(plot.mark[1].right, 610);
  EXPECT_EQ(history.SqueezeCount(), 2u);
  EXPECT_EQ(SqueezeLine(history).view(), L"Squeezes in the last 10 minutes: 2 (one runs now)");
  EXPECT_EQ(SqueezeLine(UsageHistory{}).view(), L"Squeezes in the last 10 minutes: none");
}

TEST(ChartPlot, ACacheThatReportsOnlyZerosIsNotDrawn) {
  UsageHistory history;
  PanelStatus status;
  status.cacheRead = true;  // succeeded, with nothing in it
  status.availPhysBytes = 400 * kMB;
  history.Add(SampleOf(status));
  ChartPlot plot;
  plot.Compute(history, ScaleFor(1024), PlotArea{0, 0, 100, 100});
  EXPECT_FALSE(plot.cacheShown);
  status.cacheCurrentKB = 1024;
  history.Add(SampleOf(status));
  plot.Compute(history, ScaleFor(1024), PlotArea{0, 0, 100, 100});
  EXPECT_TRUE(plot.cacheShown);
}

class UsageSamplingTest : public SimTest {};

TEST_F(UsageSamplingTest, ASqueezeAnywhereIsSeenAndTheProbeIsClosedAtOnce) {
  SetMemory(1024 * kMB, 400 * kMB, 60);
  machine().fileCache.currentSize = 300 * kMB;
  SystemCacheControl cache;
  UsageSample sample = SampleOf(ReadPanelStatus(cache));
  EXPECT_FALSE(sample.squeezing);
  EXPECT_EQ(sample.availMB, 400u);
  EXPECT_EQ(sample.cacheMB, 300u);
  EXPECT_EQ(machine().MutexHolders(kSqueezeMutexName), 0u);

  machine().HoldMutex(kSqueezeMutexName, true, 0);  // the service squeezes, in session 0
  sample = SampleOf(ReadPanelStatus(cache));
  EXPECT_TRUE(sample.squeezing);
  EXPECT_EQ(machine().MutexHolders(kSqueezeMutexName), 1u);
  EXPECT_EQ(machine().openHandles, 0);
}

}  // namespace
