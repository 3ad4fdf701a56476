// The service as it runs: ServiceMain on the dispatcher's service thread, the
// control handler on the main thread, and the loop that ticks the tuner.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/shared_names.h"
#include "platform/platform.h"

class CacheTuner;
class SystemCacheControl;

// Stop and shutdown accepted; pause and continue are not.
inline constexpr uint32_t kServiceControlsAccepted = 5;

// The least time between two cache emptyings that velmon asks for, in ms.
inline constexpr uint64_t kEmptyCacheIntervalMs = 10000;

// State shared by the service thread and the handler. The fields that change
// are whole 32-bit values or flags; each report sends a copy of the record.
struct ServiceRuntimeState {
  CacheTuner* tuner = nullptr;
  SystemCacheControl* cache = nullptr;  // the tuner's, for the emptying velmon asks for
  plat::StatusHandle statusHandle = nullptr;
  std::atomic<uint32_t> currentState{0};
  std::atomic<uint32_t> waitHint{0};
  std::atomic<bool> serviceRunning{true};
  // Set by the handler on code 145; the service thread empties the cache
  // between ticks and clears it.
  std::atomic<bool> emptyCacheRequested{false};
  // Service thread only: whether and when it last emptied the cache on request.
  bool cacheEmptied = false;
  uint64_t cacheEmptiedAtMs = 0;
};

// The process-wide state; the program's wiring sets `tuner` and `cache` before
// the dispatcher starts.
ServiceRuntimeState& serviceRuntime();

// Reports start-pending, then running, ticks the tuner on the first pass and
// every fourth pass of a 201 ms loop until stopped, and reports stopped. Between
// ticks it empties the file cache when asked, at most once per 10 seconds.
void ServiceMain(uint32_t argc, wchar_t** argv);

// Stop and shutdown end the loop; 128 reports the state; 144 reloads the
// tuner's settings; 145 asks the loop to empty the file cache; anything else
// reports running.
void ServiceControlHandler(uint32_t control);
