// Checks the Win32 platform layer against the system it runs on: Wine, in the
// project's tests. Prints one line per failed check and then "N passed, M
// failed"; the exit code is 0 only when nothing failed. With -v it also prints
// the figures the system reported.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/handles.h"
#include "platform/platform.h"

namespace {

int g_passed = 0;
int g_failed = 0;
bool g_verbose = false;

void Check(bool ok, const char* what, int line) {
  if (ok) {
    ++g_passed;
    return;
  }
  ++g_failed;
  std::printf("FAILED line %d: %s\n", line, what);
}

void CheckEq(uint64_t actual, uint64_t expected, const char* actualText, const char* expectedText,
             int line) {
  if (actual == expected) {
    ++g_passed;
    return;
  }
  ++g_failed;
  std::printf("FAILED line %d: %s == %s (got %llu = 0x%llx, expected %llu = 0x%llx)\n", line,
              actualText, expectedText, static_cast<unsigned long long>(actual),
              static_cast<unsigned long long>(actual), static_cast<unsigned long long>(expected),
              static_cast<unsigned long long>(expected));
}

#define CHECK(cond) Check((cond), #cond, __LINE__)
#define CHECK_EQ(actual, expected)                                                            \
  CheckEq(static_cast<uint64_t>(actual), static_cast<uint64_t>(expected), #actual, #expected, \
          __LINE__)

__attribute__((format(printf, 1, 2))) void Info(const char* format, ...) {
  if (!g_verbose) {
    return;
  }
  std::va_list args;
  va_start(args, format);
  std::printf("info: ");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
}

using plat::UniqueKey;

// ---- Deliberate faults --------------------------------------------------------
// Out of line and through volatile, so that the compiler neither drops nor moves
// the faulting access.

volatile int g_sink = 0;

__attribute__((noinline)) void WriteThroughNull() {
  int* volatile target = nullptr;
  *static_cast<volatile int*>(target) = 1;
}

__attribute__((noinline)) void DivideByZero() {
  volatile int divisor = 0;
  g_sink = 100 / divisor;
}

__attribute__((noinline)) void IllegalInstruction() {
  __builtin_trap();
}

__attribute__((noinline)) void CallBadAddress() {
  auto volatile target = reinterpret_cast<void (*)()>(uintptr_t{0x10});
  target();
}

// ---- Memory status and version -------------------------------------------------

BOOL WINAPI FaultingMemoryStatusEx(LPMEMORYSTATUSEX record) {
  record->dwMemoryLoad = 7;
  WriteThroughNull();
  return TRUE;
}

void TestMemoryStatus() {
  plat::MemoryStatus plain{};
  plat::QueryMemoryStatus(plain);
  Info("plain memory status: load %u, total %llu, avail %llu, page file %llu", plain.memoryLoad,
       static_cast<unsigned long long>(plain.totalPhys),
       static_cast<unsigned long long>(plain.availPhys),
       static_cast<unsigned long long>(plain.availPageFile));
  CHECK(plain.totalPhys > 0);
  CHECK(plain.memoryLoad <= 100);
  CHECK(plain.availPhys <= plain.totalPhys);
  CHECK(plain.availPageFile > 0);

  plat::ProcAddress const bound =
      plat::FindProc(plat::FindModule(L"kernel32.dll"), "GlobalMemoryStatusEx");
  CHECK(bound != nullptr);
  plat::MemoryStatus extended{};
  CHECK(plat::QueryMemoryStatusEx(bound, extended));
  Info("extended memory status: load %u, total %llu, avail %llu, page file %llu",
       extended.memoryLoad, static_cast<unsigned long long>(extended.totalPhys),
       static_cast<unsigned long long>(extended.availPhys),
       static_cast<unsigned long long>(extended.availPageFile));
  CHECK_EQ(extended.totalPhys, plain.totalPhys);
  CHECK(extended.totalPhys > 0);
  CHECK(extended.memoryLoad <= 100);
  CHECK(extended.availPhys <= extended.totalPhys);

  // A bound call that faults gives false and leaves the record alone.
  plat::MemoryStatus untouched{55, 1, 2, 3};
  CHECK(!plat::QueryMemoryStatusEx(reinterpret_cast<plat::ProcAddress>(&FaultingMemoryStatusEx),
                                   untouched));
  CHECK_EQ(untouched.memoryLoad, 55u);
  CHECK_EQ(untouched.totalPhys, 1u);
  // So does a bound address that is no code at all.
  CHECK(
      !plat::QueryMemoryStatusEx(reinterpret_cast<plat::ProcAddress>(uintptr_t{0x10}), untouched));
  CHECK(!plat::QueryMemoryStatusEx(nullptr, untouched));
  // And the real call still works afterwards.
  plat::MemoryStatus again{};
  CHECK(plat::QueryMemoryStatusEx(bound, again));
  CHECK_EQ(again.totalPhys, plain.totalPhys);
}

void TestVersion() {
  for (uint32_t const size : {284u, 276u}) {
    uint32_t major = 0;
    CHECK(plat::ReadOsMajorVersion(size, major));
    Info("major version with a %u-byte record: %u", size, major);
    CHECK(major >= 5);
  }
  uint32_t major = 99;
  CHECK(!plat::ReadOsMajorVersion(100, major));
  CHECK_EQ(major, 99u);
}

// ---- Binding and the native file-cache calls -------------------------------------

void TestBinding() {
  plat::ModuleHandle const ntdll = plat::FindModule(L"ntdll.dll");
  plat::ModuleHandle const kernel32 = plat::FindModule(L"kernel32.dll");
  CHECK(ntdll != nullptr);
  CHECK(kernel32 != nullptr);
  CHECK(plat::FindModule(L"velmora-not-loaded.dll") == nullptr);
  CHECK(plat::FindProc(ntdll, "NtQuerySystemInformation") != nullptr);
  CHECK(plat::FindProc(ntdll, "NtSetSystemInformation") != nullptr);
  CHECK(plat::FindProc(kernel32, "GlobalMemoryStatusEx") != nullptr);
  CHECK(plat::FindProc(ntdll, "VelmoraNoSuchEntryPoint") == nullptr);
}

constexpr uint32_t kFileCacheInformation = 21;
constexpr uint32_t kStatusInfoLengthMismatch = 0xC0000004u;

void TestFileCacheCalls() {
  plat::ModuleHandle const ntdll = plat::FindModule(L"ntdll.dll");
  plat::ProcAddress const query = plat::FindProc(ntdll, "NtQuerySystemInformation");
  plat::ProcAddress const set = plat::FindProc(ntdll, "NtSetSystemInformation");
  CHECK(query != nullptr);
  CHECK(set != nullptr);
  if (query == nullptr || set == nullptr) {
    return;
  }

  // The x64 file-cache record: pointer-sized counts, 64 bytes in all.
  uint64_t record[8];
  std::memset(record, 0xA5, sizeof(record));
  uint32_t returned = 0xFFFFFFFFu;
  int32_t status =
      plat::QuerySystemInformation(query, kFileCacheInformation, record, sizeof(record), &returned);
  Info(
      "file-cache query (64 bytes): status 0x%08x, returned %u, current %llu, peak %llu, "
      "minimum %llu, maximum %llu",
      static_cast<unsigned>(status), returned, static_cast<unsigned long long>(record[0]),
      static_cast<unsigned long long>(record[1]), static_cast<unsigned long long>(record[3]),
      static_cast<unsigned long long>(record[4]));
  CHECK_EQ(static_cast<uint32_t>(status), 0u);

  status = plat::QuerySystemInformation(query, kFileCacheInformation, record, 36, &returned);
  Info("file-cache query (36 bytes): status 0x%08x", static_cast<unsigned>(status));
  CHECK_EQ(static_cast<uint32_t>(status), kStatusInfoLengthMismatch);

  // The empty request: both limits all ones, no flags.
  std::memset(record, 0, sizeof(record));
  record[3] = ~uint64_t{0};
  record[4] = ~uint64_t{0};
  status = plat::SetSystemInformation(set, kFileCacheInformation, record, sizeof(record));
  Info("file-cache set (64 bytes): status 0x%08x", static_cast<unsigned>(status));
  CHECK_EQ(static_cast<uint32_t>(status), 0u);

  CHECK(plat::QuerySystemInformation(nullptr, kFileCacheInformation, record, sizeof(record),
                                     &returned) != 0);
  CHECK(plat::SetSystemInformation(nullptr, kFileCacheInformation, record, sizeof(record)) != 0);
}

// ---- Token and privileges -----------------------------------------------------------

// Whether the token lists the privilege as enabled.
bool PrivilegeEnabled(plat::Handle token, const plat::Luid& luid) {
  DWORD needed = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &needed);
  std::string buffer(needed, '\0');
  if (needed == 0 || !GetTokenInformation(token, TokenPrivileges, buffer.data(), needed, &needed)) {
    return false;
  }
  auto const* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
    LUID_AND_ATTRIBUTES const& entry = list->Privileges[i];
    if (entry.Luid.LowPart == luid.lowPart && entry.Luid.HighPart == luid.highPart) {
      return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  return false;
}

void TestPrivileges() {
  plat::Handle opened = nullptr;
  CHECK(plat::OpenProcessToken(0x28, opened));  // adjust privileges | query
  plat::UniqueObject token(opened);
  CHECK(token.valid());

  plat::Luid luid{};
  CHECK(plat::LookupPrivilege(L"SeIncreaseQuotaPrivilege", luid));
  Info("SeIncreaseQuotaPrivilege: luid %u:%d", luid.lowPart, luid.highPart);
  plat::Luid unknown{};
  CHECK(!plat::LookupPrivilege(L"SeVelmoraNoSuchPrivilege", unknown));
  if (!token.valid()) {
    return;
  }

  Info("quota privilege enabled at start: %d", PrivilegeEnabled(token.get(), luid));
  plat::TokenPrivilege state{1, luid, 0};
  plat::TokenPrivilege previous{};
  uint32_t returned = sizeof(previous);
  bool ok = plat::AdjustPrivileges(token.get(), state, sizeof(previous), &previous, &returned);
  uint32_t error = plat::LastError();
  Info("disable quota privilege: ok %d, error %u, returned %u, previous count %u", ok, error,
       returned, previous.privilegeCount);
  CHECK(ok);
  CHECK_EQ(error, 0u);
  CHECK(!PrivilegeEnabled(token.get(), luid));

  state.attributes = plat::kPrivilegeEnabled;
  ok = plat::AdjustPrivileges(token.get(), state, 0, nullptr, nullptr);
  error = plat::LastError();
  Info("enable quota privilege: ok %d, error %u", ok, error);
  CHECK(ok);
  CHECK_EQ(error, 0u);
  CHECK(PrivilegeEnabled(token.get(), luid));

  CHECK(plat::CloseObject(token.release()));
}

// ---- Registry ---------------------------------------------------------------------------

constexpr uint32_t kKeyReadWriteCreate = 0xF001F;
constexpr uint32_t kKeyReadWrite = 0xF001B;
constexpr uint32_t kKeyRead = 0x20019;
const wchar_t kTestParent[] = L"SOFTWARE\\Quorlex";

void TestRegistry() {
  // One key per process, so that runs side by side in one prefix keep apart.
  std::wstring const testKeyPath = std::wstring(kTestParent) + L"\\VelmoraPlatformTest." +
                                   std::to_wstring(GetCurrentProcessId());
  wchar_t const* const testKey = testKeyPath.c_str();
  plat::RegHandle raw = nullptr;
  bool const parentExisted = plat::RegOpen(plat::kLocalMachine, kTestParent, kKeyRead, raw) == 0;
  UniqueKey parent(raw);
  parent.reset();
  // Left over by an earlier run of the same id that stopped half-way.
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, testKey);

