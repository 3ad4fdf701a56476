// The tuning tick: its counters, the fixed-size and the automatic path, and the
// ways it sets limits.
#include <algorithm>

#include "common/system_cache_control.h"
#include "platform/handles.h"
#include "service/cache_tuner.h"

namespace {

// Clears the low `bits` bits: rounds down to a multiple of 2 to the bits.
constexpr uint32_t RoundDown(uint32_t kb, int bits) {
  return kb & ~((uint32_t{1} << bits) - 1);
}

// 0.78 as the single-precision constant it is, slightly below 0.78.
constexpr float kMaxCacheShare = 0.78f;

}  // namespace

void CacheTuner::Tick() {
  // Whatever took a settings change up (a reload, the re-read below, the
  // memory zipper), the Event Log learns of it here.
  events_.CheckSettings(settings_);
  if (!state_.enabled) {
    return;
  }
  // The first tick already maintains: the count starts one short.
  if (++state_.maintenanceCount > 8001) {
    state_.maintenanceCount = 0;
    EmptyAndRestore();
    PeriodicBoost();
  }
  if (++state_.reloadCount > 21001) {
    ReadSettingsCopies();
    state_.reloadCount = 0;
  }
  if (state_.Settings == 1) {
    // A cap above physical memory is brought down to 78 percent of it, in the
    // copy only, until the next reload.
    if (state_.MaxCacheSize > state_.snapshot.totalPhysKB) {
      state_.MaxCacheSize = static_cast<uint32_t>(static_cast<double>(state_.snapshot.totalPhysKB) *
                                                  static_cast<double>(kMaxCacheShare));
    }
    plat::Guarded([this] { TuneFixed(); });
  } else {
    plat::Guarded([this] { TuneAuto(); });
  }
}

void CacheTuner::TuneFixed() {
  TunerState& s = state_;
  const MemorySnapshot& snap = s.snapshot;
  s.workMinKB = 0;
  s.workMaxKB = 0;
  TakeSnapshot();
  ++s.fixedFlushCount;
  cache_.Query();

  if (Load() >= 63 && Load() <= 80) {
    s.workMaxKB = std::min(s.target45KB, s.MaxCacheSize.load());
    s.workMinKB = percentOf(s.workMaxKB, Free());
    SetLimits(s.workMinKB, s.workMaxKB);
    if (Load() > 77 && ++s.zipperCallCount > 51) {
      MemoryZipper();
      s.zipperCallCount = 0;
    }
  } else if (Load() >= 81) {
    // Hard shrink: an eighth of the maximum as minimum.
    ++s.zipperCallCount;
    ++s.emptyCount;
    const uint32_t maxCacheSize = s.MaxCacheSize;
    s.workMaxKB = s.target18KB / 2;
    if (s.workMaxKB > maxCacheSize) {
      s.workMaxKB = (maxCacheSize / 5) * 4;
    }
    if (s.workMaxKB > cache_.currentSizeKB) {
      s.workMaxKB = (cache_.currentSizeKB / 3) * 2;
    }
    s.workMaxKB = RoundDown(s.workMaxKB, 7);
    s.workMinKB = s.workMaxKB / 8;
    if (s.emptyCount > 21) {
      EmptyAndRestore();
      s.emptyCount = 0;
    }
    if (Load() > 90) {
      SetLimits(s.workMinKB, s.workMinKB);
      EmptyCache();
      FlushFixedDrives();
    } else {
      SetLimits(s.workMinKB, 2 * s.workMinKB);
    }
    SetLimits(s.workMinKB, s.workMaxKB);
    if (s.zipperCallCount > 21) {
      MemoryZipper();
      s.zipperCallCount = 0;
    }
  } else {
    // Up to 62: only the regular pair of the tail, throttled.
    s.workMaxKB = percentOf(s.target81KB, Free());
  }

  // Common tail.
  s.workMaxKB = RoundDown(std::min(s.workMaxKB, s.MaxCacheSize.load()), 7);
  s.workMinKB = percentOf(s.workMaxKB, Free());
  ThrottledSetLimits(s.workMinKB, s.workMaxKB);
  TakeSnapshot();
  cache_.Query();
  const uint32_t ceiling = percentOf(snap.availPhysKB, s.BasedOnRam);
  if (cache_.currentSizeKB > ceiling) {
    s.workMaxKB = RoundDown(ceiling, 7);
    s.workMinKB = percentOf(s.workMaxKB, Free());
    SetLimits(s.workMinKB, s.workMaxKB);
  }
  if (s.fixedFlushCount > 171) {
    FlushFixedDrives();
    s.fixedFlushCount = 0;
  }
  cache_.Query();
  const uint32_t maxCacheSize = s.MaxCacheSize;
  if (cache_.currentSizeKB > maxCacheSize) {
    s.workMaxKB = maxCacheSize;
    s.workMinKB = percentOf(s.workMaxKB, Free());
    SetLimits(s.workMinKB, s.workMaxKB);
  }
}

