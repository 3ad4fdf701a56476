// What velmon's notify icon shows on a tick, and its tip.
#pragma once

#include <cstdint>

// What the icon shows on a tick: the busy picture while a squeeze runs, else
// the drawing of a reading.
struct TrayIconChoice {
  bool busy = false;
  uint32_t availableMB = 0;  // the reading's available physical memory, MB
  uint32_t memoryLoad = 0;   // the same reading's memory load
};

// Creating the squeeze mutex tells whether anybody holds it (any error code
// counts). The probe is closed at once, before memory is read and anything is
// drawn, so that a squeeze worker starting meanwhile does not meet it and give
// up. Memory is read only when no squeeze runs.
TrayIconChoice ChooseTrayIcon();

// The tip holds 64 characters, the terminating zero included.
inline constexpr int kTipCapacity = 64;

// The tip for a reading: the exact figure, which the icon's label shows only in
// whole GiB from 10,000 MB on, and the memory load of the same reading:
// "Velmora: 23,451 MB available (62% in use)".
void FormatTip(uint32_t availableMB, uint32_t memoryLoad, wchar_t (&tip)[kTipCapacity]);