  raw = reinterpret_cast<plat::RegHandle>(uintptr_t{1});
  CHECK_EQ(plat::RegOpen(plat::kLocalMachine, testKey, kKeyReadWrite, raw),
           plat::kErrorFileNotFound);
  CHECK(raw == nullptr);

  CHECK_EQ(plat::RegCreate(plat::kLocalMachine, testKey, kKeyReadWriteCreate, raw), 0);
  UniqueKey created(raw);
  CHECK(created.valid());
  CHECK_EQ(plat::RegClose(created.release()), 0);

  CHECK_EQ(plat::RegOpen(plat::kLocalMachine, testKey, kKeyReadWrite, raw), 0);
  UniqueKey key(raw);
  CHECK(key.valid());
  if (key.valid()) {
    CHECK_EQ(plat::RegQuery(key.get(), L"Missing", nullptr, nullptr, nullptr),
             plat::kErrorFileNotFound);

    uint32_t const number = 0x12345678u;
    CHECK_EQ(plat::RegSet(key.get(), L"Number", plat::kRegDword, &number, sizeof(number)), 0);
    CHECK_EQ(plat::RegQuery(key.get(), L"Number", nullptr, nullptr, nullptr), 0);
    uint32_t type = 0;
    uint32_t data = 0;
    uint32_t size = sizeof(data);
    CHECK_EQ(plat::RegQuery(key.get(), L"Number", &type, &data, &size), 0);
    CHECK_EQ(type, plat::kRegDword);
    CHECK_EQ(data, number);
    CHECK_EQ(size, 4u);

    wchar_t const text[] = L"not a number";
    CHECK_EQ(plat::RegSet(key.get(), L"Text", plat::kRegSz, text, sizeof(text)), 0);
    type = 0;
    data = 0;
    size = sizeof(data);
    int32_t const status = plat::RegQuery(key.get(), L"Text", &type, &data, &size);
    Info("text into 4 bytes: status %d, type %u, size %u", status, type, size);
    CHECK(status == static_cast<int32_t>(plat::kErrorMoreData) || type != plat::kRegDword);

    type = 0;
    size = 0;
    CHECK_EQ(plat::RegQuery(key.get(), L"Text", &type, nullptr, &size), 0);
    CHECK_EQ(type, plat::kRegSz);
    CHECK_EQ(size, sizeof(text));

    CHECK_EQ(plat::RegClose(key.release()), 0);
  }

