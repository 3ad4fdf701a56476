#include "service/service_runtime.h"

#include "common/cache_sequences.h"
#include "service/cache_tuner.h"
#include "service/service_control.h"
#include "service/settings_watch.h"

// The loop's pass sleep in ms. Only the soak build of bench/soak defines a
// shorter one, to reach many ticks in little time; the service as shipped
// sleeps 201 ms.
#ifndef VELMORA_PASS_SLEEP_MS
#define VELMORA_PASS_SLEEP_MS 201
#endif

namespace {

constexpr uint32_t kPassSleepMs = VELMORA_PASS_SLEEP_MS;

ServiceRuntimeState gRuntime;

void Report(uint32_t state, uint32_t waitHint) {
  gRuntime.currentState = state;
  gRuntime.waitHint = waitHint;
  const plat::ServiceStatus status{
      plat::kServiceWin32OwnProcess, state, kServiceControlsAccepted, 0, 0, 0, waitHint};
  plat::ReportServiceStatus(gRuntime.statusHandle, status);
}

// Runs the empty-and-restore sequence velmon asked for, unless the last one
// began less than 10 seconds ago: the request then waits for a later pass.
void EmptyCacheOnRequest() {
  if (!gRuntime.emptyCacheRequested || gRuntime.cache == nullptr) {
    return;
  }
  const uint64_t now = plat::TickCountMs();
  if (gRuntime.cacheEmptied && now - gRuntime.cacheEmptiedAtMs < kEmptyCacheIntervalMs) {
    return;
  }
  // Cleared first: a request that arrives meanwhile asks for another run.
  gRuntime.emptyCacheRequested = false;
  gRuntime.cacheEmptied = true;
  gRuntime.cacheEmptiedAtMs = now;
  EmptyAndRestoreFileCache(*gRuntime.cache);
}

}  // namespace

ServiceRuntimeState& serviceRuntime() {
  return gRuntime;
}

void ServiceMain(uint32_t /*argc*/, wchar_t** /*argv*/) {
  gRuntime.waitHint = 8192;
  gRuntime.emptyCacheRequested = false;
  gRuntime.cacheEmptied = false;
  gRuntime.statusHandle = plat::RegisterControlHandler(kServiceName, &ServiceControlHandler);
  Report(plat::kServiceStartPending, 8192);
  plat::SleepMs(1024);
  gRuntime.serviceRunning = true;
  Report(plat::kServiceRunning, 1024);
  gRuntime.tuner->ReportServiceStarted();

  // The first pass ticks at once; then every fourth, about every 804 ms. The
  // cache is emptied for velmon here, on this thread and between ticks. A
  // change of the settings or of their policies ends the pass's wait early
  // and is read at once, as the reload control reads it.
  SettingsWatch watch;
  int passCounter = 5;
  do {
    if (++passCounter > 3) {
      gRuntime.tuner->Tick();
      passCounter = 0;
    }
    EmptyCacheOnRequest();
    if (watch.Wait(kPassSleepMs)) {
      gRuntime.tuner->ReloadSettings();
    }
  } while (gRuntime.serviceRunning);

  gRuntime.tuner->ReportServiceStopped();
  Report(plat::kServiceStopped, 2048);
}

void ServiceControlHandler(uint32_t control) {
  switch (control) {
    case plat::kServiceControlStop:
    case plat::kServiceControlShutdown:
      // Report first: once the flag is clear the loop may end and report
      // stopped at any moment, and nothing may be reported after that.
      Report(plat::kServiceStopPending, 2048);
      gRuntime.serviceRunning = false;
      return;
    case kServiceControlStatusQuery:
      if (gRuntime.serviceRunning) {
        Report(plat::kServiceRunning, 0);
      } else {
        Report(plat::kServiceStopPending, 2048);
      }
      return;
    case kServiceControlReloadSettings:
      plat::SleepMs(0);
      gRuntime.tuner->ReloadSettings();
      break;
    case kServiceControlEmptyCache:
      // Only noted here: the emptying takes 400 ms, and the loop's thread
      // owns the cache control.
      gRuntime.emptyCacheRequested = true;
      break;
    default:
      break;
  }
  gRuntime.serviceRunning = true;
  Report(plat::kServiceRunning, gRuntime.waitHint);
}
