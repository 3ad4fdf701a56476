#include "panel/usage_chart_window.h"

#include "panel/dpi_calls.h"

static_assert(sizeof(PlotPoint) == sizeof(POINT), "the plot's points are drawn as they are");

namespace {

constexpr wchar_t kClassName[] = L"VelmoraUsageChart";
constexpr COLORREF kBackColor = RGB(255, 255, 255);
constexpr COLORREF kGridColor = RGB(224, 224, 224);
constexpr COLORREF kTextColor = RGB(80, 80, 80);

int TextWidth(HDC dc, const FixedText& text) {
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

void Text(HDC dc, int x, int y, const FixedText& text) {
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

FixedText AxisLabel(uint64_t mb) {
  FixedText label;
  label.AppendNumber(mb).Append(L" MB");
  return label;
}

void Fill(HDC dc, const RECT& rect, HBRUSH brush) {
  FillRect(dc, &rect, brush);
}

}  // namespace

UsageChartWindow::~UsageChartWindow() = default;

HWND UsageChartWindow::Create(HWND parent, int id, const UsageHistory& history) {
  history_ = &history;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  if (!GetClassInfoW(instance, kClassName, &windowClass)) {
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
  }
  window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
  return window_;
}

void UsageChartWindow::SetDpi(int dpi, HFONT font) {
  dpi_ = dpi;
  font_ = font;
  MakeTools();
  if (window_ != nullptr) {
    InvalidateRect(window_, nullptr, FALSE);
  }
}

void UsageChartWindow::MakeTools() {
  availPen_.reset(CreatePen(PS_SOLID, Scale(2, dpi_), kAvailColor));
  cachePen_.reset(CreatePen(PS_SOLID, Scale(2, dpi_), kCacheColor));
  gridPen_.reset(CreatePen(PS_SOLID, 1, kGridColor));
  availBrush_.reset(CreateSolidBrush(kAvailColor));
  cacheBrush_.reset(CreateSolidBrush(kCacheColor));
  bandBrush_.reset(CreateSolidBrush(kBandColor));
  markBrush_.reset(CreateSolidBrush(kMarkColor));
  backBrush_.reset(CreateSolidBrush(kBackColor));
}

int UsageChartWindow::PreferredHeight() const {
  return Scale(150, dpi_);
}

void UsageChartWindow::Update(uint64_t totalMB) {
  scale_ = ScaleFor(totalMB);
  FixedText text;
  if (history_->count() > 0) {
    text.Append(L"Available memory ").AppendNumber(history_->Newest().availMB).Append(L" MB");
  }
  if (!history_->CacheReported()) {
    text.Append(L"; the file cache is not reported on this system");
  } else {
    text.Append(L"; file cache ").AppendNumber(history_->Newest().cacheMB).Append(L" MB");
  }
  if (!(text == text_)) {
    text_ = text;
    SetWindowTextW(window_, text_.c_str());
  }
  InvalidateRect(window_, nullptr, FALSE);
}

LRESULT CALLBACK UsageChartWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<UsageChartWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the drawing covers everything
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (self != nullptr) {
        self->Paint(dc);
      }
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void UsageChartWindow::Paint(HDC target) {
  RECT client{};
  GetClientRect(window_, &client);
  if (client.right <= 0 || client.bottom <= 0) {
    return;
  }
  if (!memory_ || bitmapSize_.cx != client.right || bitmapSize_.cy != client.bottom) {
    bitmapSelection_.Restore();
    bitmap_.reset();
    memory_.reset(CreateCompatibleDC(target));
    bitmap_.reset(CreateCompatibleBitmap(target, client.right, client.bottom));
    bitmapSelection_.Select(memory_.get(), bitmap_.get());
    bitmapSize_ = {client.right, client.bottom};
  }
  Draw(memory_.get(), client);
  BitBlt(target, 0, 0, client.right, client.bottom, memory_.get(), 0, 0, SRCCOPY);
}

void UsageChartWindow::Draw(HDC dc, const RECT& client) {
  Fill(dc, client, backBrush_.get());
  FrameRect(dc, &client, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  const HGDIOBJ oldFont = SelectObject(dc, font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kTextColor);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int line = metrics.tmHeight;
  const int pad = Scale(6, dpi_);
  const bool cacheShown = history_->CacheReported();

  // The legend's keys at the bottom, the time axis above them, the memory
  // axis's labels on the left.
  struct Key {
    const wchar_t* text;
    COLORREF color;
    HBRUSH brush;
    bool line;
  };
  const Key allKeys[] = {{L"Available memory", kAvailColor, availBrush_.get(), true},
                         {L"File cache", kCacheColor, cacheBrush_.get(), true},
                         {L"Its limits", kBandColor, bandBrush_.get(), false},
                         {L"Squeeze", kMarkColor, markBrush_.get(), false}};
  const int swatch = Scale(14, dpi_);
  int keysWidth = 0;
  for (const Key& key : allKeys) {
    const bool shown = cacheShown || (key.color != kCacheColor && key.color != kBandColor);
    if (shown) {
      FixedText text;
      text.Append(key.text);
      keysWidth += swatch + Scale(4, dpi_) + TextWidth(dc, text) + Scale(12, dpi_);
    }
  }
  FixedText unreported;
  if (!cacheShown) {
    // Said in place of a flat line at zero.
    unreported.Append(L"The file cache is not reported on this system.");
    keysWidth += TextWidth(dc, unreported);
  }
  const int legendLines = keysWidth > client.right - 2 * pad ? 2 : 1;
  const int legendTop = client.bottom - pad - legendLines * line;
  const int timeTop = legendTop - Scale(4, dpi_) - line;
  area_.left = pad + TextWidth(dc, AxisLabel(scale_.topMB)) + Scale(4, dpi_);
  area_.top = pad + line / 2;
  area_.right = client.right - pad;
  area_.bottom = timeTop - Scale(2, dpi_);
  if (area_.right - area_.left < 2 || area_.bottom - area_.top < 2) {
    SelectObject(dc, oldFont);
    return;
  }

  // Grid lines and their labels, 0 included.
  const HGDIOBJ oldPen = SelectObject(dc, gridPen_.get());
  for (uint64_t mb = 0; mb <= scale_.topMB; mb += scale_.stepMB) {
    const int y = PlotY(area_, scale_, mb);
    MoveToEx(dc, area_.left, y, nullptr);
    LineTo(dc, area_.right, y);
    const FixedText label = AxisLabel(mb);
    Text(dc, area_.left - Scale(4, dpi_) - TextWidth(dc, label), y - line / 2, label);
  }
  FixedText label;
  Text(dc, area_.left, timeTop, label.Append(L"10 min ago"));
  label.Clear();
  label.Append(L"5 min");
  Text(dc, (area_.left + area_.right - TextWidth(dc, label)) / 2, timeTop, label);
  label.Clear();
  label.Append(L"now");
  Text(dc, area_.right - TextWidth(dc, label), timeTop, label);

  plot_.Compute(*history_, scale_, area_);
  for (size_t i = 0; i < plot_.marks; ++i) {
    const PlotSpan& mark = plot_.mark[i];
    Fill(dc, RECT{mark.left, mark.top, mark.right, mark.bottom}, markBrush_.get());
  }
  if (plot_.cacheShown) {
    for (size_t i = 0; i < plot_.points; ++i) {
      const PlotSpan& band = plot_.band[i];
      Fill(dc, RECT{band.left, band.top, band.right, band.bottom}, bandBrush_.get());
    }
    SelectObject(dc, cachePen_.get());
    Polyline(dc, reinterpret_cast<const POINT*>(plot_.cache.data()),
             static_cast<int>(plot_.points));
  }
  SelectObject(dc, availPen_.get());
  if (plot_.points == 1) {
    MoveToEx(dc, plot_.avail[0].x, plot_.avail[0].y, nullptr);
    LineTo(dc, plot_.avail[0].x - 1, plot_.avail[0].y);
  } else {
    Polyline(dc, reinterpret_cast<const POINT*>(plot_.avail.data()),
             static_cast<int>(plot_.points));
  }

  // The legend, on one line or two.
  int x = pad;
  int y = legendTop;
  for (const Key& key : allKeys) {
    if (!cacheShown && (key.color == kCacheColor || key.color == kBandColor)) {
      continue;
    }
    FixedText text;
    text.Append(key.text);
    const int width = swatch + Scale(4, dpi_) + TextWidth(dc, text);
    if (x > pad && x + width > client.right - pad) {
      x = pad;
      y += line;
    }
    const int middle = y + line / 2;
    const int thickness = key.line ? Scale(3, dpi_) : line - Scale(4, dpi_);
    Fill(dc, RECT{x, middle - thickness / 2, x + swatch, middle - thickness / 2 + thickness},
         key.brush);
    Text(dc, x + swatch + Scale(4, dpi_), y, text);
    x += width + Scale(12, dpi_);
  }
  if (!cacheShown) {
    if (x > pad && x + TextWidth(dc, unreported) > client.right - pad) {
      x = pad;
      y += line;
    }
    Text(dc, x, y, unreported);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldFont);
}
