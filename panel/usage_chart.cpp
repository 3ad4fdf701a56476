#include "panel/usage_chart.h"

#include <algorithm>

namespace {

uint32_t Clamp32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
}

}  // namespace

UsageSample SampleOf(const PanelStatus& status) {
  UsageSample sample;
  sample.availMB = Clamp32(status.availPhysBytes >> 20);
  sample.cacheMB = status.cacheCurrentKB >> 10;
  sample.cacheMinimumMB = status.cacheMinimumKB >> 10;
  sample.cacheMaximumMB = status.cacheMaximumKB >> 10;
  sample.cacheReported =
      status.cacheRead &&
      (status.cacheCurrentKB != 0 || status.cacheMinimumKB != 0 || status.cacheMaximumKB != 0);
  sample.squeezing = status.squeezing;
  return sample;
}

void UsageHistory::Add(const UsageSample& sample) {
  samples_[next_] = sample;
  next_ = (next_ + 1) % kChartSamples;
  count_ = std::min(count_ + 1, kChartSamples);
}

const UsageSample& UsageHistory::Newest(size_t age) const {
  return samples_[(next_ + kChartSamples - 1 - age % kChartSamples) % kChartSamples];
}

bool UsageHistory::CacheReported() const {
  for (size_t age = 0; age < count_; ++age) {
    if (Newest(age).cacheReported) {
      return true;
    }
  }
  return false;
}

size_t UsageHistory::SqueezeCount() const {
  size_t runs = 0;
  for (size_t age = 0; age < count_; ++age) {
    const bool newer = age > 0 && Newest(age - 1).squeezing;
    runs += Newest(age).squeezing && !newer ? 1 : 0;
  }
  return runs;
}

FixedText SqueezeLine(const UsageHistory& history) {
  FixedText line;
  line.Append(L"Squeezes in the last 10 minutes: ");
  const size_t squeezes = history.SqueezeCount();
  if (squeezes == 0) {
    line.Append(L"none");
    return line;
  }
  line.AppendNumber(squeezes);
  if (history.Newest().squeezing) {
    line.Append(L" (one runs now)");
  }
  return line;
}

ChartScale ScaleFor(uint64_t totalMB) {
  ChartScale scale;
  scale.topMB = std::max<uint32_t>(1, Clamp32(totalMB));
  // The smallest of 1, 2, 5, 10, 20, 50, ... that leaves at most five lines.
  for (uint64_t power = 1;; power *= 10) {
    for (uint64_t factor : {1, 2, 5}) {
      if (scale.topMB / (factor * power) <= 5) {
        scale.stepMB = Clamp32(factor * power);
        return scale;
      }
    }
  }
}

int PlotX(const PlotArea& area, size_t age) {
  const int64_t width = area.right - 1 - area.left;
  return area.right - 1 -
         static_cast<int>(static_cast<int64_t>(std::min(age, kChartSamples - 1)) * width /
                          static_cast<int64_t>(kChartSamples - 1));
}

int PlotY(const PlotArea& area, const ChartScale& scale, uint64_t mb) {
  const uint64_t height = static_cast<uint64_t>(area.bottom - 1 - area.top);
  const uint64_t clipped = std::min<uint64_t>(mb, scale.topMB);
  return area.bottom - 1 - static_cast<int>(clipped * height / scale.topMB);
}

void ChartPlot::Compute(const UsageHistory& history, const ChartScale& scale,
                        const PlotArea& area) {
  points = history.count();
  cacheShown = history.CacheReported();
  marks = 0;
  for (size_t i = 0; i < points; ++i) {
    const size_t age = points - 1 - i;
    const UsageSample& sample = history.Newest(age);
    const int x = PlotX(area, age);
    const int next = age > 0 ? PlotX(area, age - 1) : x + 1;
    avail[i] = {x, PlotY(area, scale, sample.availMB)};
    cache[i] = {x, PlotY(area, scale, sample.cacheMB)};
    band[i] = {x, PlotY(area, scale, sample.cacheMaximumMB), std::max(next, x + 1),
               PlotY(area, scale, sample.cacheMinimumMB) + 1};
    if (sample.squeezing) {
      const bool continues = i > 0 && history.Newest(age + 1).squeezing;
      if (!continues) {
        mark[marks++] = {x, area.top, x + 1, area.bottom};
      }
      mark[marks - 1].right = std::max(next, x + 1);
    }
  }
}