  CHECK_EQ(plat::RegOpen(plat::kCurrentUser, L"Software", kKeyRead, raw), 0);
  UniqueKey user(raw);
  CHECK(user.valid());

  CHECK_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, testKey), 0);
  if (!parentExisted) {
    // Fails, harmlessly, while another run still has its key there.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTestParent);
  }
}

// ---- Threads ------------------------------------------------------------------------------

struct ThreadRun {
  HANDLE done;
  void* argumentSeen;
  unsigned (*work)(ThreadRun&);
  unsigned results[4];
};

unsigned RunOnThread(void* argument) {
  auto* const run = static_cast<ThreadRun*>(argument);
  run->argumentSeen = argument;
  unsigned const code = run->work != nullptr ? run->work(*run) : 0;
  SetEvent(run->done);
  return code;
}

// Starts run.work on a detached thread and waits for it; false on a timeout.
bool RunDetached(ThreadRun& run) {
  plat::UniqueObject done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done.valid()) {
    return false;
  }
  run.done = done.get();
  if (!plat::StartDetachedThread(&RunOnThread, &run)) {
    return false;
  }
  bool const finished = WaitForSingleObject(done.get(), 10000) == WAIT_OBJECT_0;
  if (!finished) {
    // The thread still holds `run` and the event: never let either go.
    done.release();
  }
  return finished;
}

