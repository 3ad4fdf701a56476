// The simulated machine's errors, guards, memory status, version, binding by
// name, native file-cache calls, token, mutexes, threads and sleeps.
#include <csetjmp>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

namespace plat {

namespace {

// The kernel's view of the file-cache information record on a 64-bit system.
struct KernelFileCacheRecord {
  uint64_t currentSize;
  uint64_t peakSize;
  uint32_t pageFaultCount;
  uint64_t minimumWorkingSet;
  uint64_t maximumWorkingSet;
  uint64_t currentSizeIncludingTransitionInPages;
  uint64_t peakSizeIncludingTransitionInPages;
  uint32_t transitionRePurposeCount;
  uint32_t flags;
};
static_assert(sizeof(KernelFileCacheRecord) == 64, "the x64 record is 64 bytes");

constexpr uint32_t kFileCacheInformation = 21;
constexpr int32_t kStatusInvalidInfoClass = static_cast<int32_t>(0xC0000003u);
constexpr int32_t kStatusInfoLengthMismatch = static_cast<int32_t>(0xC0000004u);
constexpr int32_t kStatusPrivilegeNotHeld = static_cast<int32_t>(0xC0000061u);
constexpr int32_t kStatusAccessDenied = static_cast<int32_t>(0xC0000022u);

// Entry points the simulated modules export; only their addresses matter.
void NtQuerySystemInformationEntry() {}
void NtSetSystemInformationEntry() {}
void GlobalMemoryStatusExEntry() {}

void Fill(MemoryStatus& status) {
  sim::Machine& m = sim::machine();
  if (!m.queued.empty()) {
    m.current = m.queued.front();
    m.queued.pop_front();
  }
  status.memoryLoad = m.current.load;
  status.totalPhys = m.current.totalPhys;
  status.availPhys = m.current.availPhys;
  status.availPageFile = m.current.availPageFile;
}

}  // namespace

uint32_t LastError() {
  return sim::machine().lastError;
}

void SetLastError(uint32_t error) {
  sim::machine().lastError = error;
}

namespace {

// The active guards, innermost first. Simulated threads run to their end on
// the caller's stack, so one chain serves them all.
struct GuardFrame {
  std::jmp_buf resume;
  GuardFrame* outer;
};
GuardFrame* gInnermost = nullptr;

}  // namespace

// As on the platform, a fault abandons the body's frames: nothing they hold is
// destroyed, so the leak checks see an owner that lived inside a guarded body.
bool RunGuarded(void (*body)(void*), void* context) {
  ++sim::machine().guardsEntered;
  GuardFrame frame;
  frame.outer = gInnermost;
  struct Unlink {
    GuardFrame* outer;
    ~Unlink() { gInnermost = outer; }
  } const unlink{frame.outer};
  gInnermost = &frame;
  if (setjmp(frame.resume) != 0) {
    ++sim::machine().faultsRaised;
    return false;
  }
  body(context);
  return true;
}

}  // namespace plat

namespace sim {

bool Guarding() {
  return plat::gInnermost != nullptr;
}

void RaiseFault() {
  std::longjmp(plat::gInnermost->resume, 1);
}

}  // namespace sim

namespace plat {

void QueryMemoryStatus(MemoryStatus& status) {
  ++sim::machine().plainStatusCalls;
  if (sim::machine().onMemoryStatus != nullptr) {
    sim::machine().onMemoryStatus();
  }
  Fill(status);
}

bool QueryMemoryStatusEx(ProcAddress bound, MemoryStatus& status) {
  ++sim::machine().extendedStatusCalls;
  if (sim::machine().Faulted(sim::Call::MemoryStatusEx) || bound != &GlobalMemoryStatusExEntry ||
      sim::machine().memoryStatusExFaults) {
    return false;
  }
  Fill(status);
  return true;
}

bool ReadOsMajorVersion(uint32_t recordSize, uint32_t& majorVersion) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::VersionRead) || m.osMajorVersion == 0 ||
      (recordSize != 284 && recordSize != 276)) {
    return false;
  }
  majorVersion = m.osMajorVersion;
  return true;
}

ModuleHandle FindModule(const wchar_t* name) {
  if (sim::machine().Faulted(sim::Call::ModuleLookup)) {
    sim::machine().lastError = kErrorFileNotFound;
    return nullptr;
  }
  if (sim::SameText(name, L"ntdll.dll")) {
    return sim::MakeHandle(sim::HandleKind::Module, 0);
  }
  if (sim::SameText(name, L"kernel32.dll")) {
    return sim::MakeHandle(sim::HandleKind::Module, 1);
  }
  return nullptr;
}

