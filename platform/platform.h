// The free functions through which the logic reaches the machine.
//
// Two implementations exist, chosen at link time: platform/win32 makes the real
// calls, platform/sim runs them against a simulated machine that tests and velsim
// set up and that records what the code did. The logic never includes
// <windows.h>; everything it needs of the platform is declared here.
#pragma once

#include <cstdint>

namespace plat {

using Handle = void*;            // kernel object: token, mutex, volume
using RegHandle = void*;         // registry key
using ModuleHandle = void*;      // loaded module
using ProcAddress = void (*)();  // entry point bound by name

// Predefined registry roots, with the values the platform gives them.
inline RegHandle const kLocalMachine =
    reinterpret_cast<RegHandle>(static_cast<intptr_t>(static_cast<int32_t>(0x80000002u)));
inline RegHandle const kCurrentUser =
    reinterpret_cast<RegHandle>(static_cast<intptr_t>(static_cast<int32_t>(0x80000001u)));

// The invalid-handle value that file and volume opens return on failure.
inline Handle const kInvalidHandle = reinterpret_cast<Handle>(static_cast<intptr_t>(-1));

// Error codes the logic looks at.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorServiceDoesNotExist = 1060;
inline constexpr uint32_t kErrorNotAllAssigned = 1300;

// Registry value types.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegQword = 11;

// Drive types.
inline constexpr uint32_t kDriveUnknown = 0;
inline constexpr uint32_t kDriveNoRootDir = 1;
inline constexpr uint32_t kDriveRemovable = 2;
inline constexpr uint32_t kDriveFixed = 3;
inline constexpr uint32_t kDriveRemote = 4;
inline constexpr uint32_t kDriveCdrom = 5;
inline constexpr uint32_t kDriveRamdisk = 6;

// ---- Errors and structured-exception guards ------------------------------

// The calling thread's last-error value.
uint32_t LastError();

// Sets the calling thread's last-error value.
void SetLastError(uint32_t error);

// Runs body(context); a fault (a structured exception such as an access
// violation) raised inside ends the body and gives false. Guards nest.
//
// A fault resumes in the guard without running the destructors of anything the
// body's frames hold. So a guarded body owns nothing: whatever it opens is
// owned outside it (an owner declared before the guard, opened through put()),
// or only the platform call that can fault is guarded. A C++ exception is not a
// fault: it passes through the guard, which is left as on a normal return.
bool RunGuarded(void (*body)(void*), void* context);

// ---- Memory status and version --------------------------------------------

// What a memory-status call reports; byte counts in 64 bits.
struct MemoryStatus {
  uint32_t memoryLoad;
  uint64_t totalPhys;
  uint64_t availPhys;
  uint64_t availPageFile;
};

// The plain memory-status call (GlobalMemoryStatus).
void QueryMemoryStatus(MemoryStatus& status);

// Calls a bound extended memory-status call (GlobalMemoryStatusEx); false when
// the call raised a fault, in which case `status` is not to be used.
bool QueryMemoryStatusEx(ProcAddress bound, MemoryStatus& status);

// Reads the major version with a version record of `recordSize` bytes (284 for
// the extended record, 276 for the plain one); false when the call fails.
bool ReadOsMajorVersion(uint32_t recordSize, uint32_t& majorVersion);

// ---- Binding by name ---------------------------------------------------------

// The handle of a module already loaded in the process, or null.
ModuleHandle FindModule(const wchar_t* name);

// An entry point of that module by name, or null.
ProcAddress FindProc(ModuleHandle module, const char* name);

// Calls a bound NtQuerySystemInformation; returns its status.
int32_t QuerySystemInformation(ProcAddress bound, uint32_t infoClass, void* record, uint32_t length,
                               uint32_t* returnedLength);

// Calls a bound NtSetSystemInformation; returns its status.
int32_t SetSystemInformation(ProcAddress bound, uint32_t infoClass, void* record, uint32_t length);

// ---- Process token and privileges -------------------------------------------

struct Luid {
  uint32_t lowPart;
  int32_t highPart;
};

// A privilege list of one entry, laid out as the platform's TOKEN_PRIVILEGES.
struct TokenPrivilege {
  uint32_t privilegeCount;
  Luid luid;
  uint32_t attributes;
};
static_assert(sizeof(TokenPrivilege) == 16, "one-entry privilege list is 16 bytes");

inline constexpr uint32_t kPrivilegeEnabled = 2;

// Opens the current process's token with `access`; false on failure.
bool OpenProcessToken(uint32_t access, Handle& token);

// Looks up a privilege's LUID by name on the local system.
bool LookupPrivilege(const wchar_t* name, Luid& luid);

// AdjustTokenPrivileges without disabling all; the outcome is read from
// LastError() afterwards, which also reports a partial success.
bool AdjustPrivileges(Handle token, const TokenPrivilege& newState, uint32_t bufferLength,
                      TokenPrivilege* previousState, uint32_t* returnLength);

// Closes a kernel object handle (token, mutex, volume).
bool CloseObject(Handle handle);

// ---- Named mutexes -------------------------------------------------------------

// Creates or opens a named mutex with default security; LastError() right after
// is kErrorAlreadyExists when it existed. Null on failure.
Handle CreateNamedMutexW(bool initialOwner, const wchar_t* name);
Handle CreateNamedMutexA(bool initialOwner, const char* name);

// ---- Committed memory -------------------------------------------------------------

// Reserves and commits `bytes` of read-write memory; null on failure (also for 0).
void* CommitMemory(uint64_t bytes);

// Releases a block obtained from CommitMemory.
bool ReleaseMemory(void* address);

// Writes the byte 0 at address + 0, + stride, + 2 x stride, ... while the offset
// is below `limit`, so that the system must back those pages.
void TouchMemory(void* address, uint64_t limit, uint32_t stride);

// ---- Threads and time -------------------------------------------------------------

// A thread's routine; its result is the thread's exit code.
using ThreadRoutine = unsigned (*)(void*);

// Starts routine(argument) on a new thread with the default stack through the
// runtime's thread start; the thread handle is not kept. False when the thread
// could not be started.
bool StartDetachedThread(ThreadRoutine routine, void* argument);

void SleepMs(uint32_t milliseconds);

// Milliseconds since an arbitrary start (GetTickCount64): it only moves
// forward, so the difference of two readings is the time between them.
uint64_t TickCountMs();

// ---- Registry ----------------------------------------------------------------------

// Each returns the platform's status (0 is success). `key` is null after a failed
// open or create.
int32_t RegOpen(RegHandle root, const wchar_t* path, uint32_t access, RegHandle& key);
int32_t RegCreate(RegHandle root, const wchar_t* path, uint32_t access, RegHandle& key);
// RegQueryValueExW: with no type, data and size pointers it probes for the value.
int32_t RegQuery(RegHandle key, const wchar_t* name, uint32_t* type, void* data, uint32_t* size);
int32_t RegSet(RegHandle key, const wchar_t* name, uint32_t type, const void* data, uint32_t size);
int32_t RegClose(RegHandle key);

// ---- Change notifications ------------------------------------------------------

// An auto-reset event, not signalled, for change notifications; null on failure.
Handle CreateChangeEvent();

// Arms a one-shot notification (RegNotifyChangeKeyValue, asynchronous): the
// event is signalled when a value of the key, or with `subtree` anything below
// it, is set, deleted, or a subkey is added or removed. The platform's status.
int32_t NotifyKeyChange(RegHandle key, bool subtree, Handle event);

// Waits for the event at most `milliseconds` (a sleep that a signal ends
// early); true when it was signalled.
bool WaitForEvent(Handle event, uint32_t milliseconds);

// ---- Volumes ---------------------------------------------------------------------

// Bit mask of the drive letters present, bit 0 being A.
uint32_t LogicalDrives();

// The type of the drive whose root path ("C:\") is given.
uint32_t DriveType(const wchar_t* rootPath);

// Opens a whole volume ("\\.\C:") for reading and writing with shared read and
// write; null or kInvalidHandle on failure.
Handle OpenVolume(const wchar_t* path);

// Flushes the write buffers of an open volume.
bool FlushVolume(Handle volume);

// ---- Event Log --------------------------------------------------------------------

// Types of an Event Log entry.
inline constexpr uint16_t kEventError = 1;
inline constexpr uint16_t kEventWarning = 2;
inline constexpr uint16_t kEventInformation = 4;

// Writes one entry of the event source `source` to the Application log: the
// message `id` of the source's message table, of type `type`, with `count`
// insertion strings (%1 is strings[0]). The source is registered and let go
// within the call (RegisterEventSourceW, ReportEventW, DeregisterEventSource):
// no handle outlives it. False when the entry could not be written.
bool ReportLogEvent(const wchar_t* source, uint16_t type, uint32_t id,
                    const wchar_t* const* strings, uint16_t count);

// ---- The program itself -----------------------------------------------------------

// The running program's full path (GetModuleFileNameW): the characters copied,
// 0 on failure. A path that does not fit is cut to capacity - 1 characters;
// the result is then capacity, and LastError() may be kErrorInsufficientBuffer.
uint32_t ProgramPath(wchar_t* buffer, uint32_t capacity);

// Case-insensitive comparison as the platform's lstrcmpiW does it: 0 when equal.
int CompareNoCase(const wchar_t* a, const wchar_t* b);

// Writes text to standard output with the runtime's wide print.
void PrintOut(const wchar_t* text);

// ---- Service control manager ------------------------------------------------------

using ScHandle = void*;  // service control manager or service

// The platform's SERVICE_STATUS record.
struct ServiceStatus {
  uint32_t serviceType;
  uint32_t currentState;
  uint32_t controlsAccepted;
  uint32_t win32ExitCode;
  uint32_t serviceSpecificExitCode;
  uint32_t checkPoint;
  uint32_t waitHint;
};

// Access rights.
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;
inline constexpr uint32_t kGenericExecute = 0x20000000u;
inline constexpr uint32_t kDelete = 0x10000u;
inline constexpr uint32_t kScManagerConnect = 0x1;
inline constexpr uint32_t kScManagerCreateService = 0x2;
inline constexpr uint32_t kServiceQueryConfig = 0x1;
inline constexpr uint32_t kServiceQueryStatus = 0x4;
inline constexpr uint32_t kServiceStart = 0x10;
inline constexpr uint32_t kServiceStop = 0x20;
inline constexpr uint32_t kServiceInterrogate = 0x80;
inline constexpr uint32_t kServiceUserDefinedControl = 0x100;
inline constexpr uint32_t kServiceAllAccess = 0xF01FFu;

// Service types, start types, error control.
inline constexpr uint32_t kServiceWin32OwnProcess = 0x10;
inline constexpr uint32_t kServiceAutoStart = 2;
inline constexpr uint32_t kServiceErrorIgnore = 0;

// Service states.
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;
inline constexpr uint32_t kServiceContinuePending = 5;
inline constexpr uint32_t kServicePausePending = 6;
inline constexpr uint32_t kServicePaused = 7;

// Control codes.
inline constexpr uint32_t kServiceControlStop = 1;
inline constexpr uint32_t kServiceControlInterrogate = 4;
inline constexpr uint32_t kServiceControlShutdown = 5;

// Opens the service control manager of this machine and its active database.
ScHandle OpenServiceManager(uint32_t access);

ScHandle OpenNamedService(ScHandle manager, const wchar_t* name, uint32_t access);

// What CreateServiceW needs for a service without group, tag, dependencies,
// account or password.
struct NewService {
  const wchar_t* name;
  const wchar_t* displayName;
  uint32_t access;
  uint32_t serviceType;
  uint32_t startType;
  uint32_t errorControl;
  const wchar_t* binaryPath;
};
ScHandle CreateNamedService(ScHandle manager, const NewService& service);

bool CloseService(ScHandle handle);
bool DeleteNamedService(ScHandle service);
bool StartNamedService(ScHandle service);
bool ControlNamedService(ScHandle service, uint32_t control, ServiceStatus& status);
bool QueryStatus(ScHandle service, ServiceStatus& status);

// QueryServiceConfigW: with a null buffer (size 0) it fails and reports in
// `needed` the bytes the record takes.
bool QueryConfig(ScHandle service, void* buffer, uint32_t size, uint32_t& needed);
// The display name and executable path in a record QueryConfig filled.
void ConfigNames(const void* record, const wchar_t*& displayName, const wchar_t*& binaryPath);

// LocalAlloc with LMEM_ZEROINIT, and LocalFree.
void* AllocZeroed(uint32_t bytes);
void FreeLocal(void* block);

// ---- Service entry ------------------------------------------------------------------

using ServiceMainFunction = void (*)(uint32_t argc, wchar_t** argv);
using ServiceHandlerFunction = void (*)(uint32_t control);
using StatusHandle = void*;

// StartServiceCtrlDispatcherW with a table of one service; returns when the
// service has stopped, or at once with false when the process was not started
// by the service control manager.
bool RunServiceDispatcher(const wchar_t* name, ServiceMainFunction serviceMain);

// RegisterServiceCtrlHandlerW (the plain handler form).
StatusHandle RegisterControlHandler(const wchar_t* name, ServiceHandlerFunction handler);

// SetServiceStatus.
bool ReportServiceStatus(StatusHandle handle, const ServiceStatus& status);

}  // namespace plat
