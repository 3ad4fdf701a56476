#include "tray/service_presence.h"

#include <cstdint>

#include "common/shared_names.h"
#include "platform/handles.h"
#include "platform/platform.h"

bool ServicePresent() {
  const plat::UniqueObject probe(plat::CreateNamedMutexA(true, kServicePresenceMutexName));
  const uint32_t error = plat::LastError();
  return error != 0;
}

bool AskServiceToEmptyCache() {
  const plat::UniqueService manager(plat::OpenServiceManager(plat::kScManagerConnect));
  if (!manager) {
    return false;
  }
  // Only the right to send user-defined codes: more (start, stop, generic
  // execute) is refused to a user who is not an administrator.
  const plat::UniqueService service(
      plat::OpenNamedService(manager.get(), kServiceName, plat::kServiceUserDefinedControl));
  if (!service) {
    return false;
  }
  plat::ServiceStatus status{};
  return plat::ControlNamedService(service.get(), kServiceControlEmptyCache, status);
}
