#include "tray/memory_actions.h"

#include <cstdint>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "common/wrapping.h"
#include "platform/handles.h"

namespace {

void EmptyAndRestoreLimits(SystemCacheControl& cache) {
  cache.Query();
  const uint32_t savedMinimumKB = cache.minimumKB;
  const uint32_t savedMaximumKB = cache.maximumKB;
  cache.SetLimits(256, 512);
  plat::SleepMs(100);
  cache.SetLimits(kEmptyRequestKB, kEmptyRequestKB);
  plat::SleepMs(100);
  cache.SetLimits(256, 512);
  plat::SleepMs(100);
  // The published figures pass back unchanged, so this restores what was read.
  cache.SetLimits(savedMinimumKB, savedMaximumKB);
  plat::SleepMs(100);
}

}  // namespace

void BoostMemoryNow(const MemoryActionContext& context) {
  // Only the reading is guarded: the squeezer and the icon refresh hold
  // handles while they work, and guard their own calls.
  plat::MemoryStatus status{};
  if (!plat::Guarded([&status] { plat::QueryMemoryStatus(status); })) {
    return;
  }
  const uint32_t load = status.memoryLoad;
  const auto totalMB = static_cast<uint32_t>(status.totalPhys >> 20);
  const auto availMB = static_cast<uint32_t>(status.availPhys >> 20);
  const auto pageFileMB = static_cast<uint32_t>(status.availPageFile >> 20);
  // Each figure keeps the low 32 bits of its MB, and so does their sum.
  const uint32_t spareMB = WrappingAdd(availMB, pageFileMB);
  const auto cap = [spareMB](uint32_t amount) { return amount > spareMB ? spareMB >> 1 : amount; };
  // A squeeze commits its whole amount at once: each request keeps to half of
  // the commit still available, so that other programs' allocations go on
  // succeeding while it runs.
  const uint32_t commitLimitMB = pageFileMB >> 1;
  const auto squeeze = [&context, commitLimitMB](uint32_t amountMB) {
    context.squeezer.SqueezeRam(amountMB < commitLimitMB ? amountMB : commitLimitMB);
    context.refreshIcon();
  };

  if (load <= 26) {
    squeeze((totalMB / 9) * 7);
  } else if (load <= 53) {
    squeeze(cap((totalMB / 3) * 2));
  } else if (load <= 80) {
    EmptySystemCache(context.cache);
    squeeze(cap(totalMB >> 1));
  } else if (load <= 100) {
    // A load of 81 counts with the top band.
    EmptySystemCache(context.cache);
    squeeze(cap(totalMB / 3));
    squeeze(cap(totalMB >> 1));
  }
}

void EmptySystemCache(SystemCacheControl& cache) {
  plat::Guarded([&cache] { EmptyAndRestoreLimits(cache); });
}
