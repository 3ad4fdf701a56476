// The cost of one tuner tick on the simulated machine, for each path and load
// band, with the recorder switched off.
#include <benchmark/benchmark.h>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/sim/sim_machine.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"

namespace {

constexpr uint64_t kMB = 1024 * 1024;

void TickAt(benchmark::State& state, uint32_t settingsValue) {
  const auto load = static_cast<uint32_t>(state.range(0));
  sim::Reset();
  sim::Machine& m = sim::machine();
  m.current = sim::Reading{512 * kMB, 200 * kMB, 50, 512 * kMB};
  m.fileCache.currentSize = 100 * kMB;
  // No periodic boost while measuring: the pause and the squeeze are not the tick's.
  sim::RegKeyNode& key = m.Key(plat::kLocalMachine, kSettingsKeyPath);
  key.exists = true;
  const uint32_t autoOptHour = 30000;
  key.Set(L"AutoOptHour", plat::kRegDword, &autoOptHour, 4);
  key.Set(L"Settings", plat::kRegDword, &settingsValue, 4);

  SystemCacheControl cache;
  SettingsStore settings;
  CSqueezeRam squeezer(kServiceTouchStride);
  CacheTuner tuner(cache, settings, squeezer);
  tuner.Tick();
  m.recording = false;
  m.current.load = load;
  for (auto _ : state) {
    tuner.Tick();
  }
}

void BM_TickAutomatic(benchmark::State& state) {
  TickAt(state, 0);
}
void BM_TickFixed(benchmark::State& state) {
  TickAt(state, 1);
}

BENCHMARK(BM_TickAutomatic)->Arg(20)->Arg(50)->Arg(70)->Arg(85)->Arg(95);
BENCHMARK(BM_TickFixed)->Arg(20)->Arg(50)->Arg(70)->Arg(85)->Arg(95);

}  // namespace

BENCHMARK_MAIN();
