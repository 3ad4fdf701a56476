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
