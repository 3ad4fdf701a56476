// The per-monitor DPI calls of Windows 10, bound by name so that the panel
// still runs where they are missing; there the system's DPI stands in.
#pragma once

#include <windows.h>

// The DPI the window is shown at.
int WindowDpi(HWND window);

// The message font of the system, scaled for `dpi`.
LOGFONTW MessageFontForDpi(int dpi);

// A system metric (SM_CXVSCROLL, SM_CXMENUCHECK, ...) at `dpi`.
int MetricForDpi(int index, int dpi);

// The window rectangle that holds `rect` as its client area at `dpi`.
void AdjustRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);

// A dialog that lays itself out on a change of DPI: the dialog manager is
// kept from moving and resizing its controls and fonts itself.
void KeepDialogLayoutOwn(HWND dialog);

// `value` at 96 DPI, at `dpi`.
inline int Scale(int value, int dpi) {
  return MulDiv(value, dpi, 96);
}
