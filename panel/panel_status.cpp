#include "panel/panel_status.h"

#include "common/system_cache_control.h"
#include "panel/field_check.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "service/service_control.h"

uint32_t QueryServiceState(const wchar_t* serviceName) {
  const OpenedService opened(serviceName, plat::kScManagerConnect, plat::kServiceQueryStatus);
  if (!opened.manager) {
    return kServiceStateUnknown;
  }
  if (!opened.service) {
    return plat::LastError() == plat::kErrorServiceDoesNotExist ? kServiceNotInstalled
                                                                : kServiceStateUnknown;
  }
  plat::ServiceStatus status{};
  if (!plat::QueryStatus(opened.service.get(), status)) {
    return kServiceStateUnknown;
  }
  return status.currentState;
}

PanelStatus ReadPanelStatus(SystemCacheControl& cache) {
  PanelStatus status;
  status.serviceState = QueryServiceState(kServiceName);
  status.cacheRead = cache.Query() == 1;
  status.cacheCurrentKB = cache.currentSizeKB;
  status.cacheMinimumKB = cache.minimumKB;
  status.cacheMaximumKB = cache.maximumKB;
  plat::MemoryStatus memory{};
  plat::QueryMemoryStatus(memory);
  status.availPhysBytes = memory.availPhys;
  status.totalPhysBytes = memory.totalPhys;
  return status;
}

std::wstring ServiceLine(const PanelStatus& status) {
  const wchar_t* state = L"unknown (the service manager cannot be asked)";
  switch (status.serviceState) {
    case kServiceNotInstalled:
      state = L"not installed";
      break;
    case plat::kServiceStopped:
      state = L"stopped";
      break;
    case plat::kServiceStartPending:
      state = L"starting";
      break;
    case plat::kServiceStopPending:
      state = L"stopping";
      break;
    case plat::kServiceRunning:
      state = L"running";
      break;
    case plat::kServiceContinuePending:
      state = L"continuing";
      break;
    case plat::kServicePausePending:
      state = L"pausing";
      break;
    case plat::kServicePaused:
      state = L"paused";
      break;
    default:
      break;
  }
  return std::wstring(L"Service: ") + state;
}

std::wstring CacheLine(const PanelStatus& status) {
  if (!status.cacheRead) {
    return L"File cache: cannot be read on this system";
  }
  return L"File cache: " + GroupDigits(status.cacheCurrentKB) + L" KB now, limits " +
         GroupDigits(status.cacheMinimumKB) + L" KB to " + GroupDigits(status.cacheMaximumKB) +
         L" KB";
}

std::wstring MemoryLine(const PanelStatus& status) {
  return L"Available memory: " + GroupDigits(status.availPhysBytes >> 20) + L" MB of " +
         GroupDigits(status.totalPhysBytes >> 20) + L" MB";
}
