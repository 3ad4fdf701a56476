// PanelStatus: what the control panel shows about the machine, refreshed every
// second: the service's state, the file cache, the available memory.
#pragma once

#include <cstdint>
#include <string>

class SystemCacheControl;

// QueryServiceState's answers besides the platform's service states.
inline constexpr uint32_t kServiceNotInstalled = 0;
inline constexpr uint32_t kServiceStateUnknown = 0xFFFFFFFFu;

struct PanelStatus {
  uint32_t serviceState = kServiceStateUnknown;
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

// Reads the three figures; the file cache through the same query the service
// uses, with `cache` as its construction initialized it.
PanelStatus ReadPanelStatus(SystemCacheControl& cache);

std::wstring ServiceLine(const PanelStatus& status);
std::wstring CacheLine(const PanelStatus& status);
std::wstring MemoryLine(const PanelStatus& status);
