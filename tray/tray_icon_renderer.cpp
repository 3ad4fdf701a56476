#include "tray/tray_icon_renderer.h"

#include <cstdint>

#include "platform/platform.h"

namespace {

// The text buffer holds 8 wide characters, the terminating zero included.
constexpr int kTextCapacity = 8;

// The face in the 16-pixel icon's pixels, scaled for a larger icon: the white
// label covers the top ten rows, the bar the four bottom ones, and a number of
// two characters starts three columns in.
constexpr int kUnit = 16;
constexpr int kLabelBottom = 10;
constexpr int kBarTop = 12;
constexpr int kNarrowTextX = 3;

// `pixels` of the 16-pixel icon in an icon `size` pixels square, rounded to the
// nearest pixel; the same figure at 16.
int64_t Scaled(int64_t pixels, int32_t size) {
  return (pixels * size + kUnit / 2) / kUnit;
}

// From this figure in MB on, the label shows GiB or TiB with the unit.
constexpr int32_t kUnitLabelFrom = 10000;

constexpr COLORREF kDigitColour = RGB(51, 54, 63);

// How a value is written: the field width of its number and the font.
struct FaceStyle {
  int fieldWidth;
  int fontHeight;
  int fontWeight;
};

FaceStyle StyleFor(int32_t value) {
  if (value >= 1000) {
    return {4, 7, 200};
  }
  if (value >= 100) {
    return {3, 12, 500};
  }
  return {2, 12, 600};
}

// The bar turns from green through yellow and magenta to red as memory fills.
COLORREF BarColour(int64_t barLength) {
  if (barLength <= 12) {
    return RGB(0, 255, 0);
  }
  if (barLength == 13) {
    return RGB(255, 255, 0);
  }
  if (barLength == 14) {
    return RGB(255, 0, 255);
  }
  return RGB(255, 0, 0);
}

// Writes `value` right-aligned in at least `fieldWidth` characters, as the
// "%*d" format does, cut to what the buffer holds (a cut keeps the leading
// characters). Written by hand: the runtime's wide formatting differs between
// the platform's C libraries.
void FormatNumber(int32_t value, int fieldWidth, wchar_t (&text)[kTextCapacity]) {
  wchar_t reversed[16];
  int length = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    reversed[length++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) {
    reversed[length++] = L'-';
  }
  while (length < fieldWidth) {
    reversed[length++] = L' ';
  }
  int out = 0;
  while (out < kTextCapacity - 1 && length > 0) {
    text[out++] = reversed[--length];
  }
  text[out] = L'\0';
}

// A figure with its unit ("23G"), at x = 0 in the font selected. Where the
// font makes the two wider than the label, the unit moves left into the gap
// before it, so that its ink stays on the icon.
void DrawUnitLabel(HDC colourDC, HDC maskDC, const wchar_t* text, int length, int labelWidth) {
  int ends[kTextCapacity] = {};
  SIZE extent{};
  const bool measured =
      GetTextExtentExPointW(colourDC, text, length, 0, nullptr, ends, &extent) != FALSE;
  INT advances[kTextCapacity] = {};
  for (int i = 0; i < length; ++i) {
    advances[i] = ends[i] - (i == 0 ? 0 : ends[i - 1]);
  }
  const int overflow = extent.cx - labelWidth;
  if (overflow > 0 && length >= 2) {
    const int beforeUnit = advances[length - 2] - overflow;
    advances[length - 2] = beforeUnit < 0 ? 0 : beforeUnit;
  }
  // Unmeasured, the font's own advances are the best guess.
  const INT* const spacing = measured ? advances : nullptr;
  ExtTextOutW(colourDC, 0, 0, 0, nullptr, text, static_cast<UINT>(length), spacing);
  ExtTextOutW(maskDC, 0, 0, 0, nullptr, text, static_cast<UINT>(length), spacing);
}

// The label's text. Up to 9,999 MB the figure itself, as FormatNumber writes
// it; a fifth digit would not fit, so from 10,000 MB on whole GiB with "G", and from 1,000 GiB on
// whole TiB with "T", each rounded to the nearest.
void FormatLabel(int32_t value, int fieldWidth, wchar_t (&text)[kTextCapacity]) {
  if (value < kUnitLabelFrom) {
    FormatNumber(value, fieldWidth, text);
    return;
  }
  const auto megabytes = static_cast<uint64_t>(value);
  uint64_t figure = (megabytes + 512) / 1024;
  wchar_t unit = L'G';
  if (figure >= 1000) {
    figure = (megabytes + 524288) / 1048576;
    unit = L'T';
  }
  // At most 2048 TiB: four digits and the unit fit the buffer.
  FormatNumber(static_cast<int32_t>(figure), 0, text);
  int length = 0;
  while (text[length] != L'\0') {
    ++length;
  }
  text[length] = unit;
  text[length + 1] = L'\0';
}

}  // namespace

