// The yardstick for the service's idle cost: a minimal Windows service that
// does nothing but sleep in a 201 ms loop, as velsvc's service loop does
// between its ticks. With "memory-status" it also asks GlobalMemoryStatusEx
// three times on the first pass and every fourth, as the tick's automatic path
// takes its three memory snapshots: that variant tells how much of the
// service's idle cost is the platform's memory-status call alone.
//
//   idle_baseline -install NAME [memory-status]   installs the service NAME (own
//                                                  process, started on demand)
//                                                  for this program and starts it
//   idle_baseline -remove NAME                     stops it and removes it
//   idle_baseline NAME [memory-status]             run by the service control
//                                                  manager: the service
#include <windows.h>

#include <cwchar>

namespace {

constexpr wchar_t kMemoryStatusSwitch[] = L"memory-status";

SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
const wchar_t* gName = L"";
bool gMemoryStatus = false;
volatile LONG gRunning = 1;

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
  SetServiceStatus(gStatusHandle, &status);
}

void WINAPI Handler(DWORD control) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    InterlockedExchange(&gRunning, 0);
    Report(SERVICE_STOP_PENDING);
    return;
  }
  Report(SERVICE_RUNNING);
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  gStatusHandle = RegisterServiceCtrlHandlerW(gName, &Handler);
  Report(SERVICE_RUNNING);
  int passCounter = 5;
  do {
    if (gMemoryStatus && ++passCounter > 3) {
      passCounter = 0;
      for (int i = 0; i < 3; ++i) {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        GlobalMemoryStatusEx(&status);
      }
    }
    Sleep(201);
  } while (gRunning != 0);
  Report(SERVICE_STOPPED);
}

int Install(const wchar_t* name, bool memoryStatus) {
  wchar_t command[2 * MAX_PATH] = L"\"";
  if (GetModuleFileNameW(nullptr, command + 1, MAX_PATH) == 0) {
    return 1;
  }
  wcscat(command, L"\" \"");
  wcscat(command, name);
  wcscat(command, L"\"");
  if (memoryStatus) {
    wcscat(command, L" ");
    wcscat(command, kMemoryStatusSwitch);
  }
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
  if (manager == nullptr) {
    return 1;
  }
  SC_HANDLE service = CreateServiceW(
      manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
      SERVICE_ERROR_IGNORE, command, nullptr, nullptr, nullptr, nullptr, nullptr);
  const bool started = service != nullptr && StartServiceW(service, 0, nullptr) != FALSE;
  if (service != nullptr) {
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return started ? 0 : 1;
}

int Remove(const wchar_t* name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      manager != nullptr ? OpenServiceW(manager, name, SERVICE_ALL_ACCESS) : nullptr;
  bool removed = false;
  if (service != nullptr) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    removed = DeleteService(service) != FALSE;
    CloseServiceHandle(service);
  }
  if (manager != nullptr) {
    CloseServiceHandle(manager);
  }
  return removed ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    return 2;
  }
  const bool memoryStatus = std::wcscmp(argv[argc - 1], kMemoryStatusSwitch) == 0;
  if (std::wcscmp(argv[1], L"-install") == 0) {
    return argc > 2 ? Install(argv[2], memoryStatus) : 2;
  }
  if (std::wcscmp(argv[1], L"-remove") == 0) {
    return argc > 2 ? Remove(argv[2]) : 2;
  }
  gName = argv[1];
  gMemoryStatus = memoryStatus;
  const SERVICE_TABLE_ENTRYW table[] = {{argv[1], &ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