ProcAddress FindProc(ModuleHandle module, const char* name) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::ProcLookup)) {
    m.lastError = 127;  // procedure not found
    return nullptr;
  }
  if (module == sim::MakeHandle(sim::HandleKind::Module, 0)) {
    if (std::strcmp(name, "NtQuerySystemInformation") == 0 && m.bindsQuery) {
      return &NtQuerySystemInformationEntry;
    }
    if (std::strcmp(name, "NtSetSystemInformation") == 0 && m.bindsSet) {
      return &NtSetSystemInformationEntry;
    }
  }
  if (module == sim::MakeHandle(sim::HandleKind::Module, 1) &&
      std::strcmp(name, "GlobalMemoryStatusEx") == 0 && m.hasMemoryStatusEx) {
    return &GlobalMemoryStatusExEntry;
  }
  return nullptr;
}

int32_t QuerySystemInformation(ProcAddress bound, uint32_t infoClass, void* record, uint32_t length,
                               uint32_t* returnedLength) {
  const sim::FileCache& cache = sim::machine().fileCache;
  if (sim::machine().Faulted(sim::Call::NativeQuery)) {
    return kStatusAccessDenied;
  }
  if (bound != &NtQuerySystemInformationEntry || infoClass != kFileCacheInformation) {
    return kStatusInvalidInfoClass;
  }
  if (length != sizeof(KernelFileCacheRecord)) {
    return kStatusInfoLengthMismatch;
  }
  if (cache.queryStatus != 0) {
    return static_cast<int32_t>(cache.queryStatus);
  }
  // Written field by field into the caller's record: a whole record built
  // aside and copied over makes the caller's reads wait on the copy.
  auto* const out = static_cast<unsigned char*>(record);
  std::memset(out, 0, sizeof(KernelFileCacheRecord));
  std::memcpy(out + offsetof(KernelFileCacheRecord, currentSize), &cache.currentSize, 8);
  std::memcpy(out + offsetof(KernelFileCacheRecord, peakSize), &cache.peakSize, 8);
  std::memcpy(out + offsetof(KernelFileCacheRecord, minimumWorkingSet), &cache.minimumPages, 8);
  std::memcpy(out + offsetof(KernelFileCacheRecord, maximumWorkingSet), &cache.maximumPages, 8);
  if (returnedLength != nullptr) {
    *returnedLength = sizeof(KernelFileCacheRecord);
  }
  return 0;
}

int32_t SetSystemInformation(ProcAddress bound, uint32_t infoClass, void* record, uint32_t length) {
  sim::Machine& m = sim::machine();
  if (bound != &NtSetSystemInformationEntry || infoClass != kFileCacheInformation) {
    return kStatusInvalidInfoClass;
  }
  if (length != sizeof(KernelFileCacheRecord)) {
    return kStatusInfoLengthMismatch;
  }
  KernelFileCacheRecord request;
  std::memcpy(&request, record, sizeof request);
  sim::Event event{sim::EventKind::CacheSet};
  event.minimum = request.minimumWorkingSet;
  event.maximum = request.maximumWorkingSet;
  event.status = m.fileCache.setStatus;
  if (m.Faulted(sim::Call::NativeSet)) {
    event.status = static_cast<uint32_t>(kStatusAccessDenied);
    m.Record(event);
    return kStatusAccessDenied;
  }
  // Changing the file cache's limits needs the quota privilege in the token.
  if (m.standardUser) {
    event.status = static_cast<uint32_t>(kStatusPrivilegeNotHeld);
    m.Record(event);
    return kStatusPrivilegeNotHeld;
  }
  m.Record(event);
  const bool emptyRequest =
      request.minimumWorkingSet == sim::kAllOnes && request.maximumWorkingSet == sim::kAllOnes;
  if (m.fileCache.setStatus == 0 && !emptyRequest) {
    m.fileCache.minimumPages = request.minimumWorkingSet / 4096;
    m.fileCache.maximumPages = request.maximumWorkingSet / 4096;
  }
  return static_cast<int32_t>(m.fileCache.setStatus);
}

bool OpenProcessToken(uint32_t /*access*/, Handle& token) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::TokenOpen) || !m.tokenOpens) {
    token = nullptr;
    m.lastError = kErrorAccessDenied;
    return false;
  }
  token = sim::MakeHandle(sim::HandleKind::Token, 0);
  ++m.openHandles;
  return true;
}