// Static, so that a thread that outlives a failed wait still finds them.
ThreadRun g_plainRun{};

void TestThreads() {
  CHECK(RunDetached(g_plainRun));
  CHECK(g_plainRun.argumentSeen == &g_plainRun);

  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  plat::SleepMs(50);
  QueryPerformanceCounter(&end);
  double const slept = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                       static_cast<double>(frequency.QuadPart);
  Info("slept for 50 ms: %.1f ms", slept);
  CHECK(slept >= 45.0);
}

// ---- Named mutexes ----------------------------------------------------------------------

ThreadRun g_mutexRun{};
HANDLE g_ownedMutex = nullptr;

unsigned TryOwnedMutex(ThreadRun& run) {
  run.results[0] = WaitForSingleObject(g_ownedMutex, 0);
  return 0;
}

void TestMutexes() {
  std::string const name = "VelmoraPlatformTest.Mutex." + std::to_string(GetCurrentProcessId());
  std::wstring const wideName(name.begin(), name.end());

  plat::UniqueObject first(plat::CreateNamedMutexW(false, wideName.c_str()));
  uint32_t const firstError = plat::LastError();
  CHECK(first.valid());
  CHECK_EQ(firstError, 0u);

  plat::UniqueObject second(plat::CreateNamedMutexW(false, wideName.c_str()));
  uint32_t const secondError = plat::LastError();
  CHECK(second.valid());
  CHECK_EQ(secondError, plat::kErrorAlreadyExists);

  plat::UniqueObject narrow(plat::CreateNamedMutexA(false, name.c_str()));
  uint32_t const narrowError = plat::LastError();
  CHECK(narrow.valid());
  CHECK_EQ(narrowError, plat::kErrorAlreadyExists);

  first.reset();
  second.reset();
  narrow.reset();

  plat::UniqueObject fresh(plat::CreateNamedMutexA(false, name.c_str()));
  uint32_t const freshError = plat::LastError();
  CHECK(fresh.valid());
  CHECK_EQ(freshError, 0u);
  CHECK(plat::CloseObject(fresh.release()));

  // Created owned, the mutex is not to be had by another thread.
  plat::UniqueObject owned(plat::CreateNamedMutexW(true, (wideName + L".Owned").c_str()));
  CHECK(owned.valid());
  g_ownedMutex = owned.get();
  g_mutexRun.work = &TryOwnedMutex;
  CHECK(RunDetached(g_mutexRun));
  CHECK_EQ(g_mutexRun.results[0], WAIT_TIMEOUT);
  CHECK(ReleaseMutex(owned.get()));
}

