// The simulated machine behind the platform functions on the Linux host.
//
// Tests and velsim set its state, run the real logic against it, and read back
// what the logic did: every action that changes the machine is recorded as an
// Event. Simulated threads run to their end at once and sleeps do not wait:
// the machine's clock moves only by the sleeps the code records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

// One reading of the memory-status calls.
struct Reading {
  uint64_t totalPhys = 0;
  uint64_t availPhys = 0;
  uint64_t availPageFile = 0;
  uint32_t load = 0;
};

struct Drive {
  char letter = 'C';
  uint32_t type = plat::kDriveFixed;
  bool opens = true;
};

// The file cache as the native query reports it.
struct FileCache {
  uint64_t currentSize = 0;   // bytes
  uint64_t peakSize = 0;      // bytes
  uint64_t minimumPages = 0;  // 4 KB pages
  uint64_t maximumPages = 0;
  uint32_t queryStatus = 0;
  uint32_t setStatus = 0;
};

struct RegValue {
  std::wstring name;
  uint32_t type = plat::kRegDword;
  std::vector<uint8_t> data;
};

struct RegKeyNode {
  plat::RegHandle root = nullptr;
  std::wstring path;
  bool exists = false;
  bool accessDenied = false;  // the program's rights allow neither open nor create
  bool readOnly = false;      // the program may read the key, but not write or create it
  std::vector<RegValue> values;

  RegValue* Find(const wchar_t* name);
  void Set(const wchar_t* name, uint32_t type, const void* data, uint32_t size);
  bool Remove(const wchar_t* name);
};

enum class EventKind { RegSet, CacheSet, Commit, Release, Flush, Sleep, ServiceReport };

// One action of the code on the machine. Which fields count depends on kind:
//   RegSet:   key, name, type, value (DWORD data; 0 for other types)
//   CacheSet: minimum, maximum (bytes), status
//   Commit:   bytes, ok
//   Release:  bytes, writes
//   Flush:    volume
//   Sleep:    ms (in `value`)
//   ServiceReport: the whole status record the service reported (state,
//             waitHint, serviceType, controlsAccepted, win32ExitCode,
//             serviceSpecificExitCode, checkPoint)
struct Event {
  EventKind kind;
  const RegKeyNode* key = nullptr;
  wchar_t name[64] = {};
  uint32_t type = 0;
  uint64_t value = 0;
  uint64_t minimum = 0;
  uint64_t maximum = 0;
  uint32_t status = 0;
  uint64_t bytes = 0;
  uint64_t writes = 0;
  bool ok = false;
  char volume = 0;
  uint32_t state = 0;
  uint32_t waitHint = 0;
  uint32_t serviceType = 0;
  uint32_t controlsAccepted = 0;
  uint32_t win32ExitCode = 0;
  uint32_t serviceSpecificExitCode = 0;
  uint32_t checkPoint = 0;
};

// A service in the simulated service database, and how it behaves.
struct Service {
  std::wstring name;
  std::wstring displayName;
  std::wstring binaryPath;
  uint32_t serviceType = 0;
  uint32_t startType = 0;
  uint32_t errorControl = 0;
  plat::ServiceStatus status{plat::kServiceWin32OwnProcess, plat::kServiceStopped, 0, 0, 0, 0, 0};
  bool exists = true;
  // Removed once it has stopped and no handle, of this program or another, is
  // open on it.
  bool markedForDeletion = false;
  uint32_t handles = 0;         // handles this program has open on it
  uint32_t outsideHandles = 0;  // handles other programs hold on it

  bool acceptsStop = true;
  bool startFails = false;
  uint32_t stateAfterStart = plat::kServiceRunning;
  uint32_t waitHintAfterStart = 0;
  uint32_t stateAfterStop = plat::kServiceStopped;
  // Sleeps a stop-pending service still needs to reach stopped: a test counts
  // them down (from onSleep) and the service stops once it is 0. Negative: it
  // stays stop-pending until the test changes its state.
  int32_t sleepsUntilStopped = -1;

  uint32_t openedAccess = 0;  // the rights asked for at the last open
  // The rights asked for at each open of the service (and its create), in order.
  struct Open {
    uint32_t managerAccess = 0;
    uint32_t serviceAccess = 0;
    bool operator==(const Open&) const = default;
  };
  std::vector<Open> opens;
  std::vector<uint32_t> userControls;  // user-defined codes (128 to 255) accepted
};

