// velsvc: the Windows service "Velmora Service", and the command line that
// manages it.
#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "service/cache_tuner.h"
#include "service/command_line.h"
#include "service/service_runtime.h"
#include "service/settings_store.h"

namespace {

// The process-wide objects, constructed in this order before the entry point
// and destroyed in the reverse order at exit. Every run builds them, the
// command-line runs included.
SystemCacheControl gCacheControl;
SettingsStore gSettings;
CSqueezeRam gSqueezer(kServiceTouchStride);
CacheTuner gTuner(gCacheControl, gSettings, gSqueezer);

}  // namespace

int wmain(int argc, wchar_t** argv) {
  serviceRuntime().tuner = &gTuner;
  serviceRuntime().cache = &gCacheControl;
  return ServiceEntry(argc, argv);
}
