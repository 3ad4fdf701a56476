// A small probe for the service tests: asks the service control manager and
// the named objects what a user of the service would see.
//
//   svc_probe state             "<state> <wait hint>", or "absent"
//   svc_probe control CODE      "ok <state> <wait hint>", or "error <code>"
//   svc_probe mutex             "exists" or "absent" for velsvc's presence mutex
//   svc_probe path              the service's stored executable path, or "absent"
//   svc_probe pid               the running service's process id as Wine's
//                               messages write it (four hex digits), or "absent"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/shared_names.h"

namespace {

// The service opened with `access`, and the manager it came from; both closed
// on the way out.
struct OpenedService {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service;
  explicit OpenedService(DWORD access)
      : service(manager != nullptr ? OpenServiceW(manager, kServiceName, access) : nullptr) {}
  OpenedService(const OpenedService&) = delete;
  OpenedService& operator=(const OpenedService&) = delete;
  ~OpenedService() {
    if (service != nullptr)
      CloseServiceHandle(service);
    if (manager != nullptr)
      CloseServiceHandle(manager);
  }
};

int State() {
  const OpenedService opened(SERVICE_QUERY_STATUS);
  SC_HANDLE const service = opened.service;
  SERVICE_STATUS status{};
  if (service != nullptr && QueryServiceStatus(service, &status)) {
    std::printf("%lu %lu\n", status.dwCurrentState, status.dwWaitHint);
  } else {
    std::printf("absent\n");
  }
  return 0;
}

int Control(DWORD code) {
  const OpenedService opened(SERVICE_STOP | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL |
                             SERVICE_QUERY_STATUS);
  SC_HANDLE const service = opened.service;
  SERVICE_STATUS status{};
  if (service != nullptr && ControlService(service, code, &status)) {
    std::printf("ok %lu %lu\n", status.dwCurrentState, status.dwWaitHint);
  } else {
    std::printf("error %lu\n", GetLastError());
  }
  return 0;
}

int Path() {
  const OpenedService opened(SERVICE_QUERY_CONFIG);
  SC_HANDLE const service = opened.service;
  DWORD needed = 0;
  if (service != nullptr) {
    QueryServiceConfigW(service, nullptr, 0, &needed);
  }
  auto* config = static_cast<QUERY_SERVICE_CONFIGW*>(std::calloc(1, needed + 1));
  if (config != nullptr && service != nullptr &&
      QueryServiceConfigW(service, config, needed + 1, &needed)) {
    std::printf("%ls\n", config->lpBinaryPathName);
  } else {
    std::printf("absent\n");
  }
  std::free(config);
  return 0;
}

int ProcessId() {
  const OpenedService opened(SERVICE_QUERY_STATUS);
  SC_HANDLE const service = opened.service;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (service != nullptr &&
      QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                           sizeof status, &needed) &&
      status.dwProcessId != 0) {
    std::printf("%04lx\n", status.dwProcessId);
  } else {
    std::printf("absent\n");
  }
  return 0;
}

int Mutex() {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kServicePresenceMutexName);
  const DWORD error = GetLastError();
  std::printf(error == ERROR_ALREADY_EXISTS ? "exists\n" : "absent\n");
  if (mutex != nullptr)
    CloseHandle(mutex);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "state") == 0)
    return State();
  if (argc == 3 && std::strcmp(argv[1], "control") == 0) {
    return Control(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
  }
  if (argc == 2 && std::strcmp(argv[1], "mutex") == 0)
    return Mutex();
  if (argc == 2 && std::strcmp(argv[1], "path") == 0)
    return Path();
  if (argc == 2 && std::strcmp(argv[1], "pid") == 0)
    return ProcessId();
  std::fprintf(stderr, "usage: svc_probe state | control CODE | mutex | path | pid\n");
  return 2;
}
