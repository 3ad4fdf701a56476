// The yardsticks for the service's idle cost: a minimal Windows service that
// sleeps in a 201 ms loop, as velsvc's service loop does between its ticks.
//
// With "tick-calls" it is the floor of velsvc's idle cost: on the first pass
// and every fourth it also makes the platform calls velsvc's tick makes while
// the machine idles (the memory load Wine reports here is 98, the tuner's
// automatic path in its top band, and the file cache reads as zeros), in the
// same number and through the same entry points, bound once as the tuner binds
// them - and nothing of the tuner's own work:
//   every tick      3 GlobalMemoryStatusEx, 6 file-cache queries, 3 file-cache
//                   sets (NtQuerySystemInformation and NtSetSystemInformation)
//   every 6th tick  4 queries and 3 sets more (the cache emptied and restored;
//                   also on the first tick, the first maintenance)
//   every 27th      1 query and 1 set more (the throttled pair, from the 2nd tick)
// Each set is followed by a query, as the tuner reads back what it set. A set
// asks again for the limits the last query read, so that it changes nothing.
// The tick's volume flush comes every 172nd tick, after more than two minutes:
// outside the measured windows, and not made here.
//
//   idle_baseline -install NAME [tick-calls]   installs the service NAME (own
//                                               process, started on demand)
//                                               for this program and starts it
//   idle_baseline -remove NAME                  stops it and removes it
//   idle_baseline NAME [tick-calls]             run by the service control
//                                               manager: the service
#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "common/system_cache_control.h"

namespace {

constexpr wchar_t kTickCallsSwitch[] = L"tick-calls";

SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
const wchar_t* gName = L"";
bool gTickCalls = false;
volatile LONG gRunning = 1;

// The file-cache record of the native calls, as the tuner lays it out.
using FileCacheRecord = FileCacheInfo;

constexpr ULONG kFileCacheInformation = 21;

using QueryCall = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using SetCall = LONG(WINAPI*)(ULONG, void*, ULONG);
using MemoryStatusCall = BOOL(WINAPI*)(LPMEMORYSTATUSEX);

// An entry point by name, as the type it is called as.
template <typename Call>
Call Bound(HMODULE module, const char* name) {
  // Through a plain function type: the exported address carries no signature.
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The entry points, bound once when the service starts.
struct TickCalls {
  MemoryStatusCall memoryStatus = nullptr;
  QueryCall query = nullptr;
  SetCall set = nullptr;
  FileCacheRecord record{};
  uint64_t minimumPages = 0;
  uint64_t maximumPages = 0;
  uint32_t tick = 0;

  bool Bind() {
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (kernel32 == nullptr || ntdll == nullptr) {
      return false;
    }
    memoryStatus = Bound<MemoryStatusCall>(kernel32, "GlobalMemoryStatusEx");
    query = Bound<QueryCall>(ntdll, "NtQuerySystemInformation");
    set = Bound<SetCall>(ntdll, "NtSetSystemInformation");
    return memoryStatus != nullptr && query != nullptr && set != nullptr;
  }

  void MemoryStatus() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    memoryStatus(&status);
  }

  void Query() {
    record = FileCacheRecord{};
    ULONG length = 0;
    if (query(kFileCacheInformation, &record, sizeof record, &length) == 0) {
      minimumPages = record.MinimumWorkingSet;
      maximumPages = record.MaximumWorkingSet;
    }
  }

  void SetAndQuery() {
    record = FileCacheRecord{};
    record.MinimumWorkingSet = minimumPages * 4096;
    record.MaximumWorkingSet = maximumPages * 4096;
    set(kFileCacheInformation, &record, sizeof record);
    Query();
  }

  // The cache emptied and restored: a query, then three sets.
  void EmptyAndRestore() {
    Query();
    SetAndQuery();
    SetAndQuery();
    SetAndQuery();
  }

  // One tick's calls, in the tuner's order.
  void Make() {
    ++tick;
    if (tick == 1) {
      EmptyAndRestore();  // the first tick maintains
    }
    MemoryStatus();
    Query();
    SetAndQuery();  // the top band's first pair
    if (tick % 6 == 0) {
      EmptyAndRestore();
    }
    SetAndQuery();  // the band's limits
    if (tick % 27 == 2) {
      SetAndQuery();  // the throttled pair
    }
    MemoryStatus();
    Query();
    SetAndQuery();  // available memory below the low mark
    MemoryStatus();
    Query();
  }
};

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
  TickCalls calls;
  if (gTickCalls && !calls.Bind()) {
    Report(SERVICE_STOPPED);
    return;
  }
  Report(SERVICE_RUNNING);
  // The first pass ticks at once; then every fourth, as velsvc's loop.
  int passCounter = 5;
  do {
    if (gTickCalls && ++passCounter > 3) {
      passCounter = 0;
      calls.Make();
    }
    Sleep(201);
  } while (gRunning != 0);
  Report(SERVICE_STOPPED);
}

int Install(const wchar_t* name, bool tickCalls) {
  wchar_t command[2 * MAX_PATH] = L"\"";
  if (GetModuleFileNameW(nullptr, command + 1, MAX_PATH) == 0) {
    return 1;
  }
  wcscat(command, L"\" \"");
  wcscat(command, name);
  wcscat(command, L"\"");
  if (tickCalls) {
    wcscat(command, L" ");
    wcscat(command, kTickCallsSwitch);
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
  const bool tickCalls = std::wcscmp(argv[argc - 1], kTickCallsSwitch) == 0;
  if (std::wcscmp(argv[1], L"-install") == 0) {
    return argc > 2 ? Install(argv[2], tickCalls) : 2;
  }
  if (std::wcscmp(argv[1], L"-remove") == 0) {
    return argc > 2 ? Remove(argv[2]) : 2;
  }
  gName = argv[1];
  gTickCalls = tickCalls;
  const SERVICE_TABLE_ENTRYW table[] = {{argv[1], &ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