// The all-ones marker of a limit in a cache set request: the empty request.
inline constexpr uint64_t kAllOnes = ~uint64_t{0};

// The platform calls that can fail. A test switches a kind of call to fail,
// always or on chosen calls; such a call then fails as the platform's does (a
// null or invalid handle, an error status, false, with the last error set) and
// changes nothing on the machine. Closing a handle is not among them: the code
// never looks at the result, and a close that failed would leave nothing to test.
enum class Call : uint8_t {
  RegOpen,             // RegOpenKeyExW
  RegCreate,           // RegCreateKeyExW
  RegQuery,            // RegQueryValueExW, the probe as well as the read
  RegSet,              // RegSetValueExW
  MutexCreate,         // CreateMutexW and CreateMutexA
  Commit,              // VirtualAlloc
  Release,             // VirtualFree
  NativeQuery,         // NtQuerySystemInformation
  NativeSet,           // NtSetSystemInformation
  TokenOpen,           // OpenProcessToken
  PrivilegeLookup,     // LookupPrivilegeValueW
  PrivilegeAdjust,     // AdjustTokenPrivileges
  VersionRead,         // GetVersionExW
  MemoryStatusEx,      // GlobalMemoryStatusEx (raises a fault)
  ModuleLookup,        // GetModuleHandleW
  ProcLookup,          // GetProcAddress
  ManagerOpen,         // OpenSCManagerW
  ServiceOpen,         // OpenServiceW
  ServiceCreate,       // CreateServiceW
  ServiceDelete,       // DeleteService
  ServiceStart,        // StartServiceW
  ServiceControl,      // ControlService
  ServiceQueryStatus,  // QueryServiceStatus
  ServiceQueryConfig,  // QueryServiceConfigW
  LocalAlloc,          // LocalAlloc
  Dispatcher,          // StartServiceCtrlDispatcherW
  HandlerRegister,     // RegisterServiceCtrlHandlerW
  StatusReport,        // SetServiceStatus
  VolumeOpen,          // CreateFileW on a volume
  VolumeFlush,         // FlushFileBuffers
  ThreadStart,         // the runtime's thread start
  ProgramPath,         // GetModuleFileNameW
  ChangeNotify,        // CreateEventW and RegNotifyChangeKeyValue
  EventReport,         // ReportEventW (with RegisterEventSourceW)
  Count
};
inline constexpr size_t kCallKinds = static_cast<size_t>(Call::Count);

// The name of a kind of call, for messages.
const char* CallName(Call call);

// One entry the program wrote to the Event Log.
struct LogEntry {
  std::wstring source;
  uint16_t type = 0;
  uint32_t id = 0;
  std::vector<std::wstring> strings;  // the insertion strings, %1 first
};

// When one kind of call fails.
struct FaultSwitch {
  uint64_t calls = 0;              // calls of this kind made so far
  bool always = false;             // every call fails
  std::vector<uint64_t> ordinals;  // 1-based ordinals of the calls that fail
  // A failing call made inside a structured-exception guard raises a fault
  // instead: like the platform's, the guard then resumes without running the
  // destructors of what the guarded body's frames hold. Outside any guard the
  // call fails as usual.
  bool raises = false;
};

struct Machine {
  // Platform facts.
  uint32_t osMajorVersion = 5;  // 0: the version cannot be read
  bool hasMemoryStatusEx = true;
  bool memoryStatusExFaults = false;
  bool quotaPrivilege = true;
  bool tokenOpens = true;
  bool bindsQuery = true;
  bool bindsSet = true;
  std::vector<Drive> drives = {Drive{}};

  // Memory: the current reading, and readings queued to become current one by
  // one at each memory-status call.
  Reading current;
  std::deque<Reading> queued;
  uint64_t plainStatusCalls = 0;
  uint64_t extendedStatusCalls = 0;

  FileCache fileCache;

  // Registry keys, created on demand; the nodes never move.
  std::vector<std::unique_ptr<RegKeyNode>> keys;

  // Change notifications: auto-reset events, and the armed one-shot watches
  // that signal them when a watched key (or, with subtree, a key below it)
  // changes its values or gains a subkey.
  struct ChangeEvent {
    bool signalled = false;
    bool open = true;
  };
  std::vector<ChangeEvent> changeEvents;
  struct Watch {
    const RegKeyNode* key = nullptr;
    bool subtree = false;
    size_t event = 0;
  };
  std::vector<Watch> watches;
  // Signals and disarms the watches that see a change of `key`.
  void KeyChanged(const RegKeyNode& key);

