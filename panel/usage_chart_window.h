// UsageChartWindow: the usage chart of the last ten minutes as a child
// window. Each drawing is made with GDI into a bitmap of the window's size
// and copied to the screen at once; the bitmap, pens and brushes are made
// when the size or the DPI changes, never per sample.
#pragma once

#include <windows.h>

#include "panel/fixed_text.h"
#include "panel/usage_chart.h"
#include "platform/win32/gdi_handles.h"

class UsageChartWindow {
 public:
  UsageChartWindow() = default;
  ~UsageChartWindow();
  UsageChartWindow(const UsageChartWindow&) = delete;
  UsageChartWindow& operator=(const UsageChartWindow&) = delete;

  // Makes the window, drawing `history`; null on failure.
  HWND Create(HWND parent, int id, const UsageHistory& history);
  HWND window() const { return window_; }

  // The font of its labels and the DPI its lines are drawn for.
  void SetDpi(int dpi, HFONT font);

  // A sample was added: the chart is drawn again, on a memory axis for
  // `totalMB`, and its text (what a screen reader reads) follows the newest figures.
  void Update(uint64_t totalMB);

  // Where the last drawing put the plot, in the window's client coordinates, and its scale.
  const PlotArea& plotArea() const { return area_; }
  const ChartScale& scale() const { return scale_; }

  // The height it needs at its DPI.
  int PreferredHeight() const;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint(HDC target);
  void Draw(HDC dc, const RECT& client);
  void MakeTools();

  HWND window_ = nullptr;
  const UsageHistory* history_ = nullptr;
  int dpi_ = 96;
  HFONT font_ = nullptr;
  ChartScale scale_;
  PlotArea area_;
  ChartPlot plot_;
  FixedText text_;

  // The drawing's bitmap, kept for the window's size.
  // Declared so that the bitmap leaves the context before either goes.
  gdi::MemoryDC memory_;
  gdi::Object<HBITMAP> bitmap_;
  gdi::Selection bitmapSelection_;
  SIZE bitmapSize_{};

  gdi::Object<HPEN> availPen_;
  gdi::Object<HPEN> cachePen_;
  gdi::Object<HPEN> gridPen_;
  gdi::Object<HBRUSH> availBrush_;
  gdi::Object<HBRUSH> cacheBrush_;
  gdi::Object<HBRUSH> bandBrush_;
  gdi::Object<HBRUSH> markBrush_;
  gdi::Object<HBRUSH> backBrush_;
};

// The colours of the series, as a test finds them in a screenshot.
inline constexpr COLORREF kAvailColor = RGB(0, 90, 200);
inline constexpr COLORREF kCacheColor = RGB(0, 130, 60);
inline constexpr COLORREF kBandColor = RGB(200, 235, 205);
inline constexpr COLORREF kMarkColor = RGB(255, 205, 130);
