#include "common/squeezer.h"

#include "platform/handles.h"

namespace {

constexpr int kBlockCount = 8;

// What a creation that faulted leaves as its error: the platform's "invalid
// access to memory location". Like any error, it means no squeeze now.
constexpr uint32_t kErrorNoAccess = 998;

}  // namespace

// The handle's owner lives outside the guarded creation, so a fault there
// leaves nothing open.
SqueezeMutex::SqueezeMutex() : creationError_(kErrorNoAccess) {
  plat::Guarded([this] {
    *handle_.put() = plat::CreateNamedMutexW(true, kSqueezeMutexName);
    creationError_ = plat::LastError();
  });
}

SqueezeMutex::~SqueezeMutex() {
  Close();
}

void SqueezeMutex::Close() {
  if (handle_) {
    plat::Guarded([this] { handle_.reset(); });
  }
}

void CSqueezeRam::SqueezeRam(uint32_t amountMB) {
  SqueezeMutex probe;
  if (probe.creationError() != 0) {
    return;
  }
  pendingAmountMB_.store(amountMB, std::memory_order_relaxed);
  // The probe goes before the worker starts, so the worker never meets its own
  // request's probe and gives up.
  probe.Close();
  plat::Guarded([this] { plat::StartDetachedThread(&CSqueezeRam::SqueezeWorker, this); });
}

unsigned CSqueezeRam::SqueezeWorker(void* self) {
  static_cast<CSqueezeRam*>(self)->Squeeze();
  return 0;
}

void CSqueezeRam::Squeeze() {
  SqueezeMutex mutex;
  if (mutex.creationError() != 0) {
    return;  // another holder exists: no squeeze now
  }
  const uint64_t amountMB = pendingAmountMB_.load(std::memory_order_relaxed);
  // Eight blocks of an eighth each, so that at the peak the whole amount is held.
  const uint64_t blockSize = amountMB * 131072;
  void* blocks[kBlockCount] = {};
  for (void*& block : blocks) {
    block = AllocateBlock(blockSize);
    if (block != nullptr) {
      TouchBlock(block, blockSize);
    }
  }
  for (void* block : blocks) {
    if (block != nullptr) {
      ReleaseBlock(block);
    }
  }
}

void* CSqueezeRam::AllocateBlock(uint64_t size) {
  void* address = nullptr;
  plat::Guarded([&] { address = plat::CommitMemory(size); });
  return address;
}

void CSqueezeRam::TouchBlock(void* address, uint64_t size) const {
  // Blocks are whole multiples of 128 KB, so the limit never wraps.
  const uint64_t limit = size - 2048;
  plat::Guarded([&] { plat::TouchMemory(address, limit, touchStride_); });
}

int CSqueezeRam::ReleaseBlock(void* address) {
  return plat::Guarded([address] { plat::ReleaseMemory(address); }) ? 1 : 0;
}
