#include "tray/tray_icon_renderer.h"

#include <cstdint>
#include <utility>

#include "platform/platform.h"

namespace {

// The text buffer holds 8 wide characters, the terminating zero included.
constexpr int kTextCapacity = 8;

// The white label covers the top ten rows; the bar the four bottom ones.
constexpr int kLabelRight = 16;
constexpr int kLabelBottom = 10;
constexpr int kBarTop = 12;
constexpr int kBarBottom = 16;
// Column 16 already lies outside the canvas: no bar needs more passes.
constexpr int kLastBarColumn = 16;

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

// The contexts and bitmaps one render obtains. Whatever is still held when it
// goes out of scope, that is after a failed step, is given back: the screen
// context released, the previous bitmaps put back, then the bitmaps and the
// contexts deleted.
class RenderObjects {
 public:
  RenderObjects() = default;
  ~RenderObjects() {
    ReleaseScreen();
    PutBackBitmaps();
    DeleteAll();
  }
  RenderObjects(const RenderObjects&) = delete;
  RenderObjects& operator=(const RenderObjects&) = delete;

  // Gives the screen context back (once); false when the release reports failure.
  bool ReleaseScreen() {
    HDC const held = std::exchange(screen, nullptr);
    return held == nullptr || ReleaseDC(nullptr, held) != 0;
  }

  void PutBackBitmaps() {
    if (colourPrevious != nullptr) {
      SelectObject(colourDC, std::exchange(colourPrevious, nullptr));
    }
    if (maskPrevious != nullptr) {
      SelectObject(maskDC, std::exchange(maskPrevious, nullptr));
    }
  }

  void DeleteAll() {
    if (colourBitmap != nullptr) {
      DeleteObject(std::exchange(colourBitmap, nullptr));
    }
    if (maskBitmap != nullptr) {
      DeleteObject(std::exchange(maskBitmap, nullptr));
    }
    if (maskDC != nullptr) {
      DeleteDC(std::exchange(maskDC, nullptr));
    }
    if (colourDC != nullptr) {
      DeleteDC(std::exchange(colourDC, nullptr));
    }
  }

  HDC screen = nullptr;
  HDC colourDC = nullptr;
  HDC maskDC = nullptr;
  HBITMAP colourBitmap = nullptr;
  HBITMAP maskBitmap = nullptr;
  HGDIOBJ colourPrevious = nullptr;
  HGDIOBJ maskPrevious = nullptr;
};

}  // namespace

TrayIconRenderer::TrayIconRenderer() {
  plat::MemoryStatus status{};
  plat::QueryMemoryStatus(status);
  totalMB = static_cast<int32_t>(status.totalPhys >> 20);
}

HICON TrayIconRenderer::IconFor(int32_t value) {
  if (!cacheStarted_) {
    cacheStarted_ = true;
    cachedIcon_ = ready ? Render(value) : nullptr;
    lastValue_ = value;
  }
  if (value == lastValue_) {
    return cachedIcon_;
  }
  lastValue_ = value;
  // A null icon (none drawn yet, or a failed render) fails harmlessly here.
  DestroyIcon(cachedIcon_);
  cachedIcon_ = ready ? Render(value) : nullptr;
  return cachedIcon_;
}

HICON TrayIconRenderer::Render(int32_t value) {
  RenderObjects objects;
  objects.screen = GetDC(nullptr);
  objects.colourDC = CreateCompatibleDC(objects.screen);
  objects.maskDC = CreateCompatibleDC(objects.screen);
  if (objects.screen == nullptr || objects.colourDC == nullptr || objects.maskDC == nullptr) {
    return nullptr;
  }
  // Made from the screen context, the colour bitmap has the screen's format.
  objects.colourBitmap = CreateCompatibleBitmap(objects.screen, width, height);
  if (objects.colourBitmap == nullptr) {
    return nullptr;
  }
  if (!objects.ReleaseScreen()) {
    return nullptr;
  }
  // A fresh memory context holds a one-by-one monochrome bitmap, so the mask
  // made from it is monochrome.
  objects.maskBitmap = CreateCompatibleBitmap(objects.maskDC, width, height);
  if (objects.maskBitmap == nullptr) {
    return nullptr;
  }
  objects.colourPrevious = SelectObject(objects.colourDC, objects.colourBitmap);
  objects.maskPrevious = SelectObject(objects.maskDC, objects.maskBitmap);
  if (objects.colourPrevious == nullptr || objects.maskPrevious == nullptr) {
    return nullptr;
  }
  // All black in colour, all white (wholly transparent) in the mask.
  const bool colourCleared =
      BitBlt(objects.colourDC, 0, 0, width, height, nullptr, 0, 0, BLACKNESS) != FALSE;
  const bool maskCleared =
      BitBlt(objects.maskDC, 0, 0, width, height, nullptr, 0, 0, WHITENESS) != FALSE;
  if (!colourCleared || !maskCleared) {
    return nullptr;
  }
  DrawFace(objects.colourDC, objects.maskDC, value);
  // The base icon changes no pixel, but an icon that cannot be drawn fails the render.
  const bool colourOverlaid =
      DrawIconEx(objects.colourDC, 0, 0, baseIcon, width, height, 0, nullptr, DI_NORMAL) != FALSE;
  const bool maskOverlaid =
      DrawIconEx(objects.maskDC, 0, 0, baseIcon, width, height, 0, nullptr, DI_NORMAL) != FALSE;
  if (!colourOverlaid || !maskOverlaid) {
    return nullptr;
  }
  objects.PutBackBitmaps();
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = objects.maskBitmap;
  info.hbmColor = objects.colourBitmap;
  // The icon keeps copies of both bitmaps, so ours go at once.
  HICON const icon = CreateIconIndirect(&info);
  objects.DeleteAll();
  return icon;
}

