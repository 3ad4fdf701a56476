// The control panel's chart of the last ten minutes, as data: the samples in a
// ring of fixed size (one a second), the scale of the memory axis, and the
// chart's geometry in pixels - the available memory, the file cache with its
// limits as a band, and marks where a squeeze ran. Nothing here allocates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "panel/fixed_text.h"
#include "panel/panel_status.h"

// Ten minutes at one sample a second.
inline constexpr size_t kChartSamples = 600;

struct UsageSample {
  uint32_t availMB = 0;
  uint32_t cacheMB = 0;
  uint32_t cacheMinimumMB = 0;
  uint32_t cacheMaximumMB = 0;
  bool cacheReported = false;  // the query succeeded and gave some figure
  bool squeezing = false;      // the squeeze mutex was seen held
};

// One second's figures, in MB.
UsageSample SampleOf(const PanelStatus& status);

// The last kChartSamples samples; a new one takes the oldest one's place.
class UsageHistory {
 public:
  void Add(const UsageSample& sample);

  size_t count() const { return count_; }
  // The sample `age` seconds before the newest (0: the newest); age < count().
  const UsageSample& Newest(size_t age = 0) const;
  // Whether any sample held has file-cache figures.
  bool CacheReported() const;
  // The squeezes seen: runs of samples with the squeeze mutex held.
  size_t SqueezeCount() const;

 private:
  std::array<UsageSample, kChartSamples> samples_{};
  size_t next_ = 0;
  size_t count_ = 0;
};

// The line beside the chart on the squeezes seen.
FixedText SqueezeLine(const UsageHistory& history);

// The memory axis: 0 to topMB (all of physical memory), with grid lines at
// every stepMB below the top (1, 2 or 5 times a power of ten, at most five).
struct ChartScale {
  uint32_t topMB = 1;
  uint32_t stepMB = 1;
};
ChartScale ScaleFor(uint64_t totalMB);

// The plotting rectangle in pixels; right and bottom are outside it.
struct PlotArea {
  int left = 0;
  int top = 0;
  int right = 1;
  int bottom = 1;
};

// The column of the sample `age` seconds old: the newest at the right edge,
// the oldest the ring can hold at the left.
int PlotX(const PlotArea& area, size_t age);
// The row of an amount in MB; amounts above the top are drawn at the top.
int PlotY(const PlotArea& area, const ChartScale& scale, uint64_t mb);

struct PlotPoint {
  int x;
  int y;
};
struct PlotSpan {
  int left;
  int top;
  int right;
  int bottom;
};

// Where everything goes, the oldest sample first; filled again for each
// drawing, in place.
struct ChartPlot {
  size_t points = 0;
  std::array<PlotPoint, kChartSamples> avail{};
  std::array<PlotPoint, kChartSamples> cache{};
  std::array<PlotSpan, kChartSamples> band{};  // from the maximum down to the minimum
  bool cacheShown = false;                     // false: say that the cache is not reported
  size_t marks = 0;
  std::array<PlotSpan, kChartSamples / 2 + 1> mark{};  // one for each squeeze, full height

  void Compute(const UsageHistory& history, const ChartScale& scale, const PlotArea& area);
};
