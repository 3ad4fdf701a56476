#include "common/system_cache_control.h"

#include "platform/handles.h"

namespace {

constexpr uint32_t kFileCacheInformation = 21;
constexpr uint32_t kTokenAdjustPrivilegesAndQuery = 0x28;
constexpr uint64_t kAllOnes = ~uint64_t{0};

// The largest published KB figure: the largest multiple of 4 below the empty
// request's figure, so that a published limit passed back is never taken for
// the empty request.
constexpr uint32_t kLargestPublishedKB = 0xFFFFFFFCu;

// A KB figure as published: itself while it fits, else the largest figure.
uint32_t PublishedKB(uint64_t kb) {
  return kb <= kLargestPublishedKB ? static_cast<uint32_t>(kb) : kLargestPublishedKB;
}

// A limit in 4 KB pages as a published KB figure. Any 64-bit page count is
// taken: current x64 systems report maximums of up to 2^32 pages (16 TB).
uint32_t PagesAsKB(uint64_t pages) {
  return pages <= kLargestPublishedKB / 4 ? static_cast<uint32_t>(pages * 4) : kLargestPublishedKB;
}

// A KB figure as the bytes a set request carries; -1 stays the all-ones marker.
uint64_t RequestBytes(uint32_t kb) {
  return kb == kEmptyRequestKB ? kAllOnes : uint64_t{kb} << 10;
}

}  // namespace

SystemCacheControl::SystemCacheControl() {
  Initialize();
}

int SystemCacheControl::Initialize() {
  if (initialized) {
    return 1;
  }
  int result = 0;
  // Owned outside the guarded body: a fault in the body still closes it.
  plat::UniqueObject token;
  const bool completed = plat::Guarded([&] {
    privilegeFailed = 0;
    if (!plat::OpenProcessToken(kTokenAdjustPrivilegesAndQuery, *token.put())) {
      privilegeFailed = 1;
    } else {
      if (EnablePrivilege(token.get(), L"SeIncreaseQuotaPrivilege", true) == 0) {
        privilegeFailed = 1;
      }
      // A fault raised by closing the token does not matter to the outcome.
      plat::Guarded([&token] { token.reset(); });
    }
    if (!Bind()) {
      bindFailed = 1;
      initialized = false;
      return;
    }
    initialized = true;
    result = 1;
  });
  if (!completed) {
    initialized = false;
    return 0;
  }
  return result;
}

int SystemCacheControl::EnablePrivilege(plat::Handle token, const wchar_t* privilegeName,
                                        bool enable) {
  plat::Luid luid{};
  if (!plat::LookupPrivilege(privilegeName, luid)) {
    return 0;
  }
  // First pass: learn the privilege's current attributes.
  const plat::TokenPrivilege probe{1, luid, 0};
  plat::TokenPrivilege previous{};
  uint32_t returnedLength = sizeof previous;
  plat::AdjustPrivileges(token, probe, sizeof previous, &previous, &returnedLength);
  // Also catches the partial success that the call reports only through the last error.
  if (plat::LastError() != 0) {
    return 0;
  }
  // Second pass: the attributes it had, with the enabled bit set or cleared.
  uint32_t attributes = previous.privilegeCount != 0 ? previous.attributes : 0;
  attributes =
      enable ? (attributes | plat::kPrivilegeEnabled) : (attributes & ~plat::kPrivilegeEnabled);
  previous = plat::TokenPrivilege{1, luid, attributes};
  plat::AdjustPrivileges(token, previous, returnedLength, nullptr, nullptr);
  return plat::LastError() == 0 ? 1 : 0;
}

bool SystemCacheControl::Bind() {
  if (ntdllModule_ == nullptr) {
    ntdllModule_ = plat::FindModule(L"ntdll.dll");
  }
  queryInformation_ = plat::FindProc(ntdllModule_, "NtQuerySystemInformation");
  if (queryInformation_ == nullptr) {
    return false;
  }
  setInformation_ = plat::FindProc(ntdllModule_, "NtSetSystemInformation");
  return setInformation_ != nullptr;
}

int SystemCacheControl::Query() {
  if (queryInformation_ == nullptr) {
    return 0;
  }
  int result = 0;
  if (!plat::Guarded([&] { result = QueryAndPublish(); })) {
    return 0;
  }
  return result;
}

int SystemCacheControl::QueryAndPublish() {
  cacheInfo_ = FileCacheInfo{};
  const int32_t status = plat::QuerySystemInformation(
      queryInformation_, kFileCacheInformation, &cacheInfo_, sizeof cacheInfo_, &returnedLength_);
  // Warning and informational codes fail as well: only 0 is success.
  if (status != 0) {
    return 0;
  }
  // Figures too large for 32 bits are published as the largest figure instead
  // of wrapping: a 16 TB maximum must not read as 0.
  currentSizeKB = PublishedKB(cacheInfo_.CurrentSize >> 10);
  peakSizeKB = PublishedKB(cacheInfo_.PeakSize >> 10);
  maximumKB = PagesAsKB(cacheInfo_.MaximumWorkingSet);
  minimumKB = PagesAsKB(cacheInfo_.MinimumWorkingSet);
  return 1;
}

int SystemCacheControl::SetLimits(uint32_t minimum, uint32_t maximum) {
  if (setInformation_ == nullptr) {
    return 0;
  }
  int result = 0;
  const bool completed = plat::Guarded([&] {
    cacheInfo_ = FileCacheInfo{};
    cacheInfo_.MinimumWorkingSet = RequestBytes(minimum);
    cacheInfo_.MaximumWorkingSet = RequestBytes(maximum);
    if (plat::SetSystemInformation(setInformation_, kFileCacheInformation, &cacheInfo_,
                                   sizeof cacheInfo_) != 0) {
      return;
    }
    if (queryInformation_ != nullptr) {
      result = QueryAndPublish();
    }
  });
  return completed ? result : 0;
}
