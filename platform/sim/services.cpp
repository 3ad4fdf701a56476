// The simulated service control manager: a database of services whose states
// change at once when they are started or stopped (or, for a stop-pending one,
// after the sleeps a test counts down), and the service entry.
#include <cstring>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

namespace plat {

namespace {

constexpr uint32_t kErrorDependentServicesRunning = 1051;
constexpr uint32_t kErrorInvalidServiceControl = 1052;
constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
constexpr uint32_t kErrorServiceNotActive = 1062;
constexpr uint32_t kErrorFailedServiceControllerConnect = 1063;
constexpr uint32_t kErrorServiceMarkedForDelete = 1072;
constexpr uint32_t kErrorServiceExists = 1073;

// What the default security of the manager and of a service created by
// CreateService grant a user who is not an administrator: connecting,
// enumerating and reading the manager; querying a service's status and
// configuration, interrogating it and sending it user-defined codes (128 to
// 255). Generic read maps onto these; generic write and execute include rights
// (lock, start, stop, configure) that only administrators and SYSTEM hold.
constexpr uint32_t kReadControl = 0x20000;
constexpr uint32_t kUserManagerRights =
    kGenericRead | kScManagerConnect | 0x4 /* enumerate */ | 0x10 /* query lock */ | kReadControl;
constexpr uint32_t kUserServiceRights = kGenericRead | kServiceQueryConfig | kServiceQueryStatus |
                                        0x8 /* enumerate dependents */ | kServiceInterrogate |
                                        kServiceUserDefinedControl | kReadControl;

// Whether the program's token may open with `access` where a user may `granted`.
bool Granted(uint32_t access, uint32_t granted) {
  return !sim::machine().standardUser || (access & ~granted) == 0;
}

// The service behind a handle, or null (also for a removed one).
sim::Service* ServiceOf(ScHandle handle) {
  if (!sim::IsHandle(handle, sim::HandleKind::Service)) {
    return nullptr;
  }
  auto& services = sim::machine().services;
  const uintptr_t index = sim::HandleIndex(handle);
  if (index >= services.size() || !services[index]->exists) {
    return nullptr;
  }
  return services[index].get();
}

ScHandle HandleOf(sim::Service* service) {
  auto& services = sim::machine().services;
  for (size_t i = 0; i < services.size(); ++i) {
    if (services[i].get() == service) {
      ++sim::machine().openHandles;
      ++service->handles;
      return sim::MakeHandle(sim::HandleKind::Service, i);
    }
  }
  return nullptr;
}

// A manager handle carries the rights it was opened with.
uint32_t ManagerAccess(ScHandle manager) {
  return static_cast<uint32_t>(sim::HandleIndex(manager));
}

bool Fail(uint32_t error) {
  sim::machine().lastError = error;
  return false;
}

// Brings the database up to date: a stop-pending service whose sleeps are
// counted out has stopped, and a service marked for deletion goes once it has
// stopped and no handle is open on it.
void Settle() {
  for (auto& service : sim::machine().services) {
    if (!service->exists) {
      continue;
    }
    if (service->status.currentState == kServiceStopPending && service->sleepsUntilStopped == 0) {
      service->status.currentState = kServiceStopped;
    }
    if (service->markedForDeletion && service->status.currentState == kServiceStopped &&
        service->handles == 0 && service->outsideHandles == 0) {
      service->exists = false;
    }
  }
}

// The service a call on `handle` acts on, with the database brought up to
// date first; none, with the last error set, when the call is made to fail
// (access denied) or the handle names no service (invalid handle).
sim::Service* Target(ScHandle handle, sim::Call call) {
  Settle();
  if (sim::machine().Faulted(call)) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  sim::Service* service = ServiceOf(handle);
  if (service == nullptr) {
    Fail(kErrorInvalidHandle);
  }
  return service;
}

// The record QueryConfig hands out: two pointers, then the two texts.
struct ConfigRecord {
  const wchar_t* displayName;
  const wchar_t* binaryPath;
};

}  // namespace

ScHandle OpenServiceManager(uint32_t access) {
  Settle();
  if (sim::machine().Faulted(sim::Call::ManagerOpen) || !sim::machine().managerOpens ||
      !Granted(access, kUserManagerRights)) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  ++sim::machine().openHandles;
  return sim::MakeHandle(sim::HandleKind::Manager, access);
}

ScHandle OpenNamedService(ScHandle manager, const wchar_t* name, uint32_t access) {
  Settle();
  if (sim::machine().Faulted(sim::Call::ServiceOpen)) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  if (!sim::IsHandle(manager, sim::HandleKind::Manager)) {
    Fail(kErrorInvalidHandle);
    return nullptr;
  }
  sim::Service* service = sim::machine().FindService(name);
  if (service == nullptr) {
    Fail(kErrorServiceDoesNotExist);
    return nullptr;
  }
  if (!Granted(access, kUserServiceRights)) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  service->openedAccess = access;
  service->opens.push_back({ManagerAccess(manager), access});
  return HandleOf(service);
}

ScHandle CreateNamedService(ScHandle manager, const NewService& request) {
  Settle();
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::ServiceCreate)) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  if (!sim::IsHandle(manager, sim::HandleKind::Manager)) {
    Fail(kErrorInvalidHandle);
    return nullptr;
  }
  if (const sim::Service* existing = m.FindService(request.name)) {
    Fail(existing->markedForDeletion ? kErrorServiceMarkedForDelete : kErrorServiceExists);
    return nullptr;
  }
  sim::Service& service = m.AddService(request.name, request.binaryPath);
  service.displayName = request.displayName;
  service.serviceType = request.serviceType;
  service.startType = request.startType;
  service.errorControl = request.errorControl;
  service.openedAccess = request.access;
  service.opens.push_back({ManagerAccess(manager), request.access});
  return HandleOf(&service);
}

