// The tray's memory icon: a 16 by 16 picture of the available physical memory in
// MB, a white label with the number above a bar that lengthens and turns from
// green to red as memory fills; drawn larger, to the same plan, where the
// system's small icons are larger.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/win32/gdi_handles.h"

// One process-wide object, built before the tray's entry point. The tray's Run
// stores the base icon, refreshes `totalMB` and sets `ready`; from then on the
// timer asks IconFor for the icon on every tick. Used from the user-interface
// thread only.
class TrayIconRenderer {
 public:
  // Reads total physical memory; not ready, no base icon.
  TrayIconRenderer();

  // The icon for `value` MB, possibly null. The same value gives the same icon
  // without drawing; a new value destroys the previous icon and draws a new one.
  // The caller shows the icon and never frees it.
  HICON IconFor(int32_t value);

  // Draws the icons `size` pixels square from the next IconFor on, the value
  // drawn last included: 16 at the platform's base DPI, the system's small-icon
  // size above it. The face, its fonts and its bar are scaled to the size.
  void SetSize(int32_t size);

  // A newly drawn icon for `value` MB, or null when a drawing step failed (what
  // was obtained is released first). Used by IconFor only.
  HICON Render(int32_t value);

  // Draws the label, the number and the bar into the colour bitmap and the mask
  // bitmap selected into the two contexts. Always true. Used by Render only.
  bool DrawFace(HDC colourDC, HDC maskDC, int32_t value);

  bool ready = false;
  HICON baseIcon = nullptr;  // drawn over every icon; wholly transparent
  int32_t totalMB = 0;       // total physical memory in MB
  int32_t width = 16;        // the icon's size in pixels (SetSize)
  int32_t height = 16;

 private:
  // The last icon made and the value it shows; the last one lives for the process.
  gdi::CachedIcon cachedIcon_;
  int32_t lastValue_ = 0;
  bool resized_ = false;  // the cached icon has the size before SetSize
};