TrayIconRenderer::TrayIconRenderer() {
  plat::MemoryStatus status{};
  plat::QueryMemoryStatus(status);
  totalMB = static_cast<int32_t>(status.totalPhys >> 20);
}

HICON TrayIconRenderer::IconFor(int32_t value) {
  if (!cachedIcon_.held()) {
    HICON* const first = cachedIcon_.put();
    *first = ready ? Render(value) : nullptr;
    lastValue_ = value;
  }
  if (value == lastValue_ && !resized_) {
    return cachedIcon_.get();
  }
  lastValue_ = value;
  resized_ = false;
  // The previous icon goes before the next is drawn.
  HICON* const next = cachedIcon_.put();
  *next = ready ? Render(value) : nullptr;
  return cachedIcon_.get();
}

void TrayIconRenderer::SetSize(int32_t size) {
  if (size != width || size != height) {
    width = size;
    height = size;
    resized_ = true;
  }
}

HICON TrayIconRenderer::Render(int32_t value) {
  // Declared in the reverse of the order in which a failed step gives them
  // back: the screen context first, then the previous bitmaps, then the
  // bitmaps and the contexts.
  gdi::MemoryDC colourDC;
  gdi::MemoryDC maskDC;
  gdi::Object<HBITMAP> maskBitmap;
  gdi::Object<HBITMAP> colourBitmap;
  gdi::Selection maskSelection;
  gdi::Selection colourSelection;
  gdi::ScreenDC screen;

  screen.reset(GetDC(nullptr));
  colourDC.reset(CreateCompatibleDC(screen.get()));
  maskDC.reset(CreateCompatibleDC(screen.get()));
  if (screen.get() == nullptr || !colourDC || !maskDC) {
    return nullptr;
  }
  // Made from the screen context, the colour bitmap has the screen's format.
  colourBitmap.reset(CreateCompatibleBitmap(screen.get(), width, height));
  if (!colourBitmap) {
    return nullptr;
  }
  if (!screen.Release()) {
    return nullptr;
  }
  // A fresh memory context holds a one-by-one monochrome bitmap, so the mask
  // made from it is monochrome.
  maskBitmap.reset(CreateCompatibleBitmap(maskDC.get(), width, height));
  if (!maskBitmap) {
    return nullptr;
  }
  HGDIOBJ const colourPrevious = colourSelection.Select(colourDC.get(), colourBitmap.get());
  HGDIOBJ const maskPrevious = maskSelection.Select(maskDC.get(), maskBitmap.get());
  if (colourPrevious == nullptr || maskPrevious == nullptr) {
    return nullptr;
  }
  // All black in colour, all white (wholly transparent) in the mask.
  const bool colourCleared =
      BitBlt(colourDC.get(), 0, 0, width, height, nullptr, 0, 0, BLACKNESS) != FALSE;
  const bool maskCleared =
      BitBlt(maskDC.get(), 0, 0, width, height, nullptr, 0, 0, WHITENESS) != FALSE;
  if (!colourCleared || !maskCleared) {
    return nullptr;
  }
  DrawFace(colourDC.get(), maskDC.get(), value);
  // The base icon changes no pixel, but an icon that cannot be drawn fails the render.
  const bool colourOverlaid =
      DrawIconEx(colourDC.get(), 0, 0, baseIcon, width, height, 0, nullptr, DI_NORMAL) != FALSE;
  const bool maskOverlaid =
      DrawIconEx(maskDC.get(), 0, 0, baseIcon, width, height, 0, nullptr, DI_NORMAL) != FALSE;
  if (!colourOverlaid || !maskOverlaid) {
    return nullptr;
  }
  colourSelection.Restore();
  maskSelection.Restore();
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = maskBitmap.get();
  info.hbmColor = colourBitmap.get();
  // The icon keeps copies of both bitmaps, so ours go on the way out.
  return CreateIconIndirect(&info);
}