// ---- Committed memory -------------------------------------------------------------------

void TestCommittedMemory() {
  constexpr uint64_t kSize = uint64_t{64} << 20;
  void* const block = plat::CommitMemory(kSize);
  CHECK(block != nullptr);
  if (block != nullptr) {
    plat::TouchMemory(block, kSize - 2048, 2151);
    plat::TouchMemory(block, kSize - 2048, 2048);
    CHECK(plat::ReleaseMemory(block));
  }
  CHECK(plat::CommitMemory(0) == nullptr);

  // Which bytes a touch pass writes.
  constexpr uint64_t kSmall = 65536;
  auto* const bytes = static_cast<unsigned char*>(plat::CommitMemory(kSmall));
  CHECK(bytes != nullptr);
  if (bytes != nullptr) {
    std::memset(bytes, 0xFF, kSmall);
    plat::TouchMemory(bytes, 10000, 2151);
    bool exact = true;
    for (uint64_t i = 0; i < 12000; ++i) {
      bool const written = i % 2151 == 0 && i < 10000;
      exact = exact && bytes[i] == (written ? 0 : 0xFF);
    }
    CHECK(exact);
    std::memset(bytes, 0xFF, kSmall);
    plat::TouchMemory(bytes, 5000, 0);  // a stride of 0 writes the first byte only
    CHECK(bytes[0] == 0 && bytes[1] == 0xFF);
    CHECK(plat::ReleaseMemory(bytes));
  }
}

// ---- Volumes ---------------------------------------------------------------------------------

void TestVolumes() {
  uint32_t const drives = plat::LogicalDrives();
  Info("logical drives: 0x%08x", drives);
  CHECK((drives & (1u << 2)) != 0);
  CHECK_EQ(plat::DriveType(L"C:\\"), plat::kDriveFixed);

  plat::UniqueObject volume(plat::OpenVolume(L"\\\\.\\C:"));
  CHECK(volume.valid());
  if (volume.valid()) {
    bool const flushed = plat::FlushVolume(volume.get());
    Info("flush of C: %s, error %u", flushed ? "succeeded" : "failed", plat::LastError());
    CHECK(plat::CloseObject(volume.release()));
  }
}

// Wine's Event Log keeps nothing to read back; the entry is accepted, with and
// without insertion strings.
void TestEventLog() {
  const wchar_t* const strings[] = {L"one", L"two"};
  CHECK(plat::ReportLogEvent(L"Velmora Test", plat::kEventInformation, 1, strings, 2));
  CHECK(plat::ReportLogEvent(L"Velmora Test", plat::kEventWarning, 2, nullptr, 0));
}

// ---- Structured-exception guards --------------------------------------------------------

// Counts through volatile: the compiler does not know that a call faults, and
// would otherwise be free to move an increment past it.
void Step(int& counter) {
  volatile int* const count = &counter;
  *count = *count + 1;
}

void CountBody(void* context) {
  Step(*static_cast<int*>(context));
}

void FaultingBody(void* context) {
  Step(*static_cast<int*>(context));
  WriteThroughNull();
  Step(*static_cast<int*>(context));
}

