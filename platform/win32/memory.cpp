// Memory status and committed memory.
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace plat {

static_assert(sizeof(MEMORYSTATUSEX) == 64, "the extended memory-status record is 64 bytes");

void QueryMemoryStatus(MemoryStatus& status) {
  MEMORYSTATUS record{};
  record.dwLength = sizeof(record);
  GlobalMemoryStatus(&record);
  status.memoryLoad = record.dwMemoryLoad;
  status.totalPhys = record.dwTotalPhys;
  status.availPhys = record.dwAvailPhys;
  status.availPageFile = record.dwAvailPageFile;
}

namespace {

using MemoryStatusExCall = BOOL(WINAPI*)(LPMEMORYSTATUSEX);

struct MemoryStatusExRequest {
  MemoryStatusExCall call;
  MEMORYSTATUSEX* record;
};

void CallMemoryStatusEx(void* context) {
  auto* const request = static_cast<MemoryStatusExRequest*>(context);
  // Its result is not looked at: whatever the call wrote is what is reported.
  request->call(request->record);
}

}  // namespace

bool QueryMemoryStatusEx(ProcAddress bound, MemoryStatus& status) {
  if (bound == nullptr) {
    return false;
  }
  MEMORYSTATUSEX record{};
  record.dwLength = sizeof(record);
  MemoryStatusExRequest request{reinterpret_cast<MemoryStatusExCall>(bound), &record};
  if (!RunGuarded(&CallMemoryStatusEx, &request)) {
    return false;
  }
  status.memoryLoad = record.dwMemoryLoad;
  status.totalPhys = record.ullTotalPhys;
  status.availPhys = record.ullAvailPhys;
  status.availPageFile = record.ullAvailPageFile;
  return true;
}

void* CommitMemory(uint64_t bytes) {
  if (bytes > SIZE_MAX) {
    return nullptr;
  }
  // A size of 0 is refused by the system itself, which gives null.
  return VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_RESERVE | MEM_COMMIT,
                      PAGE_READWRITE);
}

bool ReleaseMemory(void* address) {
  return VirtualFree(address, 0, MEM_RELEASE) != FALSE;
}

void TouchMemory(void* address, uint64_t limit, uint32_t stride) {
  // Volatile, so that writes of a value the fresh pages already hold are kept.
  auto* const bytes = static_cast<volatile unsigned char*>(address);
  for (uint64_t offset = 0; offset < limit; offset += stride) {
    bytes[offset] = 0;
    // A stride of 0 would never get past the first byte; one write is all it
    // can mean. Stop too before the offset would wrap around.
    if (stride == 0 || offset > UINT64_MAX - stride) {
      break;
    }
  }
}

}  // namespace plat