bool TrayIconRenderer::DrawFace(HDC colourDC, HDC maskDC, int32_t value) {
  HPEN const whitePen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HPEN const blackPen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  HBRUSH const blackBrush = CreateSolidBrush(RGB(0, 0, 0));
  wchar_t text[kTextCapacity] = {};

  // The bar grows with the share in use. A total below 1 MB counts as 1, so
  // nothing divides by zero. Worked in 64 bits: the same lengths as 32-bit
  // arithmetic for every real reading, and no overflow for absurd ones.
  const int64_t divisor = totalMB < 1 ? 1 : totalMB;
  const int64_t barLength = 16 - (int64_t{value} * 16) / divisor;

  SetBkMode(colourDC, TRANSPARENT);
  SetBkMode(maskDC, TRANSPARENT);
  // The mask keeps its default black text colour: digits stay opaque there.
  SetTextColor(colourDC, kDigitColour);
  HGDIOBJ const colourPreviousPen = SelectObject(colourDC, whitePen);

  const FaceStyle style = StyleFor(value);
  FormatNumber(value, style.fieldWidth, text);
  HFONT const font = CreateFontW(style.fontHeight, 0, 0, 0, style.fontWeight, FALSE, FALSE, FALSE,
                                 ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial");
  HGDIOBJ const colourPreviousFont = SelectObject(colourDC, font);
  HGDIOBJ const maskPreviousFont = SelectObject(maskDC, font);

  // White pen and the context's default white brush: the white label.
  Rectangle(colourDC, 0, 0, kLabelRight, kLabelBottom);
  HGDIOBJ const maskPreviousBrush = SelectObject(maskDC, blackBrush);
  HGDIOBJ const maskPreviousPen = SelectObject(maskDC, blackPen);
  // Black in the mask: the label is opaque.
  Rectangle(maskDC, 0, 0, kLabelRight, kLabelBottom);

  const int length = lstrlenW(text);
  const int x = value > 99 ? 0 : 3;
  TextOutW(colourDC, x, 0, text, length);
  TextOutW(maskDC, x, 0, text, length);

  HPEN const barPen = CreatePen(PS_SOLID, 1, BarColour(barLength));
  SelectObject(colourDC, colourPreviousPen);
  DeleteObject(whitePen);
  SelectObject(colourDC, barPen);
  // Column i of the bar rows, in the bar colour and opaque in the mask (black
  // pen); L + 1 columns. A negative value (never a real reading) would ask for
  // millions of columns beyond the canvas: those passes draw nothing and are left out.
  const int64_t lastColumn = barLength < kLastBarColumn ? barLength : kLastBarColumn;
  for (int i = 0; i <= lastColumn; ++i) {
    MoveToEx(colourDC, i, kBarTop, nullptr);
    LineTo(colourDC, i, kBarBottom);
    MoveToEx(maskDC, i, kBarTop, nullptr);
    LineTo(maskDC, i, kBarBottom);
  }

  SelectObject(colourDC, colourPreviousFont);
  SelectObject(maskDC, maskPreviousFont);
  DeleteObject(font);
  SelectObject(maskDC, maskPreviousPen);
  DeleteObject(blackPen);
  SelectObject(colourDC, colourPreviousPen);
  DeleteObject(barPen);
  SelectObject(maskDC, maskPreviousBrush);
  DeleteObject(blackBrush);
  return true;
}
