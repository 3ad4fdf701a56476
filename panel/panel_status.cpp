#include "panel/panel_status.h"

#include "common/squeezer.h"
#include "common/system_cache_control.h"
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
  {
    const SqueezeMutex probe;
    status.squeezing = probe.creationError() != 0;
  }
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

FixedText ServiceLine(const PanelStatus& status) {
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
  FixedText line;
  line.Append(L"Service: ").Append(state);
  return line;
}

FixedText CacheLine(const PanelStatus& status) {
  FixedText line;
  if (!status.cacheRead) {
    line.Append(L"File cache: cannot be read on this system");
    return line;
  }
  if (status.cacheCurrentKB == 0 && status.cacheMinimumKB == 0 && status.cacheMaximumKB == 0) {
    // A query that succeeds with nothing in it: the system keeps its figures to itself.
    line.Append(L"File cache: not reported on this system");
    return line;
  }
  line.Append(L"File cache: ")
      .AppendNumber(status.cacheCurrentKB)
      .Append(L" KB now, limits ")
      .AppendNumber(status.cacheMinimumKB)
      .Append(L" KB to ")
      .AppendNumber(status.cacheMaximumKB)
      .Append(L" KB");
  return line;
}

FixedText MemoryLine(const PanelStatus& status) {
  FixedText line;
  line.Append(L"Available memory: ")
      .AppendNumber(status.availPhysBytes >> 20)
      .Append(L" MB of ")
      .AppendNumber(status.totalPhysBytes >> 20)
      .Append(L" MB");
  return line;
}

ServiceButton ServiceButtonFor(uint32_t serviceState, bool requestUnderWay) {
  ServiceButton button;
  button.shown = serviceState != kServiceNotInstalled;
  button.starts = serviceState == plat::kServiceStopped || serviceState == kServiceStateUnknown;
  button.enabled = !requestUnderWay &&
                   (serviceState == plat::kServiceStopped || serviceState == plat::kServiceRunning);
  return button;
}
