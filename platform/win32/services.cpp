// The service control manager and the service entry.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

static_assert(sizeof(SERVICE_STATUS) == sizeof(ServiceStatus), "SERVICE_STATUS layout");

namespace {

SERVICE_STATUS ToPlatform(const ServiceStatus& status) {
  return SERVICE_STATUS{status.serviceType,
                        status.currentState,
                        status.controlsAccepted,
                        status.win32ExitCode,
                        status.serviceSpecificExitCode,
                        status.checkPoint,
                        status.waitHint};
}

ServiceStatus FromPlatform(const SERVICE_STATUS& status) {
  return ServiceStatus{status.dwServiceType,
                       status.dwCurrentState,
                       status.dwControlsAccepted,
                       status.dwWin32ExitCode,
                       status.dwServiceSpecificExitCode,
                       status.dwCheckPoint,
                       status.dwWaitHint};
}

// One service a process: the dispatcher and the handler call back through
// these, in the platform's calling form.
ServiceMainFunction gServiceMain = nullptr;
ServiceHandlerFunction gHandler = nullptr;

void WINAPI ServiceMainEntry(DWORD argc, LPWSTR* argv) {
  gServiceMain(argc, argv);
}

void WINAPI HandlerEntry(DWORD control) {
  gHandler(control);
}

}  // namespace

ScHandle OpenServiceManager(uint32_t access) {
  return OpenSCManagerW(nullptr, nullptr, access);
}

ScHandle OpenNamedService(ScHandle manager, const wchar_t* name, uint32_t access) {
  return OpenServiceW(static_cast<SC_HANDLE>(manager), name, access);
}

ScHandle CreateNamedService(ScHandle manager, const NewService& service) {
  return CreateServiceW(static_cast<SC_HANDLE>(manager), service.name, service.displayName,
                        service.access, service.serviceType, service.startType,
                        service.errorControl, service.binaryPath, nullptr, nullptr, nullptr,
                        nullptr, nullptr);
}

bool CloseService(ScHandle handle) {
  return CloseServiceHandle(static_cast<SC_HANDLE>(handle));
}

bool DeleteNamedService(ScHandle service) {
  return DeleteService(static_cast<SC_HANDLE>(service));
}

bool StartNamedService(ScHandle service) {
  return StartServiceW(static_cast<SC_HANDLE>(service), 0, nullptr);
}

bool ControlNamedService(ScHandle service, uint32_t control, ServiceStatus& status) {
  SERVICE_STATUS platformStatus{};
  const bool ok = ControlService(static_cast<SC_HANDLE>(service), control, &platformStatus);
  status = FromPlatform(platformStatus);
  return ok;
}

bool QueryStatus(ScHandle service, ServiceStatus& status) {
  SERVICE_STATUS platformStatus{};
  const bool ok = QueryServiceStatus(static_cast<SC_HANDLE>(service), &platformStatus);
  status = FromPlatform(platformStatus);
  return ok;
}

bool QueryConfig(ScHandle service, void* buffer, uint32_t size, uint32_t& needed) {
  DWORD bytesNeeded = 0;
  const bool ok =
      QueryServiceConfigW(static_cast<SC_HANDLE>(service),
                          static_cast<QUERY_SERVICE_CONFIGW*>(buffer), size, &bytesNeeded);
  needed = bytesNeeded;
  return ok;
}

void ConfigNames(const void* record, const wchar_t*& displayName, const wchar_t*& binaryPath) {
  const auto* config = static_cast<const QUERY_SERVICE_CONFIGW*>(record);
  displayName = config->lpDisplayName;
  binaryPath = config->lpBinaryPathName;
}

void* AllocZeroed(uint32_t bytes) {
  return LocalAlloc(LMEM_ZEROINIT, bytes);
}

void FreeLocal(void* block) {
  LocalFree(block);
}

bool RunServiceDispatcher(const wchar_t* name, ServiceMainFunction serviceMain) {
  gServiceMain = serviceMain;
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(name), &ServiceMainEntry},
                                  {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table);
}

StatusHandle RegisterControlHandler(const wchar_t* name, ServiceHandlerFunction handler) {
  gHandler = handler;
  return RegisterServiceCtrlHandlerW(name, &HandlerEntry);
}

bool ReportServiceStatus(StatusHandle handle, const ServiceStatus& status) {
  SERVICE_STATUS platformStatus = ToPlatform(status);
  return SetServiceStatus(static_cast<SERVICE_STATUS_HANDLE>(handle), &platformStatus);
}

}  // namespace plat
