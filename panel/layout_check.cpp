#include "panel/layout_check.h"

#include <cstdio>
#include <memory>
#include <string>

#include "panel/dpi_calls.h"
#include "platform/handles.h"
#include "platform/win32/gdi_handles.h"

namespace {

struct Check {
  std::string report;
  int problems = 0;
  int dpi = 96;
};

void Line(Check& check, const char* format, long a, long b = 0, long c = 0, long d = 0, long e = 0,
          long f = 0) {
  char line[160];
  std::snprintf(line, sizeof line, format, a, b, c, d, e, f);
  check.report += line;
  check.report += '\n';
}

// Whether the text drawn in `control` fits its client rectangle: a static
// that wraps must hold every line the text breaks into, and none of its
// words may be wider than it; any other text must fit on its one line.
BOOL CALLBACK CheckControl(HWND control, LPARAM lParam) {
  auto& check = *reinterpret_cast<Check*>(lParam);
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  wchar_t text[1024] = {};
  const int length = GetWindowTextW(control, text, 1024);
  if (!IsWindowVisible(control) || length == 0 ||
      (_wcsicmp(className, L"Static") != 0 && _wcsicmp(className, L"Button") != 0)) {
    return TRUE;
  }
  RECT client{};
  GetClientRect(control, &client);
  const gdi::WindowDC controlDC(control);
  HDC const dc = controlDC.get();
  gdi::Selection font;
  font.Select(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  const bool isStatic = _wcsicmp(className, L"Static") == 0;
  const bool wraps = isStatic && (style & SS_TYPEMASK) == SS_LEFT;
  // What a button's frame or a check box's box takes from the width.
  int room = client.right;
  if (!isStatic) {
    const LONG type = style & BS_TYPEMASK;
    room -= type == BS_AUTOCHECKBOX || type == BS_CHECKBOX
                ? MetricForDpi(SM_CXMENUCHECK, check.dpi) + Scale(4, check.dpi)
                : Scale(8, check.dpi);
  }
  SIZE whole{};
  GetTextExtentPoint32W(dc, text, length, &whole);
  int needWidth = whole.cx;
  int needHeight = whole.cy;
  if (wraps) {
    // The widest word, and the height of the text broken as the static breaks it.
    needWidth = 0;
    for (int start = 0; start < length;) {
      int end = start;
      while (end < length && text[end] != L' ') {
        ++end;
      }
      SIZE word{};
      GetTextExtentPoint32W(dc, text + start, end - start, &word);
      needWidth = word.cx > needWidth ? word.cx : needWidth;
      start = end + 1;
    }
    RECT broken{0, 0, client.right, 0};
    DrawTextW(dc, text, length, &broken,
              DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    needHeight = broken.bottom;
  }
  const bool fits = needWidth <= room && needHeight <= client.bottom;
  check.problems += fits ? 0 : 1;
  Line(check, fits ? "text %ld fits %ldx%ld in %ldx%ld" : "text %ld CUT %ldx%ld in %ldx%ld",
       GetDlgCtrlID(control), needWidth, needHeight, room, client.bottom);
  return TRUE;
}

}  // namespace

int WriteLayoutReport(HWND dialog, const wchar_t* path, UsageChartWindow& chart,
                      const UsageHistory& history, int dpi) {
  Check check;
  check.dpi = dpi;
  Line(check, "dpi %ld", dpi);
  EnumChildWindows(dialog, CheckControl, reinterpret_cast<LPARAM>(&check));
  // The plot in screen coordinates, as a screenshot of the desktop shows it.
  const PlotArea& area = chart.plotArea();
  POINT corners[2] = {{area.left, area.top}, {area.right, area.bottom}};
  MapWindowPoints(chart.window(), nullptr, corners, 2);
  Line(check, "chart-plot %ld %ld %ld %ld", corners[0].x, corners[0].y, corners[1].x, corners[1].y);
  Line(check, "chart-top-mb %ld", static_cast<long>(chart.scale().topMB));
  Line(check, "chart-samples %ld", static_cast<long>(history.count()));
  Line(check, "chart-newest-mb %ld",
       history.count() > 0 ? static_cast<long>(history.Newest().availMB) : -1L);
  Line(check, "problems %ld", check.problems);
  const std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path, L"wb"), &std::fclose);
  if (!file) {
    return -1;
  }
  const bool written =
      std::fwrite(check.report.data(), 1, check.report.size(), file.get()) == check.report.size();
  return written ? check.problems : -1;
}