bool CloseService(ScHandle handle) {
  if (!sim::IsHandle(handle, sim::HandleKind::Manager) &&
      !sim::IsHandle(handle, sim::HandleKind::Service)) {
    return Fail(kErrorInvalidHandle);
  }
  --sim::machine().openHandles;
  if (sim::IsHandle(handle, sim::HandleKind::Service)) {
    auto& services = sim::machine().services;
    const uintptr_t index = sim::HandleIndex(handle);
    if (index < services.size() && services[index]->handles > 0) {
      --services[index]->handles;
    }
  }
  Settle();
  return true;
}

bool DeleteNamedService(ScHandle handle) {
  sim::Service* service = Target(handle, sim::Call::ServiceDelete);
  if (service == nullptr) {
    return false;
  }
  if (service->markedForDeletion) {
    return Fail(kErrorServiceMarkedForDelete);
  }
  // Only marked: the entry stays while the handle used here is open.
  service->markedForDeletion = true;
  return true;
}

bool StartNamedService(ScHandle handle) {
  sim::Service* service = Target(handle, sim::Call::ServiceStart);
  if (service == nullptr) {
    return false;
  }
  if (service->markedForDeletion) {
    return Fail(kErrorServiceMarkedForDelete);
  }
  if (service->status.currentState != kServiceStopped) {
    return Fail(kErrorServiceAlreadyRunning);
  }
  if (service->startFails) {
    return Fail(kErrorDependentServicesRunning);
  }
  service->status.waitHint = service->waitHintAfterStart;
  service->status.checkPoint = 0;
  service->status.currentState = service->stateAfterStart;
  return true;
}

bool ControlNamedService(ScHandle handle, uint32_t control, ServiceStatus& status) {
  sim::Service* service = Target(handle, sim::Call::ServiceControl);
  if (service == nullptr) {
    return false;
  }
  status = service->status;
  if (service->status.currentState == kServiceStopped) {
    return Fail(kErrorServiceNotActive);
  }
  if (control == kServiceControlStop) {
    if (!service->acceptsStop) {
      return Fail(kErrorInvalidServiceControl);
    }
    service->status.currentState = service->stateAfterStop;
  } else if (control >= 128 && control <= 255) {
    // A user-defined code needs its own right (which generic execute includes).
    if ((service->openedAccess & (kServiceUserDefinedControl | kGenericExecute)) == 0) {
      return Fail(kErrorAccessDenied);
    }
    service->userControls.push_back(control);
  } else if (control != kServiceControlInterrogate) {
    return Fail(kErrorInvalidServiceControl);
  }
  status = service->status;
  return true;
}

