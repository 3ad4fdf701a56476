#include "service/service_control.h"

#include <algorithm>
#include <cwchar>

#include "common/quoted_path.h"
#include "platform/handles.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kReadManager = plat::kGenericRead | plat::kScManagerConnect;
constexpr uint32_t kQueryService =
    plat::kServiceQueryConfig | plat::kServiceQueryStatus | plat::kServiceInterrogate;
constexpr uint32_t kStartPolls = 5;
constexpr uint32_t kProgramPathCapacity = 260;

// Copies at most capacity - 1 characters and the terminating zero.
void CopyCut(wchar_t* out, const wchar_t* text, uint32_t capacity) {
  std::wcsncpy(out, text, capacity - 1);
  out[capacity - 1] = 0;
}

}  // namespace

OpenedService::OpenedService(const wchar_t* name, uint32_t managerAccess, uint32_t serviceAccess)
    : manager(plat::OpenServiceManager(managerAccess)) {
  if (manager) {
    service.reset(plat::OpenNamedService(manager.get(), name, serviceAccess));
  }
}

namespace ServiceControl {

bool SendControl(const wchar_t* name, uint32_t code) {
  OpenedService opened(name, kReadManager,
                       plat::kGenericExecute | plat::kServiceStop | plat::kServiceInterrogate);
  if (!opened) {
    return false;
  }
  plat::ServiceStatus status{};
  const bool accepted = plat::ControlNamedService(opened.service.get(), code, status);
  plat::SleepMs(0);
  plat::ControlNamedService(opened.service.get(), plat::kServiceControlInterrogate, status);
  plat::SleepMs(0);
  return accepted;
}

bool StartAndWait(const wchar_t* name) {
  OpenedService opened(name, kReadManager,
                       plat::kGenericExecute | plat::kServiceStart | plat::kServiceQueryStatus);
  if (!opened || !plat::StartNamedService(opened.service.get())) {
    return false;
  }
  plat::ServiceStatus status{};
  if (!plat::QueryStatus(opened.service.get(), status)) {
    return false;
  }
  // A service that makes no progress between two polls is judged at once.
  for (uint32_t poll = 1; status.currentState != plat::kServiceRunning; ++poll) {
    const uint32_t checkPoint = status.checkPoint;
    plat::SleepMs(status.waitHint);
    if (!plat::QueryStatus(opened.service.get(), status)) {
      return false;
    }
    if (checkPoint >= status.checkPoint || poll == kStartPolls) {
      break;
    }
  }
  return status.currentState == plat::kServiceRunning;
}

bool Exists(const wchar_t* name) {
  OpenedService opened(name, kReadManager, kQueryService);
  return static_cast<bool>(opened);
}

bool IsRunning(const wchar_t* name) {
  OpenedService opened(name, kReadManager, kQueryService);
  plat::ServiceStatus status{};
  if (!opened || !plat::QueryStatus(opened.service.get(), status)) {
    return false;
  }
  switch (status.currentState) {
    case plat::kServiceStartPending:
    case plat::kServiceRunning:
    case plat::kServicePausePending:
    case plat::kServicePaused:
      return true;
    default:
      return false;
  }
}

bool QueryConfig(const wchar_t* name, wchar_t* displayName, wchar_t* path) {
  OpenedService opened(name, kReadManager, plat::kServiceQueryConfig | plat::kServiceQueryStatus);
  if (!opened) {
    return false;
  }
  uint32_t needed = 0;
  plat::QueryConfig(opened.service.get(), nullptr, 0, needed);
  const plat::UniqueLocal block(plat::AllocZeroed(needed + 1));
  if (!block) {
    return false;
  }
  if (!plat::QueryConfig(opened.service.get(), block.get(), needed + 1, needed)) {
    return false;
  }
  const wchar_t* storedDisplayName = nullptr;
  const wchar_t* storedPath = nullptr;
  plat::ConfigNames(block.get(), storedDisplayName, storedPath);
  CopyCut(displayName, storedDisplayName != nullptr ? storedDisplayName : L"", kConfigTextCapacity);
  CopyCut(path, storedPath != nullptr ? storedPath : L"", kConfigTextCapacity);
  return true;
}

bool Remove(const wchar_t* name) {
  OpenedService opened(name, plat::kGenericWrite | plat::kScManagerConnect,
                       plat::kGenericWrite | plat::kDelete);
  if (!opened) {
    return false;
  }
  // The service is deleted whether it stopped or not: a running one is only
  // marked for deletion.
  SendControl(name, plat::kServiceControlStop);
  if (IsRunning(name)) {
    plat::SleepMs(5121);
  }
  if (IsRunning(name)) {
    Stop(name);
    plat::SleepMs(2048);
  }
  if (IsRunning(name)) {
    Stop(name);
  }
  return plat::DeleteNamedService(opened.service.get());
}

bool Stop(const wchar_t* name) {
  if (!SendControl(name, plat::kServiceControlStop)) {
    return false;
  }
  plat::SleepMs(2048);
  return !IsRunning(name);
}

bool Install(const wchar_t* name, const wchar_t* displayName) {
  plat::UniqueService manager(
      plat::OpenServiceManager(plat::kGenericWrite | plat::kScManagerCreateService));
  if (!manager) {
    return false;
  }
  wchar_t programPath[kProgramPathCapacity] = {};
  // A path longer than the buffer comes back cut, which names another file:
  // then nothing is installed.
  const uint32_t length = plat::ProgramPath(programPath, kProgramPathCapacity);
  if (length == 0 || length >= kProgramPathCapacity ||
      plat::LastError() == plat::kErrorInsufficientBuffer) {
    return false;
  }
  wchar_t storedPath[kProgramPathCapacity + 2] = {};
  QuotedPath(programPath, storedPath, kProgramPathCapacity + 2);
  const plat::NewService request{name,
                                 displayName,
                                 plat::kServiceAllAccess,
                                 plat::kServiceWin32OwnProcess,
                                 plat::kServiceAutoStart,
                                 plat::kServiceErrorIgnore,
                                 storedPath};
  plat::UniqueService service(plat::CreateNamedService(manager.get(), request));
  return static_cast<bool>(service);
}

}  // namespace ServiceControl
