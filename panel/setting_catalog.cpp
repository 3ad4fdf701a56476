#include "panel/setting_catalog.h"

#include <algorithm>

#include "service/settings_store.h"

namespace {

// A 64-bit amount as a 32-bit limit: the value itself when it fits.
uint32_t Clamp32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
}

}  // namespace

SettingCatalog MakeSettingCatalog(uint64_t totalPhysBytes) {
  // On a machine too small for a range, the range keeps its lower end.
  const uint32_t ramAvailableMax =
      std::max<uint32_t>(1, Clamp32(RamAvailableLimit(totalPhysBytes)));
  const uint32_t maxCacheSizeMax = std::max<uint32_t>(512, Clamp32(totalPhysBytes / 1024));
  return SettingCatalog{{
      {L"Settings", L"Tuning mode: 0 sizes the cache automatically, 1 caps it at MaxCacheSize", L"",
       0, 0, 1},
      {L"MemoryZipperPlus", L"1 frees memory whenever available memory falls below RamAvailable",
       L"", 0, 0, 1},
      {L"RamAvailable", L"Available memory the zipper keeps, and the amount it frees", L"MB",
       DefaultRamAvailable(totalPhysBytes), 1, ramAvailableMax},
      {L"AutoOptHour",
       L"Periodic boost on every (value x 2 / 3)th check; a check comes about every 107 minutes",
       L"", 2, 0, 1000},
      {L"IsAutoOptHour", L"1 times the periodic boost by AutoOptHour, 0 boosts every 4th check",
       L"", 1, 0, 1},
      {L"DataSafe", L"Kept for compatibility; changes nothing", L"", 1, 0, 1},
      {L"CacheUsage", L"Kept for compatibility; changes nothing", L"", 12, 0, 25},
      {L"MaxCacheSize", L"Largest file cache in the fixed mode", L"KB",
       DefaultMaxCacheSize(totalPhysBytes), 512, maxCacheSizeMax},
      {L"BasedOnRam", L"Share of available memory the cache may hold before it is shrunk",
       L"percent", 72, 1, 500},
      {L"CacheCheck", L"Kept for compatibility; changes nothing", L"", 1, 0, 1},
  }};
}
