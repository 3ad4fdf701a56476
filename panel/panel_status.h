// PanelStatus: what the control panel shows about the machine, refreshed every
// second: the service's state, whether a squeeze runs, the file cache, the
// available memory; and the service's Start or Stop button.
#pragma once

#include <cstdint>

#include "panel/fixed_text.h"

class SystemCacheControl;

// QueryServiceState's answers besides the platform's service states.
inline constexpr uint32_t kServiceNotInstalled = 0;
inline constexpr uint32_t kServiceStateUnknown = 0xFFFFFFFFu;

struct PanelStatus {
  uint32_t serviceState = kServiceStateUnknown;
  bool squeezing = false;  // the squeeze mutex existed: a squeeze runs somewhere
  bool cacheRead = false;  // the file-cache query succeeded
  uint32_t cacheCurrentKB = 0;
  uint32_t cacheMinimumKB = 0;
  uint32_t cacheMaximumKB = 0;
  uint64_t availPhysBytes = 0;
  uint64_t totalPhysBytes = 0;
};

// The service's current state, kServiceNotInstalled, or kServiceStateUnknown
// when it cannot be asked.
uint32_t QueryServiceState(const wchar_t* serviceName);

// Reads the figures, allocating nothing: first the squeeze mutex (created and
// closed at once, so that a squeeze starting meanwhile never meets it), then
// the service, the file cache through the same query the service uses (with
// `cache` as its construction initialized it) and the memory.
PanelStatus ReadPanelStatus(SystemCacheControl& cache);

FixedText ServiceLine(const PanelStatus& status);
FixedText CacheLine(const PanelStatus& status);
FixedText MemoryLine(const PanelStatus& status);

// The service's button: Start for a stopped service, Stop for a running one,
// shown but disabled while the state changes or cannot be read, hidden when
// the service is not installed.
struct ServiceButton {
  bool shown = false;
  bool enabled = false;
  bool starts = false;  // Start rather than Stop
};
ServiceButton ServiceButtonFor(uint32_t serviceState, bool requestUnderWay);