bool LookupPrivilege(const wchar_t* name, Luid& luid) {
  if (sim::machine().Faulted(sim::Call::PrivilegeLookup)) {
    sim::machine().lastError = kErrorAccessDenied;
    return false;
  }
  if (!sim::SameText(name, L"SeIncreaseQuotaPrivilege")) {
    sim::machine().lastError = 1313;  // no such privilege
    return false;
  }
  luid = Luid{5, 0};
  return true;
}

bool AdjustPrivileges(Handle token, const TokenPrivilege& newState, uint32_t bufferLength,
                      TokenPrivilege* previousState, uint32_t* returnLength) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::PrivilegeAdjust)) {
    m.lastError = kErrorAccessDenied;
    return false;
  }
  if (!sim::IsHandle(token, sim::HandleKind::Token)) {
    m.lastError = kErrorInvalidHandle;
    return false;
  }
  const bool held = m.quotaPrivilege && !m.standardUser;
  if (previousState != nullptr) {
    if (bufferLength < sizeof(TokenPrivilege)) {
      m.lastError = 122;  // insufficient buffer
      return false;
    }
    // The privilege was held but disabled; without it nothing changes.
    *previousState = TokenPrivilege{held ? 1u : 0u, newState.luid, 0};
    if (returnLength != nullptr) {
      *returnLength = held ? sizeof(TokenPrivilege) : sizeof(uint32_t);
    }
  }
  // A privilege the token lacks is not an error of the call: it succeeds and
  // says so only through the last error.
  m.lastError = held ? kErrorSuccess : kErrorNotAllAssigned;
  return true;
}

bool CloseObject(Handle handle) {
  sim::Machine& m = sim::machine();
  if (sim::IsHandle(handle, sim::HandleKind::Mutex)) {
    auto& mutex = m.mutexes[sim::HandleIndex(handle)];
    if (mutex.openHandles > 0) {
      --mutex.openHandles;
    }
  } else if (sim::IsHandle(handle, sim::HandleKind::ChangeEvent)) {
    m.changeEvents[sim::HandleIndex(handle)].open = false;
    // A closed event's watches go with it.
    const size_t index = sim::HandleIndex(handle);
    std::erase_if(m.watches, [index](const sim::Machine::Watch& w) { return w.event == index; });
  } else if (!sim::IsHandle(handle, sim::HandleKind::Token) &&
             !sim::IsHandle(handle, sim::HandleKind::Volume)) {
    m.lastError = kErrorInvalidHandle;
    return false;
  }
  --m.openHandles;
  return true;
}

Handle CreateNamedMutexW(bool /*initialOwner*/, const wchar_t* name) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::MutexCreate)) {
    m.lastError = kErrorAccessDenied;
    return nullptr;
  }
  const size_t index = sim::FindOrAddMutex(name, m.session);
  sim::Machine::NamedMutex& mutex = m.mutexes[index];
  if (mutex.openHandles > 0) {
    // Opening an existing mutex asks for full access, which LocalSystem's
    // default security grants to administrators and SYSTEM only.
    if (mutex.systemOwned && m.standardUser) {
      m.lastError = kErrorAccessDenied;
      return nullptr;
    }
    m.lastError = kErrorAlreadyExists;
  } else {
    mutex.systemOwned = m.session == 0;
    m.lastError = kErrorSuccess;
  }
  ++mutex.openHandles;
  ++m.openHandles;
  return sim::MakeHandle(sim::HandleKind::Mutex, index);
}

Handle CreateNamedMutexA(bool initialOwner, const char* name) {
  wchar_t wide[260] = {};
  for (size_t i = 0; i + 1 < 260 && name[i] != 0; ++i) {
    wide[i] = static_cast<unsigned char>(name[i]);
  }
  return CreateNamedMutexW(initialOwner, wide);
}

bool StartDetachedThread(ThreadRoutine routine, void* argument) {
  if (sim::machine().Faulted(sim::Call::ThreadStart) || !sim::machine().threadsStart) {
    return false;
  }
  routine(argument);
  return true;
}

void SleepMs(uint32_t milliseconds) {
  sim::Event event{sim::EventKind::Sleep};
  event.value = milliseconds;
  sim::machine().clockMs += milliseconds;
  sim::machine().Record(event);
  if (sim::machine().onSleep != nullptr) {
    sim::machine().onSleep(milliseconds);
  }
}

uint64_t TickCountMs() {
  return sim::machine().clockMs;
}

}  // namespace plat
