// How many C++ allocations a tuner tick makes, for each path and load band on
// the simulated machine of tick_benchmark.cpp: every operator new of the
// process is counted while the tuner ticks through two settings re-read cycles
// (so the maintenance, the volume flushes and the re-read are among them).
// Prints one line per path and band: "allocations PATH LOAD TICKS COUNT".
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_tuner.h"
#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/sim/sim_machine.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"
#include "tests/support/allocation_counter.h"

namespace {

constexpr int kTicks = 2 * 21002;

uint64_t CountAt(uint32_t settingsValue, uint32_t load) {
  BenchTuner bench(settingsValue, load);
  CacheTuner& tuner = bench.tuner;

  gAllocations = 0;
  gCounting = true;
  for (int i = 0; i < kTicks; ++i) {
    tuner.Tick();
  }
  gCounting = false;
  return gAllocations.load();
}

}  // namespace

int main() {
  const uint32_t loads[] = {20, 50, 70, 85, 95};
  for (const uint32_t settingsValue : {0u, 1u}) {
    for (const uint32_t load : loads) {
      const uint64_t count = CountAt(settingsValue, load);
      std::printf("allocations %s %u %d %llu\n", settingsValue == 1 ? "fixed" : "automatic", load,
                  kTicks, static_cast<unsigned long long>(count));
    }
  }
  return 0;
}
