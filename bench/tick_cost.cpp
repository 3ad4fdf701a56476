// What a tuner tick costs on the simulated machine, beside what the simulated
// platform calls it makes cost by themselves.
//
// For each path and load band, the machine and tuner are set up as in
// tick_benchmark.cpp (512 MB, 200 MB available, cache at 100 MB, no periodic
// boost, the recorder off). The tuner first ticks through two settings re-read
// cycles with the simulated machine counting every kind of call, and the
// counts of each of those ticks are kept. Then the tuner's ticks and a replay
// of the kept calls take turns, a chunk of each at a time, so that both meet
// the same conditions of the machine: the replay makes, for tick i, as many
// calls of each kind as tick i made, with valid arguments, and as many fault
// guards (each around an empty body), and nothing else.
// Times are the thread's CPU time. A run is kChunks chunk pairs; each run
// prints one line:
//
//   tick PATH LOAD RUN OURS_NS BASELINE_NS CALLS_PER_TICK GUARDS_PER_TICK
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench/bench_tuner.h"
#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/sim/sim_machine.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"

namespace {

// Two re-reads of the settings: every periodic action of the tick shows up.
constexpr int kRecordedTicks = 2 * 21002;
constexpr int kChunkTicks = 2000;
constexpr int kChunks = 60;
constexpr int kRuns = 31;

constexpr uint32_t kFileCacheInformation = 21;
constexpr uint32_t kKeyAccess = 0xF003F;  // KEY_ALL_ACCESS

// The kinds of call a tick makes on this machine, and what replays one of each.
constexpr sim::Call kReplayed[] = {
    sim::Call::MemoryStatusEx, sim::Call::NativeQuery, sim::Call::NativeSet,
    sim::Call::VolumeOpen,     sim::Call::VolumeFlush, sim::Call::RegOpen,
    sim::Call::RegCreate,      sim::Call::RegQuery,    sim::Call::RegSet,
};

uint64_t CpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// The calls of the recorded ticks: calls[begin[i]] to calls[begin[i + 1]] are
// those of tick i, and guards[i] the fault guards it entered.
struct Recording {
  std::vector<sim::Call> calls;
  std::vector<uint32_t> begin;
  std::vector<uint32_t> guards;
  bool complete = true;  // false: a tick made a call that is not replayed
};

bool Replayed(sim::Call call) {
  for (sim::Call known : kReplayed) {
    if (known == call) {
      return true;
    }
  }
  return false;
}

Recording Record(CacheTuner& tuner) {
  sim::Machine& m = sim::machine();
  Recording recording;
  recording.calls.reserve(kRecordedTicks * 8);
  recording.begin.reserve(kRecordedTicks + 1);
  recording.guards.reserve(kRecordedTicks);
  uint64_t before[sim::kCallKinds];
  for (int tick = 0; tick < kRecordedTicks; ++tick) {
    for (size_t kind = 0; kind < sim::kCallKinds; ++kind) {
      before[kind] = m.Calls(static_cast<sim::Call>(kind));
    }
    const uint64_t guardsBefore = m.guardsEntered;
    tuner.Tick();
    recording.guards.push_back(static_cast<uint32_t>(m.guardsEntered - guardsBefore));
    recording.begin.push_back(static_cast<uint32_t>(recording.calls.size()));
    for (size_t kind = 0; kind < sim::kCallKinds; ++kind) {
      const auto call = static_cast<sim::Call>(kind);
      const uint64_t made = m.Calls(call) - before[kind];
      if (made != 0 && !Replayed(call)) {
        recording.complete = false;
      }
      for (uint64_t i = 0; i < made; ++i) {
        recording.calls.push_back(call);
      }
    }
  }
  recording.begin.push_back(static_cast<uint32_t>(recording.calls.size()));
  return recording;
}

// Everything a replayed call needs, bound and opened once beforehand.
struct Targets {
  plat::ProcAddress memoryStatusEx = nullptr;
  plat::ProcAddress query = nullptr;
  plat::ProcAddress set = nullptr;
  plat::Handle volume = nullptr;
  plat::RegHandle key = nullptr;
  FileCacheInfo record{};  // what a query fills, or what a set request carries
  uint64_t minimumBytes = 0;
  uint64_t maximumBytes = 0;
  plat::MemoryStatus status{};
};

Targets Bind() {
  Targets t;
  t.memoryStatusEx = plat::FindProc(plat::FindModule(L"kernel32.dll"), "GlobalMemoryStatusEx");
  const plat::ModuleHandle ntdll = plat::FindModule(L"ntdll.dll");
  t.query = plat::FindProc(ntdll, "NtQuerySystemInformation");
  t.set = plat::FindProc(ntdll, "NtSetSystemInformation");
  t.volume = plat::OpenVolume(L"\\\\.\\C:");
  plat::RegOpen(plat::kLocalMachine, kSettingsKeyPath, kKeyAccess, t.key);
  // Setting again what is set leaves the machine as the tuner left it.
  t.minimumBytes = sim::machine().fileCache.minimumPages * 4096;
  t.maximumBytes = sim::machine().fileCache.maximumPages * 4096;
  return t;
}

void MakeCall(sim::Call call, Targets& t) {
  uint32_t length = 0;
  switch (call) {
    case sim::Call::MemoryStatusEx:
      plat::QueryMemoryStatusEx(t.memoryStatusEx, t.status);
      break;
    case sim::Call::NativeQuery:
      plat::QuerySystemInformation(t.query, kFileCacheInformation, &t.record, sizeof t.record,
                                   &length);
      break;
    case sim::Call::NativeSet:
      // A request is written afresh for each call, as any caller writes it.
      t.record = FileCacheInfo{};
      t.record.MinimumWorkingSet = t.minimumBytes;
      t.record.MaximumWorkingSet = t.maximumBytes;
      plat::SetSystemInformation(t.set, kFileCacheInformation, &t.record, sizeof t.record);
      break;
    case sim::Call::VolumeOpen:
      plat::CloseObject(plat::OpenVolume(L"\\\\.\\C:"));
      break;
    case sim::Call::VolumeFlush:
      plat::FlushVolume(t.volume);
      break;
    case sim::Call::RegOpen: {
      plat::RegHandle key = nullptr;
      plat::RegOpen(plat::kLocalMachine, kSettingsKeyPath, kKeyAccess, key);
      plat::RegClose(key);
      break;
    }
    case sim::Call::RegCreate: {
      plat::RegHandle key = nullptr;
      plat::RegCreate(plat::kLocalMachine, kSettingsKeyPath, kKeyAccess, key);
      plat::RegClose(key);
      break;
    }
    case sim::Call::RegQuery: {
      uint32_t type = 0;
      uint32_t value = 0;
      uint32_t size = sizeof value;
      plat::RegQuery(t.key, L"AutoOptHour", &type, &value, &size);
      break;
    }
    case sim::Call::RegSet: {
      const uint32_t value = 30000;
      plat::RegSet(t.key, L"AutoOptHour", plat::kRegDword, &value, sizeof value);
      break;
    }
    default:
      break;
  }
}

volatile uint64_t gSink = 0;

void Nothing(void* /*context*/) {}

bool Measure(uint32_t settingsValue, uint32_t load) {
  // The machine and tuner of tick_benchmark.cpp, ticked once the same way.
  BenchTuner bench(settingsValue, load);
  CacheTuner& tuner = bench.tuner;

  const Recording recording = Record(tuner);
  const char* const path = settingsValue == 1 ? "fixed" : "automatic";
  if (!recording.complete) {
    std::printf("tick_error %s %u a tick made a kind of call that the replay does not make\n", path,
                load);
    return false;
  }
  Targets targets = Bind();
  const double callsPerTick =
      static_cast<double>(recording.calls.size()) / static_cast<double>(kRecordedTicks);
  uint64_t guardsRecorded = 0;
  for (const uint32_t entered : recording.guards) {
    guardsRecorded += entered;
  }
  const double guardsPerTick =
      static_cast<double>(guardsRecorded) / static_cast<double>(kRecordedTicks);
  const sim::Call* const calls = recording.calls.data();
  const uint32_t* const begin = recording.begin.data();
  const uint32_t* const guards = recording.guards.data();
  int replayTick = 0;
  for (int run = 0; run < kRuns; ++run) {
    uint64_t oursNs = 0;
    uint64_t baselineNs = 0;
    for (int chunk = 0; chunk < kChunks; ++chunk) {
      const uint64_t start = CpuNs();
      for (int i = 0; i < kChunkTicks; ++i) {
        tuner.Tick();
      }
      const uint64_t middle = CpuNs();
      for (int i = 0; i < kChunkTicks; ++i) {
        for (uint32_t c = begin[replayTick]; c != begin[replayTick + 1]; ++c) {
          MakeCall(calls[c], targets);
        }
        for (uint32_t g = 0; g != guards[replayTick]; ++g) {
          plat::RunGuarded(&Nothing, nullptr);
        }
        if (++replayTick == kRecordedTicks) {
          replayTick = 0;
        }
      }
      const uint64_t end = CpuNs();
      oursNs += middle - start;
      baselineNs += end - middle;
    }
    gSink = targets.status.availPhys;
    constexpr double kTicksPerRun = double{kChunkTicks} * kChunks;
    std::printf("tick %s %u %d %.2f %.2f %.4f %.4f\n", path, load, run,
                static_cast<double>(oursNs) / kTicksPerRun,
                static_cast<double>(baselineNs) / kTicksPerRun, callsPerTick, guardsPerTick);
  }
  std::fflush(stdout);
  return true;
}

}  // namespace

int main() {
  bool complete = true;
  for (const uint32_t settingsValue : {0u, 1u}) {
    for (const uint32_t load : {20u, 50u, 70u, 85u, 95u}) {
      complete = Measure(settingsValue, load) && complete;
    }
  }
  return complete ? 0 : 1;
}
