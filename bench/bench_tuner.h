// The tuner every tick measurement runs: a simulated 512 MB machine with 200 MB
// available and a 100 MB file cache, the periodic boost pushed out of reach (its
// pause and squeeze are not the tick's), ticked once, then set to a load.
#pragma once

#include <cstdint>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/sim/sim_machine.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"

class BenchTuner {
 public:
  // `settingsValue` 1 selects the fixed-size path; the recorder is off after the
  // first tick.
  BenchTuner(uint32_t settingsValue, uint32_t load) : prepared_(Prepare(settingsValue)) {
    tuner.Tick();
    sim::machine().recording = false;
    sim::machine().current.load = load;
  }

 private:
  static bool Prepare(uint32_t settingsValue) {
    constexpr uint64_t kMB = 1024 * 1024;
    sim::Reset();
    sim::Machine& m = sim::machine();
    m.current = sim::Reading{512 * kMB, 200 * kMB, 50, 512 * kMB};
    m.fileCache.currentSize = 100 * kMB;
    sim::RegKeyNode& key = m.Key(plat::kLocalMachine, kSettingsKeyPath);
    key.exists = true;
    const uint32_t autoOptHour = 30000;
    key.Set(L"AutoOptHour", plat::kRegDword, &autoOptHour, 4);
    key.Set(L"Settings", plat::kRegDword, &settingsValue, 4);
    return true;
  }

  bool prepared_;

 public:
  SystemCacheControl cache;
  SettingsStore settings;
  CSqueezeRam squeezer{kServiceTouchStride};
  CacheTuner tuner{cache, settings, squeezer};
};
