// The tuner's view of memory: the platform facts and the memory snapshot.
#include "platform/handles.h"
#include "service/cache_tuner.h"

namespace {

constexpr uint32_t kVersionRecordEx = 284;  // extended version record
constexpr uint32_t kVersionRecord = 276;    // plain version record

// Fills the snapshot's amounts from bytes; KB and MB keep their low 32 bits,
// each taken from the bytes, so that MB stays right where KB wraps.
void FillFromBytes(MemorySnapshot& snapshot, const plat::MemoryStatus& status) {
  snapshot.totalPhysKB = static_cast<uint32_t>(status.totalPhys / 1024);
  snapshot.totalPhysMB = static_cast<uint32_t>(status.totalPhys >> 20);
  snapshot.availPhysKB = static_cast<uint32_t>(status.availPhys / 1024);
  snapshot.availPageFileKB = static_cast<uint32_t>(status.availPageFile / 1024);
  snapshot.memoryLoad = status.memoryLoad;
}

// A load above 100 cannot be right: it is replaced by the share of physical
// memory in use.
uint32_t RepairedLoad(const MemorySnapshot& snapshot) {
  if (snapshot.memoryLoad <= 100) {
    return snapshot.memoryLoad;
  }
  if (snapshot.totalPhysKB == 0) {
    return 95;
  }
  if (snapshot.availPhysKB > snapshot.totalPhysKB) {
    return 0;
  }
  const uint64_t usedKB = uint64_t{snapshot.totalPhysKB} - snapshot.availPhysKB;
  return static_cast<uint32_t>(usedKB * 100 / snapshot.totalPhysKB);
}

}  // namespace

bool CacheTuner::ReadOsVersion() {
  uint32_t major = 0;
  if (!plat::ReadOsMajorVersion(kVersionRecordEx, major) &&
      !plat::ReadOsMajorVersion(kVersionRecord, major)) {
    return false;
  }
  state_.osMajorVersion = major;
  return true;
}

void CacheTuner::BindMemoryStatus() {
  const plat::ModuleHandle kernel32 = plat::FindModule(L"kernel32.dll");
  // Version 4 systems never use the extended call, even where it exists.
  if (state_.osMajorVersion >= 5) {
    state_.memoryStatusEx = plat::FindProc(kernel32, "GlobalMemoryStatusEx");
    if (state_.memoryStatusEx != nullptr) {
      state_.useMemoryStatusEx = true;
      return;
    }
  }
  state_.useMemoryStatusEx = false;
}

void CacheTuner::TakeSnapshot() {
  MemorySnapshot& snapshot = state_.snapshot;
  plat::MemoryStatus status{};
  bool filled = false;
  if (state_.useMemoryStatusEx) {
    if (plat::QueryMemoryStatusEx(state_.memoryStatusEx, status)) {
      FillFromBytes(snapshot, status);
      filled = true;
    } else {
      // A faulting extended call is not tried again in this process.
      state_.useMemoryStatusEx = false;
    }
  }
  if (!filled) {
    plat::Guarded([&] {
      plat::QueryMemoryStatus(status);
      FillFromBytes(snapshot, status);
    });
  }
  snapshot.memoryLoad = RepairedLoad(snapshot);
}
