#include "common/cache_sequences.h"

#include <cstdint>

#include "common/system_cache_control.h"
#include "platform/platform.h"

void EmptyAndRestoreFileCache(SystemCacheControl& cache) {
  cache.Query();
  const uint32_t savedMinimumKB = cache.minimumKB;
  const uint32_t savedMaximumKB = cache.maximumKB;
  cache.SetLimits(256, 512);
  plat::SleepMs(100);
  cache.SetLimits(kEmptyRequestKB, kEmptyRequestKB);
  plat::SleepMs(100);
  cache.SetLimits(256, 512);
  plat::SleepMs(100);
  // The published figures pass back unchanged, so this restores what was read.
  cache.SetLimits(savedMinimumKB, savedMaximumKB);
  plat::SleepMs(100);
}