  // The program's place on the machine. Services run in session 0 as
  // LocalSystem; users in sessions 1 and up. A standard user's token (or an
  // administrator's filtered one) lacks the quota privilege: enabling it
  // reports ERROR_NOT_ALL_ASSIGNED and every file-cache set fails with
  // STATUS_PRIVILEGE_NOT_HELD; it may not open the service's named objects;
  // the service manager lets it connect and read, and a service query, be
  // interrogated and take user-defined codes, but neither start nor stop it.
  uint32_t session = 1;
  bool standardUser = false;

  // Named mutexes. A name without a prefix lives in the caller's session's
  // namespace, which in session 0 is the global one; "Global\" names live in
  // the global namespace and "Local\" names in the caller's session.
  struct NamedMutex {
    std::wstring name;   // without its namespace prefix
    uint32_t space = 0;  // 0: the global namespace; N: session N's
    uint32_t openHandles = 0;
    bool systemOwned = false;  // made by LocalSystem: a standard user cannot open it
  };
  std::vector<NamedMutex> mutexes;

  // Committed blocks: bytes and the bytes written into them.
  struct Block {
    uint64_t bytes = 0;
    uint64_t writes = 0;
    bool live = false;
  };
  std::vector<Block> blocks;
  uint64_t commitCalls = 0;
  std::vector<uint64_t> failingCommits;  // 1-based ordinals of commit calls that fail

  // The service control manager and this program's place in it.
  bool managerOpens = true;
  bool configQueryFails = false;
  std::vector<std::unique_ptr<Service>> services;
  std::wstring programPath = L"C:\\Velmora\\velsvc.exe";
  bool startedByServiceManager = false;
  bool handlerRegisters = true;
  void (*controlHandler)(uint32_t control) = nullptr;

  // What the program printed on standard output.
  std::wstring output;

  // Called after each recorded sleep, so that a test can act "meanwhile".
  void (*onSleep)(uint32_t milliseconds) = nullptr;
  // Called at each plain memory-status call before it reads, so that a test
  // can see the machine as it is when the code reads memory.
  void (*onMemoryStatus)() = nullptr;
  // The monotonic clock in ms; each recorded sleep advances it by its length.
  uint64_t clockMs = 0;

  bool threadsStart = true;
  uint32_t lastError = 0;
  int64_t openHandles = 0;  // every open token, mutex, volume, key and service handle

  // Fault injection, by kind of call.
  std::array<FaultSwitch, kCallKinds> faults{};
  void FailAlways(Call call) { faults[static_cast<size_t>(call)].always = true; }
  void FailOn(Call call, uint64_t ordinal) {
    faults[static_cast<size_t>(call)].ordinals.push_back(ordinal);
  }
  void RaiseOn(Call call, uint64_t ordinal) {
    FailOn(call, ordinal);
    faults[static_cast<size_t>(call)].raises = true;
  }
  uint64_t faultsRaised = 0;   // faults a guard caught
  uint64_t guardsEntered = 0;  // guarded bodies run, faulted or not
  uint64_t Calls(Call call) const { return faults[static_cast<size_t>(call)].calls; }
  // Counts one call of this kind; true when it is to fail.
  bool Faulted(Call call);

  // What the code did.
  bool recording = true;
  std::vector<Event> events;
  // The entries written to the Event Log, in order (kept while recording).
  std::vector<LogEntry> logEntries;
  void (*listener)(const Event&) = nullptr;

  void Record(const Event& event);

  // The key node for root\path, created (not existing) on first use.
  RegKeyNode& Key(plat::RegHandle root, const wchar_t* path);
  // The service of that name in the database, or null.
  Service* FindService(const wchar_t* name);
  // Adds a stopped service to the database.
  Service& AddService(const std::wstring& name, const std::wstring& binaryPath);
  // Number of handles open on the named mutex as the program's session sees
  // the name (0 when it does not exist).
  uint32_t MutexHolders(const std::wstring& name) const;
  // Adds or removes a holder outside the program (another process), in the
  // program's session or in another; a holder in session 0 is a service.
  void HoldMutex(const std::wstring& name, bool hold);
  void HoldMutex(const std::wstring& name, bool hold, uint32_t holderSession);
};

// The one machine of this process; Reset() puts it back to its defaults.
Machine& machine();
void Reset();

// UTF-8 from and to the wide text the platform functions take.
std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& utf8);

}  // namespace sim
