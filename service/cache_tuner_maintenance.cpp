// The tuner's housekeeping: flushing the fixed volumes, the memory zipper and
// the periodic boost.
#include "common/squeezer.h"
#include "common/wrapping.h"
#include "platform/handles.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"

namespace {

// Amount of a boost in MB for a memory load: the fuller the memory, the less is
// asked for. Amounts above the spare memory (free physical memory plus free
// page file) are halved spare instead. A load of 81 counts with the top band.
uint32_t BoostAmountMB(uint32_t load, uint32_t totalMB, uint32_t spareMB) {
  const auto cap = [spareMB](uint32_t amount) { return amount > spareMB ? spareMB / 2 : amount; };
  if (load <= 26) {
    return (totalMB / 9) * 7;
  }
  if (load <= 53) {
    return cap((totalMB / 3) * 2);
  }
  if (load <= 80) {
    return cap(totalMB / 2);
  }
  return cap(totalMB / 3);
}

// A squeeze commits its whole amount at once: it never asks for more than half
// of the commit still available, so that other programs' allocations go on
// succeeding while it runs.
uint32_t WithinCommitMB(uint32_t amountMB, uint32_t availPageFileMB) {
  return amountMB < (availPageFileMB >> 1) ? amountMB : availPageFileMB >> 1;
}

}  // namespace

void CacheTuner::FlushFixedDrives() {
  uint32_t mask = plat::LogicalDrives();
  for (wchar_t index = 0; mask != 0; mask >>= 1, ++index) {
    if ((mask & 1) == 0) {
      continue;
    }
    const wchar_t letter = static_cast<wchar_t>(L'A' + index);
    const wchar_t rootPath[] = {letter, L':', L'\\', 0};
    if (plat::DriveType(rootPath) != plat::kDriveFixed) {
      continue;
    }
    const wchar_t volumePath[] = {L'\\', L'\\', L'.', L'\\', letter, L':', 0};
    plat::UniqueObject volume(plat::OpenVolume(volumePath));
    if (volume) {
      // A fault while flushing one volume does not stop the walk.
      plat::Guarded([&volume] { plat::FlushVolume(volume.get()); });
    }
  }
}

void CacheTuner::MemoryZipper() {
  TunerState& s = state_;
  if (s.MemoryZipperPlus == 0) {
    return;
  }
  // Acts on every 51st call.
  if (++s.zipperCount < 51) {
    return;
  }
  s.zipperCount = 0;
  TakeSnapshot();
  if (s.RamAvailable <= s.snapshot.availPhysKB / 1024) {
    return;  // enough free memory
  }
  if (s.RamAvailable > s.snapshot.totalPhysMB) {
    // A threshold beyond physical memory is brought down to a fifth of it, here
    // and in the registry.
    s.RamAvailable = s.snapshot.totalPhysMB / 5;
    settings_.WriteRamAvailable(s.RamAvailable);
  }
  // The threshold stays as it is; only the request keeps within the commit.
  const uint32_t threshold = s.RamAvailable;
  const uint32_t commitMB = s.snapshot.availPageFileKB / 1024;
  const uint32_t requested = WithinCommitMB(threshold, commitMB);
  squeezer_.SqueezeRam(requested);
  if (requested < threshold) {
    events_.SqueezeLimited(L"memory zipper", threshold, commitMB, requested);
  }
}

void CacheTuner::PeriodicBoost() {
  TunerState& s = state_;
  ++s.boostCount;
  if (settings_.ReadIsAutoOptHour() != 0) {
    // Any registry value is taken: twice a value above 2^31 wraps.
    const uint32_t every = WrappingMul(settings_.ReadAutoOptHour(), 2) / 3;
    if (s.boostCount >= every) {
      s.boostCount = 0;
      Boost();
      plat::SleepMs(8192);
    }
  } else if (s.boostCount > 3) {
    s.boostCount = 0;
    Boost();
    plat::SleepMs(8192);
  }
}

void CacheTuner::Boost() {
  // The squeezer holds its probe while it works and guards its own calls; only
  // the reading is guarded here.
  if (!plat::Guarded([this] { TakeSnapshot(); })) {
    return;
  }
  const MemorySnapshot& snap = state_.snapshot;
  const uint32_t pageFileMB = snap.availPageFileKB / 1024;
  const uint32_t spareMB = snap.availPhysKB / 1024 + pageFileMB;
  const uint32_t decided = BoostAmountMB(snap.memoryLoad, snap.totalPhysMB, spareMB);
  const uint32_t requested = WithinCommitMB(decided, pageFileMB);
  squeezer_.SqueezeRam(requested);
  if (requested < decided) {
    events_.SqueezeLimited(L"periodic boost", decided, pageFileMB, requested);
  }
  events_.Boosted(requested, snap.memoryLoad, snap.availPhysKB / 1024);
}
