// SystemCacheControl: reads and sets the limits of the system's file cache
// through the kernel's file-cache information calls.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The file-cache information record the kernel exchanges, as a 64-bit system
// lays it out. Sizes are in bytes; the limits are in 4 KB pages when queried and
// in bytes when set.
struct FileCacheInfo {
  uint64_t CurrentSize;
  uint64_t PeakSize;
  uint32_t PageFaultCount;
  uint64_t MinimumWorkingSet;
  uint64_t MaximumWorkingSet;
  uint64_t CurrentSizeIncludingTransitionInPages;
  uint64_t PeakSizeIncludingTransitionInPages;
  uint32_t TransitionRePurposeCount;
  uint32_t Flags;
};
static_assert(sizeof(FileCacheInfo) == 64, "the x64 file-cache record is 64 bytes");

// A limit of 4294967295 KB (-1) asks for the empty request: the cache is emptied.
inline constexpr uint32_t kEmptyRequestKB = 0xFFFFFFFFu;

// The status a set gives when the token lacks the quota privilege
// (STATUS_PRIVILEGE_NOT_HELD), as a standard user's token does.
inline constexpr uint32_t kStatusPrivilegeNotHeld = 0xC0000061u;

class SystemCacheControl {
 public:
  // Zeroes everything and initializes once; the result is not looked at.
  SystemCacheControl();

  SystemCacheControl(const SystemCacheControl&) = delete;
  SystemCacheControl& operator=(const SystemCacheControl&) = delete;

  // Enables the quota privilege and binds the two native calls. 1 once binding
  // has succeeded (later calls then return 1 at once), else 0.
  int Initialize();

  // Reads the file-cache record and publishes its four figures in KB; 1 or 0.
  int Query();

  // Sets the file cache's minimum and maximum in KB, then queries again; 1 or 0.
  // (kEmptyRequestKB, kEmptyRequestKB) empties the cache.
  int SetLimits(uint32_t minimumKB, uint32_t maximumKB);

  // Enables or disables one privilege in an open token; 1 or 0.
  static int EnablePrivilege(plat::Handle token, const wchar_t* privilegeName, bool enable);

  // Binds the native query call and, once it is found, the set call.
  bool Bind();

  // Published figures, fresh after a successful Query or SetLimits.
  uint32_t currentSizeKB = 0;
  uint32_t peakSizeKB = 0;
  uint32_t minimumKB = 0;
  uint32_t maximumKB = 0;

  int privilegeFailed = 0;
  int bindFailed = 0;
  bool initialized = false;

  // The status of the last set call made (0 before any): tells a caller why
  // SetLimits failed.
  uint32_t lastSetStatus = 0;

 private:
  // Steps 1 to 3 of a query: clear the record, query, publish.
  int QueryAndPublish();

  plat::ModuleHandle ntdllModule_ = nullptr;
  uint32_t returnedLength_ = 0;
  plat::ProcAddress queryInformation_ = nullptr;
  plat::ProcAddress setInformation_ = nullptr;
  FileCacheInfo cacheInfo_{};
};
