// The service as it runs: ServiceMain on the dispatcher's service thread, the
// control handler on the main thread, and the loop that ticks the tuner.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/shared_names.h"
#include "platform/platform.h"

class CacheTuner;

// Stop and shutdown accepted; pause and continue are not.
inline constexpr uint32_t kServiceControlsAccepted = 5;

// State shared by the service thread and the handler. The two fields that
// change are whole 32-bit values; each report sends a copy of the record.
struct ServiceRuntimeState {
  CacheTuner* tuner = nullptr;
  plat::StatusHandle statusHandle = nullptr;
  std::atomic<uint32_t> currentState{0};
  std::atomic<uint32_t> waitHint{0};
  std::atomic<bool> serviceRunning{true};
};

// The process-wide state; the program's wiring sets `tuner` before the
// dispatcher starts.
ServiceRuntimeState& serviceRuntime();

// Reports start-pending, then running, ticks the tuner on the first pass and
// every fourth pass of a 201 ms loop until stopped, and reports stopped.
void ServiceMain(uint32_t argc, wchar_t** argv);

// Stop and shutdown end the loop; 128 reports the state; 144 reloads the
// tuner's settings; anything else reports running.
void ServiceControlHandler(uint32_t control);
