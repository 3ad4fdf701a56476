#include "panel/setting_catalog.h"

#include <algorithm>

#include "service/settings_store.h"

namespace {

// A 64-bit amount as a 32-bit limit: the value itself when it fits.
uint32_t Clamp32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
}

using G = SettingGroup;
using C = SettingControl;

}  // namespace

SettingCatalog MakeSettingCatalog(uint64_t totalPhysBytes) {
  // On a machine too small for a range, the range keeps its lower end.
  const uint32_t ramAvailableMax =
      std::max<uint32_t>(1, Clamp32(RamAvailableLimit(totalPhysBytes)));
  const uint32_t maxCacheSizeMax = std::max<uint32_t>(512, Clamp32(totalPhysBytes / 1024));
  return SettingCatalog{{
      {L"Settings", L"Cache limit",
       L"Automatic: up to 16 to 74 percent of memory, by its size. Fixed: the maximum below.", L"",
       0, 0, 1, G::TuningMode, C::Choice, false},
      {L"MemoryZipperPlus", L"Free memory when it runs low",
       L"At high load, when less than the threshold below is free, the zipper frees that much.",
       L"", 0, 0, 1, G::FreeingMemory, C::Switch, false},
      {L"RamAvailable", L"Zipper threshold", L"The zipper frees this much when less is available.",
       L"MB", DefaultRamAvailable(totalPhysBytes), 1, ramAvailableMax, G::FreeingMemory, C::Number,
       false},
      {L"AutoOptHour", L"Boost interval",
       L"Checks from one periodic boost to the next, about 107 minutes each.", L"checks", 2, 1, 666,
       G::FreeingMemory, C::Interval, false},
      {L"IsAutoOptHour", L"Time the periodic boost by the interval below",
       L"Clear: every 4th check instead, about every 7.1 hours; the boost cannot be turned off.",
       L"", 1, 0, 1, G::FreeingMemory, C::Switch, false},
      {L"DataSafe", L"Data safe", L"Kept for compatibility; changes nothing.", L"", 1, 0, 1,
       G::Compatibility, C::Switch, true},
      {L"CacheUsage", L"Cache usage", L"Kept for compatibility; changes nothing.", L"", 12, 0, 25,
       G::Compatibility, C::Number, true},
      {L"MaxCacheSize", L"Fixed maximum", L"Fixed mode: the largest file cache.", L"KB",
       DefaultMaxCacheSize(totalPhysBytes), 512, maxCacheSizeMax, G::TuningMode, C::Number, false},
      {L"BasedOnRam", L"Share of available memory",
       L"Fixed mode: the cache's share of available memory at most.", L"%", 72, 1, 500,
       G::TuningMode, C::Number, false},
      {L"CacheCheck", L"Cache check", L"Kept for compatibility; changes nothing.", L"", 1, 0, 1,
       G::Compatibility, C::Switch, true},
  }};
}

uint32_t BoostIntervalChecks(uint32_t autoOptHour) {
  return std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t{autoOptHour} * 2 / 3));
}

uint32_t ShownValue(const SettingInfo& info, uint32_t stored) {
  switch (info.control) {
    case SettingControl::Choice:
      return stored == 1 ? 1 : 0;  // the service takes any other value as automatic
    case SettingControl::Switch:
      return stored != 0 ? 1 : 0;
    case SettingControl::Interval:
      return BoostIntervalChecks(stored);
    case SettingControl::Number:
      break;
  }
  return stored;
}

uint32_t StoredValue(const SettingInfo& info, uint32_t shown) {
  if (info.control == SettingControl::Interval) {
    // Two thirds of ceil(3n / 2), truncated, is n again.
    return Clamp32((uint64_t{shown} * 3 + 1) / 2);
  }
  return shown;
}

bool WithinLimits(const SettingInfo& info, uint32_t stored) {
  switch (info.control) {
    case SettingControl::Choice:
    case SettingControl::Switch:
      return stored <= 1;
    case SettingControl::Interval: {
      const uint32_t checks = BoostIntervalChecks(stored);
      return checks >= info.minimum && checks <= info.maximum;
    }
    case SettingControl::Number:
      break;
  }
  return stored >= info.minimum && stored <= info.maximum;
}