bool QueryStatus(ScHandle handle, ServiceStatus& status) {
  const sim::Service* service = Target(handle, sim::Call::ServiceQueryStatus);
  if (service == nullptr) {
    return false;
  }
  status = service->status;
  return true;
}

bool QueryConfig(ScHandle handle, void* buffer, uint32_t size, uint32_t& needed) {
  const sim::Service* service = Target(handle, sim::Call::ServiceQueryConfig);
  if (service == nullptr) {
    return false;  // `needed` is not reported either
  }
  const size_t displayBytes = (service->displayName.size() + 1) * sizeof(wchar_t);
  const size_t pathBytes = (service->binaryPath.size() + 1) * sizeof(wchar_t);
  needed = static_cast<uint32_t>(sizeof(ConfigRecord) + displayBytes + pathBytes);
  if (sim::machine().configQueryFails) {
    return Fail(kErrorAccessDenied);
  }
  if (buffer == nullptr || size < needed) {
    return Fail(kErrorInsufficientBuffer);
  }
  auto* record = static_cast<ConfigRecord*>(buffer);
  auto* texts = reinterpret_cast<wchar_t*>(record + 1);
  std::memcpy(texts, service->displayName.c_str(), displayBytes);
  std::memcpy(texts + service->displayName.size() + 1, service->binaryPath.c_str(), pathBytes);
  record->displayName = texts;
  record->binaryPath = texts + service->displayName.size() + 1;
  return true;
}

void ConfigNames(const void* record, const wchar_t*& displayName, const wchar_t*& binaryPath) {
  const auto* config = static_cast<const ConfigRecord*>(record);
  displayName = config->displayName;
  binaryPath = config->binaryPath;
}

void* AllocZeroed(uint32_t bytes) {
  if (sim::machine().Faulted(sim::Call::LocalAlloc)) {
    sim::machine().lastError = 8;  // not enough memory
    return nullptr;
  }
  return new (std::nothrow) uint8_t[bytes == 0 ? 1 : bytes]();
}

void FreeLocal(void* block) {
  delete[] static_cast<uint8_t*>(block);
}

bool RunServiceDispatcher(const wchar_t* name, ServiceMainFunction serviceMain) {
  if (sim::machine().Faulted(sim::Call::Dispatcher)) {
    return Fail(kErrorAccessDenied);
  }
  if (!sim::machine().startedByServiceManager) {
    return Fail(kErrorFailedServiceControllerConnect);
  }
  wchar_t* argv[] = {const_cast<wchar_t*>(name), nullptr};
  serviceMain(1, argv);
  return true;
}

StatusHandle RegisterControlHandler(const wchar_t* /*name*/, ServiceHandlerFunction handler) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::HandlerRegister) || !m.handlerRegisters) {
    m.lastError = kErrorAccessDenied;
    return nullptr;
  }
  m.controlHandler = handler;
  return sim::MakeHandle(sim::HandleKind::Status, 0);
}

bool ReportServiceStatus(StatusHandle handle, const ServiceStatus& status) {
  if (sim::machine().Faulted(sim::Call::StatusReport)) {
    return Fail(kErrorAccessDenied);
  }
  if (!sim::IsHandle(handle, sim::HandleKind::Status)) {
    return Fail(kErrorInvalidHandle);
  }
  sim::Event event{sim::EventKind::ServiceReport};
  event.state = status.currentState;
  event.waitHint = status.waitHint;
  event.serviceType = status.serviceType;
  event.controlsAccepted = status.controlsAccepted;
  event.win32ExitCode = status.win32ExitCode;
  event.serviceSpecificExitCode = status.serviceSpecificExitCode;
  event.checkPoint = status.checkPoint;
  sim::machine().Record(event);
  return true;
}

}  // namespace plat
