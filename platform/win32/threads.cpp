// Threads and sleeping.
#include <windows.h>

#include <process.h>

#include <cstdint>

#include "platform/platform.h"

namespace plat {

bool StartDetachedThread(ThreadRoutine routine, void* argument) {
  // Through the runtime's thread start, so that the runtime's per-thread state
  // is set up for the routine. On x64 there is one calling convention, so the
  // routine is the runtime's thread procedure as it is.
  uintptr_t const started = _beginthreadex(nullptr, 0, routine, argument, 0, nullptr);
  if (started == 0) {
    return false;
  }
  CloseHandle(reinterpret_cast<HANDLE>(started));
  return true;
}

void SleepMs(uint32_t milliseconds) {
  Sleep(milliseconds);
}

uint64_t TickCountMs() {
  return GetTickCount64();
}

}  // namespace plat