void DivideBody(void*) {
  DivideByZero();
}
void IllegalBody(void*) {
  IllegalInstruction();
}
void BadCallBody(void*) {
  CallBadAddress();
}

struct NestedRun {
  bool inner;
  int innerSteps;
  int outerSteps;
};

void OuterOfFaultingInner(void* context) {
  auto* const run = static_cast<NestedRun*>(context);
  run->inner = plat::RunGuarded(&FaultingBody, &run->innerSteps);
  Step(run->outerSteps);
}

void OuterFaultingAfterInner(void* context) {
  auto* const run = static_cast<NestedRun*>(context);
  run->inner = plat::RunGuarded(&CountBody, &run->innerSteps);
  Step(run->outerSteps);
  WriteThroughNull();
  Step(run->outerSteps);
}

unsigned GuardsOnThread(ThreadRun& run) {
  int steps = 0;
  run.results[0] = plat::RunGuarded(&FaultingBody, &steps) ? 1 : 0;
  run.results[1] = static_cast<unsigned>(steps);
  run.results[2] = plat::RunGuarded(&CountBody, &steps) ? 1 : 0;
  run.results[3] = static_cast<unsigned>(steps);
  return 0;
}

ThreadRun g_guardRun{};

// A software exception the guards must let through, and whether the handler
// standing for "normal handling" saw it.
constexpr DWORD kSoftwareException = 0xE056454Cu;
volatile LONG g_passedOn = 0;
volatile LONG g_expectPassedOn = 0;

