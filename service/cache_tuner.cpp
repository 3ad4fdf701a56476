// Construction of the tuner, its cache targets and the reload of its settings.
#include "service/cache_tuner.h"

#include "common/system_cache_control.h"
#include "service/settings_store.h"

CacheTuner::CacheTuner(SystemCacheControl& cache, SettingsStore& settings, CSqueezeRam& squeezer)
    : cache_(cache), settings_(settings), squeezer_(squeezer) {
  cache_.Initialize();
  ReadOsVersion();
  state_.MemoryZipperPlus = settings_.ReadMemoryZipperPlus();
  state_.RamAvailable = settings_.ReadRamAvailable();
  state_.MaxCacheSize = settings_.ReadMaxCacheSize();
  state_.BasedOnRam = settings_.ReadBasedOnRam();
  state_.Settings = settings_.ReadSettings();
  BindMemoryStatus();
  TakeSnapshot();
  // Retries privilege and binding when the first call failed.
  cache_.Initialize();
  // The one place where tuning is decided: a cache that cannot be queried now is
  // never tuned in this process.
  state_.enabled = cache_.Query() == 1;
  ComputeAutoTarget();
  // First limits: a quarter and a half of the available memory, whether or not
  // tuning is possible.
  cache_.SetLimits(state_.snapshot.availPhysKB / 4, state_.snapshot.availPhysKB / 2);

  const uint32_t totalKB = state_.snapshot.totalPhysKB;
  state_.target18KB = percentOf(totalKB, 18);
  state_.target27KB = percentOf(totalKB, 27);
  state_.target45KB = percentOf(totalKB, 45);
  state_.target81KB = percentOf(totalKB, 81);
}

void CacheTuner::ComputeAutoTarget() {
  TakeSnapshot();
  const uint32_t totalKB = state_.snapshot.totalPhysKB;
  const uint32_t totalMB = state_.snapshot.totalPhysMB;
  // The smaller the machine, the smaller the cache's share.
  uint32_t share = 74;
  if (totalMB <= 64) {
    share = 16;
  } else if (totalMB <= 128) {
    share = 27;
  } else if (totalMB <= 192) {
    share = 45;
  } else if (totalMB <= 255) {
    share = 63;
  } else if (totalMB <= 511) {
    share = 72;
  }
  uint32_t target = percentOf(totalKB, share);
  if (target == 0 || target > totalKB) {
    target = percentOf(totalKB, 63);
  }
  state_.autoTargetKB = target & ~uint32_t{63};
}

void CacheTuner::ReloadSettings() {
  state_.Settings = settings_.ReadSettings();
  state_.MemoryZipperPlus = settings_.ReadMemoryZipperPlus();
  state_.RamAvailable = settings_.ReadRamAvailable();
  state_.MaxCacheSize = settings_.ReadMaxCacheSize();
  state_.BasedOnRam = settings_.ReadBasedOnRam();
}

void CacheTuner::ReportServiceStarted() {
  events_.Started(settings_, state_.enabled, cache_.bindFailed != 0, cache_.privilegeFailed != 0);
}

void CacheTuner::ReportServiceStopped() {
  events_.Stopped();
}

// The tick's own re-read, in its own order.
void CacheTuner::ReadSettingsCopies() {
  state_.MemoryZipperPlus = settings_.ReadMemoryZipperPlus();
  state_.RamAvailable = settings_.ReadRamAvailable();
  state_.MaxCacheSize = settings_.ReadMaxCacheSize();
  state_.BasedOnRam = settings_.ReadBasedOnRam();
  state_.Settings = settings_.ReadSettings();
}
