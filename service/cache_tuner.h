// CacheTuner: keeps the system file cache between a minimum and a maximum that
// it recomputes on every tick from physical memory and memory load.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/wrapping.h"
#include "platform/platform.h"
#include "service/service_event_log.h"

class SystemCacheControl;
class SettingsStore;
class CSqueezeRam;

// x / 100 x p with the low six bits cleared: a share of an amount, rounded down
// to a multiple of 64. Shares above 100 percent of amounts near 4 TB pass 32
// bits and wrap.
constexpr uint32_t percentOf(uint32_t x, uint32_t p) {
  return WrappingMul(x / 100, p) & ~uint32_t{63};
}

// The tuner's last memory reading.
struct MemorySnapshot {
  uint32_t totalPhysKB = 0;
  uint32_t totalPhysMB = 0;
  uint32_t availPhysKB = 0;
  uint32_t availPageFileKB = 0;
  uint32_t memoryLoad = 0;  // percent in use
};

struct TunerState {
  // Platform facts, learnt once at construction.
  uint32_t osMajorVersion = 0;
  bool useMemoryStatusEx = false;
  plat::ProcAddress memoryStatusEx = nullptr;

  MemorySnapshot snapshot;

  bool enabled = false;

  // Copies of five settings. A reload on the control thread replaces them while
  // a tick may read them; each is stored and read whole.
  std::atomic<uint32_t> Settings{0};
  std::atomic<uint32_t> MemoryZipperPlus{0};
  std::atomic<uint32_t> RamAvailable{0};
  std::atomic<uint32_t> MaxCacheSize{0};
  std::atomic<uint32_t> BasedOnRam{0};

  // Targets fixed at construction, KB.
  uint32_t autoTargetKB = 0;
  uint32_t target18KB = 0;
  uint32_t target27KB = 0;
  uint32_t target45KB = 0;
  uint32_t target81KB = 0;

  // The limits last computed by a tick path, KB.
  uint32_t workMinKB = 0;
  uint32_t workMaxKB = 0;

  // Counters pacing the periodic work. Some start high so that the first tick
  // or call already acts.
  uint32_t maintenanceCount = 8001;
  uint32_t reloadCount = 0;
  uint32_t fixedFlushCount = 0;
  uint32_t autoFlushCount = 0;
  uint32_t zipperCallCount = 0;
  uint32_t emptyCount = 0;
  uint32_t zipperCount = 0;
  uint32_t throttleCount = 25;
  uint32_t boostCount = 0;
};

class CacheTuner {
 public:
  // Initializes cache control, learns the platform facts, copies the settings,
  // decides once whether tuning is possible, sets first limits of a quarter and
  // a half of the available memory, and computes the fixed targets.
  CacheTuner(SystemCacheControl& cache, SettingsStore& settings, CSqueezeRam& squeezer);

  CacheTuner(const CacheTuner&) = delete;
  CacheTuner& operator=(const CacheTuner&) = delete;

  // Re-reads the five settings copies (service control code 144).
  void ReloadSettings();

  // One pass of the tuning loop, about every 800 ms.
  void Tick();

  // The service has started: writes the start entry to the Event Log with
  // the settings in force and what construction found, and from now on the
  // entries of ticks. Construction runs in every velsvc process, so it never
  // writes an entry itself.
  void ReportServiceStarted();
  // The service is stopping: writes the stop entry.
  void ReportServiceStopped();

  const TunerState& state() const { return state_; }

 private:
  friend class CacheTunerTest;

  // Memory snapshot and platform facts.
  bool ReadOsVersion();
  void BindMemoryStatus();
  void TakeSnapshot();

  void ComputeAutoTarget();
  void ReadSettingsCopies();

  // The memory load of the latest snapshot, L, and its complement F = 100 - L:
  // every snapshot a step takes, the memory zipper's included, moves them.
  uint32_t Load() const { return state_.snapshot.memoryLoad; }
  uint32_t Free() const { return 100 - state_.snapshot.memoryLoad; }

  // The tick's two paths and their helpers.
  void TuneFixed();
  void TuneAuto();
  void EmptyAndRestore();
  void EmptyCache();
  void ThrottledSetLimits(uint32_t minKB, uint32_t maxKB);
  void SetLimits(uint32_t minKB, uint32_t maxKB);

  // Maintenance actions.
  void FlushFixedDrives();
  void MemoryZipper();
  void PeriodicBoost();
  void Boost();

  SystemCacheControl& cache_;
  SettingsStore& settings_;
  CSqueezeRam& squeezer_;
  TunerState state_;
  ServiceEventLog events_;
};
