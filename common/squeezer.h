// The RAM squeezer: frees physical memory by briefly committing and touching a
// large amount of it on a worker thread, one squeeze at a time on the machine.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/shared_names.h"
#include "platform/handles.h"
#include "platform/platform.h"

// The named mutex, created or opened on construction and closed on destruction.
// Nobody waits on it: only its existence counts.
class SqueezeMutex {
 public:
  SqueezeMutex();
  ~SqueezeMutex();
  SqueezeMutex(const SqueezeMutex&) = delete;
  SqueezeMutex& operator=(const SqueezeMutex&) = delete;

  // Closes the handle now (at most once).
  void Close();

  // 0 when this creation made a new mutex; otherwise it existed or creation failed.
  uint32_t creationError() const { return creationError_; }

 private:
  plat::UniqueObject handle_;
  uint32_t creationError_;
};

// Bytes between two writes of the touch pass: the service's stride touches
// every page below the block's last 2 KB; the tray's touches every page.
inline constexpr uint32_t kServiceTouchStride = 2151;
inline constexpr uint32_t kTrayTouchStride = 2048;

class CSqueezeRam {
 public:
  explicit CSqueezeRam(uint32_t touchStride) : touchStride_(touchStride) {}

  // Asks for about `amountMB` of physical memory to be freed and returns at once:
  // a worker thread squeezes unless a squeeze is already under way.
  void SqueezeRam(uint32_t amountMB);

  uint32_t pendingAmountMB() const { return pendingAmountMB_.load(std::memory_order_relaxed); }

 private:
  static unsigned SqueezeWorker(void* self);
  void Squeeze();

  static void* AllocateBlock(uint64_t size);
  void TouchBlock(void* address, uint64_t size) const;
  static int ReleaseBlock(void* address);

  const uint32_t touchStride_;
  // The amount of the request accepted last; the worker reads it once it has
  // won the mutex.
  std::atomic<uint32_t> pendingAmountMB_{0};
};
