// The cost of one tuner tick on the simulated machine, for each path and load
// band, with the recorder switched off.
#include <benchmark/benchmark.h>

#include "bench/bench_tuner.h"
#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/sim/sim_machine.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"

namespace {

void TickAt(benchmark::State& state, uint32_t settingsValue) {
  const auto load = static_cast<uint32_t>(state.range(0));
  BenchTuner bench(settingsValue, load);
  CacheTuner& tuner = bench.tuner;
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
