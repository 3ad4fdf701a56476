// A tuner built afresh on the simulated machine, with its collaborators.
#pragma once

#include <memory>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"
#include "tests/unit/sim_fixture.h"

// Reaches the tuner's inner operations and state for tests.
class CacheTunerTest {
 public:
  static TunerState& State(CacheTuner& tuner) { return tuner.state_; }
  static void TakeSnapshot(CacheTuner& tuner) { tuner.TakeSnapshot(); }
  static void FlushFixedDrives(CacheTuner& tuner) { tuner.FlushFixedDrives(); }
  static void MemoryZipper(CacheTuner& tuner) { tuner.MemoryZipper(); }
  static void PeriodicBoost(CacheTuner& tuner) { tuner.PeriodicBoost(); }
  static void Boost(CacheTuner& tuner) { tuner.Boost(); }
  static void ThrottledSetLimits(CacheTuner& tuner, uint32_t minKB, uint32_t maxKB) {
    tuner.ThrottledSetLimits(minKB, maxKB);
  }
  static void SetLimits(CacheTuner& tuner, uint32_t minKB, uint32_t maxKB) {
    tuner.SetLimits(minKB, maxKB);
  }
};

class TunerTest : public SimTest {
 protected:
  // A 512 MB machine at half load with half its memory free unless a test says
  // otherwise before Build().
  void SetUp() override { FreshMachine(); }

  // The machine every test starts on, afresh: 512 MB with 256 MB available at
  // a load of 50; for each case of a table.
  static void FreshMachine() {
    sim::Reset();
    SetMemory(512 * kMB, 256 * kMB, 50, 512 * kMB);
  }

  // The service's process-wide objects in their order.
  CacheTuner& Build() {
    cache = std::make_unique<SystemCacheControl>();
    settings = std::make_unique<SettingsStore>();
    squeezer = std::make_unique<CSqueezeRam>(kServiceTouchStride);
    tuner = std::make_unique<CacheTuner>(*cache, *settings, *squeezer);
    return *tuner;
  }

  // Builds the tuner and runs its first tick (which maintains and boosts), then
  // forgets what happened so far.
  CacheTuner& BuildPastFirstTick() {
    Build();
    tuner->Tick();
    ClearEvents();
    return *tuner;
  }

  TunerState& state() { return CacheTunerTest::State(*tuner); }

  void Ticks(int count) {
    for (int i = 0; i < count; ++i) {
      tuner->Tick();
    }
  }

  std::unique_ptr<SystemCacheControl> cache;
  std::unique_ptr<SettingsStore> settings;
  std::unique_ptr<CSqueezeRam> squeezer;
  std::unique_ptr<CacheTuner> tuner;
};
