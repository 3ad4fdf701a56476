// Owners for the graphics objects the tray and the control panel draw with: device contexts,
// bitmaps, pens, brushes and fonts, an object selected into a context, and the
// icon a cache hands out. Each gives its object back exactly once, with the
// one platform call that belongs to it, so a drawing's calls stay the ones it
// makes by hand.
#pragma once

#include <windows.h>

#include <utility>

#include "platform/handles.h"

namespace gdi {

inline void DeleteMemoryDC(HDC dc) {
  DeleteDC(dc);
}

inline void DeleteGdiObject(HGDIOBJ object) {
  DeleteObject(object);
}

// A memory device context (CreateCompatibleDC).
using MemoryDC = plat::UniqueHandle<HDC, &DeleteMemoryDC>;
// A bitmap, pen, brush or font.
template <typename H>
using Object = plat::UniqueHandle<H, &DeleteGdiObject>;

// The screen's device context (GetDC of no window), released once.
class ScreenDC {
 public:
  ScreenDC() = default;
  ~ScreenDC() { Release(); }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;

  HDC get() const { return dc_; }
  void reset(HDC dc) {
    Release();
    dc_ = dc;
  }

  // Gives the context back now; false when the release reports failure. The
  // context counts as given back either way.
  bool Release() {
    HDC const held = std::exchange(dc_, nullptr);
    return held == nullptr || ReleaseDC(nullptr, held) != 0;
  }

 private:
  HDC dc_ = nullptr;
};

// A window's device context (GetDC), released when this goes out of scope.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_ != nullptr) {
      ReleaseDC(window_, dc_);
    }
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;

  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context: the context's previous object goes
// back when this goes out of scope, or at Restore.
class Selection {
 public:
  Selection() = default;
  ~Selection() { Restore(); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

  // Selects `object` into `dc` and returns the previous object, null when the
  // selection failed (then nothing is to be put back).
  HGDIOBJ Select(HDC dc, HGDIOBJ object) {
    Restore();
    dc_ = dc;
    previous_ = SelectObject(dc, object);
    return previous_;
  }

  // Puts the previous object back (once).
  void Restore() {
    HGDIOBJ const previous = std::exchange(previous_, nullptr);
    if (previous != nullptr) {
      SelectObject(dc_, previous);
    }
  }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

// The icon a cache hands out. Taking the place for the next icon destroys the
// one held, a null one included (the platform refuses that harmlessly), so
// every change makes the same one call. The last icon is never destroyed: the
// caller was told it may show it for as long as it likes.
class CachedIcon {
 public:
  CachedIcon() = default;
  CachedIcon(const CachedIcon&) = delete;
  CachedIcon& operator=(const CachedIcon&) = delete;
  CachedIcon(CachedIcon&& other) noexcept
      : icon_(std::exchange(other.icon_, nullptr)), held_(std::exchange(other.held_, false)) {}

  HICON get() const { return icon_; }
  // Whether any icon, null included, was ever put in place.
  bool held() const { return held_; }

  // Destroys the icon held, if one was ever put in place, and hands out the
  // empty place for the next one.
  HICON* put() {
    if (held_) {
      DestroyIcon(std::exchange(icon_, nullptr));
    }
    held_ = true;
    return &icon_;
  }

 private:
  HICON icon_ = nullptr;
  bool held_ = false;
};

}  // namespace gdi
