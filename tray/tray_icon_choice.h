// What velmon's notify icon shows on a tick, and its tip.
#pragma once

#include <cstdint>

// The tip holds 64 characters, the terminating zero included.
inline constexpr int kTipCapacity = 64;

// The tip for a reading: the exact figure, which the icon's label shows only in
// whole GiB from 10,000 MB on, and the memory load of the same reading:
// "Velmora: 23,451 MB available (62% in use)".
void FormatTip(uint32_t availableMB, uint32_t memoryLoad, wchar_t (&tip)[kTipCapacity]);