bool TrayIconRenderer::DrawFace(HDC colourDC, HDC maskDC, int32_t value) {
  // Declared in the reverse of the order in which they are given back on the
  // way out: each context's previous font, then the font, the mask's previous
  // pen and the black pen, the colour context's previous pen and the bar pen,
  // the mask's previous brush and the black brush.
  gdi::Object<HBRUSH> blackBrush;
  gdi::Selection maskBrush;
  gdi::Object<HPEN> barPen;
  gdi::Object<HPEN> whitePen;
  gdi::Selection colourPen;
  gdi::Object<HPEN> blackPen;
  gdi::Selection maskPen;
  gdi::Object<HFONT> font;
  gdi::Selection maskFont;
  gdi::Selection colourFont;

  whitePen.reset(CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
  blackPen.reset(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
  blackBrush.reset(CreateSolidBrush(RGB(0, 0, 0)));
  wchar_t text[kTextCapacity] = {};

  // The bar grows with the share in use. A total below 1 MB counts as 1, so
  // nothing divides by zero. Worked in 64 bits: the same lengths as 32-bit
  // arithmetic for every real reading, and no overflow for absurd ones.
  const int64_t divisor = totalMB < 1 ? 1 : totalMB;
  const int64_t barLength = 16 - (int64_t{value} * 16) / divisor;
  // The icon is `width` pixels square (16 at the platform's base DPI).
  const auto scaled = [this](int64_t pixels) { return static_cast<int>(Scaled(pixels, width)); };

  SetBkMode(colourDC, TRANSPARENT);
  SetBkMode(maskDC, TRANSPARENT);
  // The mask keeps its default black text colour: digits stay opaque there.
  SetTextColor(colourDC, kDigitColour);
  colourPen.Select(colourDC, whitePen.get());

  const FaceStyle style = StyleFor(value);
  FormatLabel(value, style.fieldWidth, text);
  font.reset(CreateFontW(scaled(style.fontHeight), 0, 0, 0, style.fontWeight, FALSE, FALSE, FALSE,
                         ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, L"Arial"));
  colourFont.Select(colourDC, font.get());
  maskFont.Select(maskDC, font.get());

  // White pen and the context's default white brush: the white label.
  Rectangle(colourDC, 0, 0, width, scaled(kLabelBottom));
  maskBrush.Select(maskDC, blackBrush.get());
  maskPen.Select(maskDC, blackPen.get());
  // Black in the mask: the label is opaque.
  Rectangle(maskDC, 0, 0, width, scaled(kLabelBottom));

  const int length = lstrlenW(text);
  if (value < kUnitLabelFrom) {
    const int x = value > 99 ? 0 : scaled(kNarrowTextX);
    TextOutW(colourDC, x, 0, text, length);
    TextOutW(maskDC, x, 0, text, length);
  } else {
    DrawUnitLabel(colourDC, maskDC, text, length, width);
  }

  barPen.reset(CreatePen(PS_SOLID, 1, BarColour(barLength)));
  colourPen.Restore();
  whitePen.reset();
  colourPen.Select(colourDC, barPen.get());
  // Column i of the bar rows, in the bar colour and opaque in the mask (black
  // pen); L + 1 columns of the 16-pixel icon, scaled. Column `width` already
  // lies outside the canvas: a longer bar (a negative value, never a real
  // reading, asks for millions of columns) draws nothing more and is cut there.
  const int64_t barColumns = Scaled(barLength + 1, width);
  const int64_t lastColumn = barColumns - 1 < width ? barColumns - 1 : width;
  const int barTop = scaled(kBarTop);
  for (int i = 0; i <= lastColumn; ++i) {
    MoveToEx(colourDC, i, barTop, nullptr);
    LineTo(colourDC, i, height);
    MoveToEx(maskDC, i, barTop, nullptr);
    LineTo(maskDC, i, height);
  }
  return true;
}