LONG CALLBACK LastChanceHandler(EXCEPTION_POINTERS* info) {
  DWORD const code = info->ExceptionRecord->ExceptionCode;
  if (g_expectPassedOn != 0 && (code == kSoftwareException || code == EXCEPTION_ACCESS_VIOLATION)) {
    InterlockedIncrement(&g_passedOn);
    return EXCEPTION_CONTINUE_EXECUTION;  // raised by RaiseException: it just returns
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void RaiseSoftwareBody(void* context) {
  RaiseException(kSoftwareException, 0, 0, nullptr);
  Step(*static_cast<int*>(context));
}

void SetLastErrorBody(void*) {
  SetLastError(1234);
}

// A thrown exception passes through a guard and leaves it: a fault after it,
// outside any guard, ends the process as a plain fault does.
int FaultAfterThrowThroughGuard() {
  try {
    plat::Guarded([] { throw 7; });
  } catch (int) {
  }
  WriteThroughNull();
  return 0;
}

// An exception that finds no handler: the program ends as abort ends it.
int ThrowWithoutHandler() {
  throw 7;
}

// Runs this program again with `argument`; its exit code, or STILL_ACTIVE when
// it did not end within 60 s (it was then ended).
DWORD RunSelf(const wchar_t* argument) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring commandLine = std::wstring(L"\"") + path + L"\" " + argument;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 0;
  }
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  } else {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

void TestGuardsAndOwners() {
  // The owner lives outside the guarded body, which opens through put(): the
  // fault ends the body, and the owner still closes what it opened.
  static constexpr wchar_t kName[] = L"Velmora platform test: guarded owner";
  {
    plat::UniqueObject mutex;
    bool const completed = plat::Guarded([&mutex] {
      *mutex.put() = plat::CreateNamedMutexW(true, kName);
      WriteThroughNull();
    });
    CHECK(!completed);
    CHECK(mutex.valid());
  }
  HANDLE const reopened = OpenMutexW(SYNCHRONIZE, FALSE, kName);
  CHECK(reopened == nullptr);  // the owner closed the only handle: the mutex is gone
  if (reopened != nullptr) {
    CloseHandle(reopened);
  }

  // An exception through a guard leaves the chain as it was.
  int steps = 0;
  bool thrown = false;
  try {
    plat::Guarded([&steps] {
      Step(steps);
      throw 7;
    });
  } catch (int) {
    thrown = true;
  }
  CHECK(thrown);
  CHECK_EQ(steps, 1);
  CHECK(!plat::RunGuarded(&FaultingBody, &steps));
  CHECK_EQ(steps, 2);
  CHECK_EQ(RunSelf(L"fault-after-throw"), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  CHECK_EQ(RunSelf(L"throw-unhandled"), DWORD{3});
}

void TestGuards() {
  int steps = 0;
  CHECK(plat::RunGuarded(&CountBody, &steps));
  CHECK_EQ(steps, 1);

  steps = 0;
  CHECK(!plat::RunGuarded(&FaultingBody, &steps));
  CHECK_EQ(steps, 1);
  steps = 0;
  CHECK(!plat::RunGuarded(&FaultingBody, &steps));
  CHECK_EQ(steps, 1);

  CHECK(!plat::RunGuarded(&DivideBody, nullptr));
  CHECK(!plat::RunGuarded(&IllegalBody, nullptr));
  CHECK(!plat::RunGuarded(&BadCallBody, nullptr));

  NestedRun nested{true, 0, 0};
  CHECK(plat::RunGuarded(&OuterOfFaultingInner, &nested));
  CHECK(!nested.inner);
  CHECK_EQ(nested.innerSteps, 1);
  CHECK_EQ(nested.outerSteps, 1);

  nested = NestedRun{false, 0, 0};
  CHECK(!plat::RunGuarded(&OuterFaultingAfterInner, &nested));
  CHECK(nested.inner);
  CHECK_EQ(nested.innerSteps, 1);
  CHECK_EQ(nested.outerSteps, 1);

  // The guard left nothing behind: a fault after all of the above is still caught.
  steps = 0;
  bool const caught = plat::Guarded([&steps] {
    Step(steps);
    WriteThroughNull();
    Step(steps);
  });
  CHECK(!caught);
  CHECK_EQ(steps, 1);

  // Many faults in a row: the stack and the frame chain stay as they were.
  int faulted = 0;
  for (int i = 0; i < 500; ++i) {
    int ignored = 0;
    faulted += plat::RunGuarded(&FaultingBody, &ignored) ? 0 : 1;
  }
  CHECK_EQ(faulted, 500);

  // What the body left in the last error is what the caller reads.
  SetLastError(0);
  CHECK(plat::RunGuarded(&SetLastErrorBody, nullptr));
  CHECK_EQ(plat::LastError(), 1234u);

  // Each thread has its own chain of guards.
  g_guardRun.work = &GuardsOnThread;
  CHECK(RunDetached(g_guardRun));
  CHECK_EQ(g_guardRun.results[0], 0u);  // the faulting guard gave false
  CHECK_EQ(g_guardRun.results[1], 1u);
  CHECK_EQ(g_guardRun.results[2], 1u);  // the next one true
  CHECK_EQ(g_guardRun.results[3], 2u);

  // Exceptions that are not faults inside a guard, and anything outside one,
  // go on to the normal handling.
  PVOID const lastChance = AddVectoredExceptionHandler(0, &LastChanceHandler);
  CHECK(lastChance != nullptr);
  g_expectPassedOn = 1;
  g_passedOn = 0;
  steps = 0;
  CHECK(plat::RunGuarded(&RaiseSoftwareBody, &steps));
  CHECK_EQ(steps, 1);
  CHECK_EQ(g_passedOn, 1);
  RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
  CHECK_EQ(g_passedOn, 2);
  g_expectPassedOn = 0;
  RemoveVectoredExceptionHandler(lastChance);

  // Cheap on the path without a fault.
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  constexpr int kRounds = 1000000;
  steps = 0;
  for (int i = 0; i < kRounds; ++i) {
    plat::RunGuarded(&CountBody, &steps);
  }
  QueryPerformanceCounter(&end);
  CHECK_EQ(steps, kRounds);
  Info("guard without a fault: %.1f ns", static_cast<double>(end.QuadPart - start.QuadPart) * 1e9 /
                                             static_cast<double>(frequency.QuadPart) / kRounds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "fault-after-throw") == 0) {
    return FaultAfterThrowThroughGuard();
  }
  if (argc > 1 && std::strcmp(argv[1], "throw-unhandled") == 0) {
    return ThrowWithoutHandler();
  }
  g_verbose = argc > 1 && std::strcmp(argv[1], "-v") == 0;

  TestGuards();
  TestGuardsAndOwners();
  TestMemoryStatus();
  TestVersion();
  TestBinding();
  TestFileCacheCalls();
  TestPrivileges();
  TestRegistry();
  TestThreads();
  TestMutexes();
  TestCommittedMemory();
  TestVolumes();
  TestEventLog();

  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
