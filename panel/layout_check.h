// The panel's check of its own layout, for its test under Wine (answered
// only when velpanel runs with the hidden "test-report FILE" parameter): every
// visible static's and button's text measured with the font it is drawn in,
// against the rectangle it has, and the chart's plot where a screenshot finds it.
#pragma once

#include <windows.h>

#include "panel/usage_chart.h"
#include "panel/usage_chart_window.h"

// Writes the report to `path` (UTF-8 lines) and returns the number of texts
// that do not fit; -1 when the file cannot be written.
int WriteLayoutReport(HWND dialog, const wchar_t* path, UsageChartWindow& chart,
                      const UsageHistory& history, int dpi);