void CacheTuner::TuneAuto() {
  TunerState& s = state_;
  const MemorySnapshot& snap = s.snapshot;
  TakeSnapshot();
  s.workMinKB = 0;
  s.workMaxKB = 0;
  ++s.autoFlushCount;
  cache_.Query();

  if (Load() <= 26) {
    s.workMaxKB = s.autoTargetKB;
    s.workMinKB = percentOf(s.workMaxKB, Free());
  } else if (Load() <= 62) {
    s.workMaxKB = percentOf(s.autoTargetKB, Free());
    s.workMinKB = percentOf(s.workMaxKB, Free());
  } else if (Load() <= 80) {
    s.workMaxKB = RoundDown(percentOf(percentOf(s.autoTargetKB, 81), Free()), 7);
    s.workMinKB = percentOf(s.workMaxKB, Free());
    SetLimits(s.workMinKB, s.workMaxKB);
    if (Load() > 77 && ++s.zipperCallCount > 51) {
      MemoryZipper();
      s.zipperCallCount = 0;
    }
  } else {
    // Hard shrink: a quarter of the maximum as minimum.
    ++s.zipperCallCount;
    ++s.emptyCount;
    s.workMaxKB = percentOf(s.target27KB, Free());
    if (s.workMaxKB > cache_.currentSizeKB) {
      s.workMaxKB /= 2;
    }
    s.workMaxKB = RoundDown(s.workMaxKB, 4);
    s.workMinKB = s.workMaxKB / 4;
    if (Load() > 90) {
      SetLimits(s.workMinKB, 2 * s.workMinKB);
      if (s.emptyCount > 5) {
        EmptyAndRestore();
        s.emptyCount = 0;
      }
    } else {
      SetLimits(s.workMinKB, 3 * s.workMinKB);
    }
    SetLimits(s.workMinKB, s.workMaxKB);
    if (s.zipperCallCount > 27) {
      MemoryZipper();
      s.zipperCallCount = 0;
    }
  }

  // Common tail; the minimum keeps the band's value.
  s.workMaxKB = RoundDown(std::min(s.workMaxKB, s.autoTargetKB), 7);
  ThrottledSetLimits(s.workMinKB, s.workMaxKB);
  TakeSnapshot();
  cache_.Query();
  if (snap.availPhysKB < s.target18KB) {
    s.workMaxKB = s.target27KB;
    s.workMinKB = percentOf(s.workMaxKB, Free());
    SetLimits(s.workMinKB, s.workMaxKB);
  }
  if (s.autoFlushCount > 171) {
    FlushFixedDrives();
    s.autoFlushCount = 0;
  }
  TakeSnapshot();
  cache_.Query();
  if (cache_.currentSizeKB > s.autoTargetKB) {
    s.workMaxKB = s.autoTargetKB;
    s.workMinKB = percentOf(s.workMaxKB, Free());
    SetLimits(s.workMinKB, s.workMinKB);
    SetLimits(s.workMinKB, s.workMaxKB);
  }
}

void CacheTuner::EmptyAndRestore() {
  plat::Guarded([this] {
    cache_.Query();
    const uint32_t minimumKB = cache_.minimumKB;
    const uint32_t maximumKB = cache_.maximumKB;
    SetLimits(kEmptyRequestKB, kEmptyRequestKB);
    SetLimits(128, 512);
    SetLimits(minimumKB, maximumKB);
  });
}

void CacheTuner::EmptyCache() {
  SetLimits(kEmptyRequestKB, kEmptyRequestKB);
}

void CacheTuner::ThrottledSetLimits(uint32_t minKB, uint32_t maxKB) {
  // Applied on the 2nd call after start, then on every 27th.
  if (++state_.throttleCount >= 27) {
    state_.throttleCount = 0;
    SetLimits(minKB, maxKB);
  }
}

void CacheTuner::SetLimits(uint32_t minKB, uint32_t maxKB) {
  if (cache_.SetLimits(minKB, maxKB) == 0) {
    events_.CacheSetFailed(minKB, maxKB);
  }
}
