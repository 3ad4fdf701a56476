// velsvc's entry point fed argument vectors of switches and arbitrary text, on a
// simulated machine with a service database in any state and calls failing
// here and there. Whatever it is given, it returns 0, prints nothing without a
// switch, and ends with no handle open and its presence mutex closed. Sleeps
// are recorded, not slept; when it runs as the service, controls arrive during
// the loop's passes and a stop ends it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/sim/sim_machine.h"
#include "service/cache_tuner.h"
#include "service/command_line.h"
#include "service/service_control.h"
#include "service/service_runtime.h"
#include "service/settings_store.h"

namespace {

const std::wstring kPresenceMutex = sim::Widen(kServicePresenceMutexName);

// The controls sent during the service loop's passes; a stop follows them.
std::vector<uint32_t> gControls;
size_t gPass = 0;

void SendControlsDuringPasses(uint32_t ms) {
  if (ms != 201) {
    return;
  }
  const uint32_t control = gPass < gControls.size() ? gControls[gPass] : plat::kServiceControlStop;
  ++gPass;
  if (control == 0) {
    return;
  }
  // A handler that could not be registered gets no controls; the stop still
  // has to end the loop.
  if (sim::machine().controlHandler != nullptr) {
    sim::machine().controlHandler(control);
  } else {
    ServiceControlHandler(control);
  }
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "command line fuzzer: %s\n", what);
    std::abort();
  }
}

// Text of up to `maxLength` characters: mostly printable, now and then anything.
std::wstring Text(FuzzedDataProvider& in, size_t maxLength) {
  const std::string bytes = in.ConsumeRandomLengthString(maxLength);
  std::wstring text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += byte == 0 ? L'?' : static_cast<wchar_t>(byte);
  }
  return text;
}

std::wstring Argument(FuzzedDataProvider& in) {
  static const wchar_t* const kSwitches[] = {L"install", L"remove", L"start", L"info", L"stop"};
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
    case 1: {
      std::wstring argument = in.ConsumeBool() ? L"-" : L"/";
      for (const wchar_t* c = in.PickValueInArray(kSwitches); *c != 0; ++c) {
        argument += in.ConsumeBool() ? static_cast<wchar_t>(*c - L'a' + L'A') : *c;
      }
      return argument;
    }
    case 2:
      return (in.ConsumeBool() ? L"-" : L"/") + Text(in, 12);
    default:
      return Text(in, 40);
  }
}

uint32_t State(FuzzedDataProvider& in) {
  return in.ConsumeIntegralInRange<uint32_t>(plat::kServiceStopped, plat::kServicePaused);
}

void PutServices(FuzzedDataProvider& in) {
  sim::Machine& m = sim::machine();
  const int count = in.ConsumeIntegralInRange(0, 2);
  for (int i = 0; i < count; ++i) {
    const std::wstring path = in.ConsumeBool() ? m.programPath : Text(in, 300);
    sim::Service& service =
        m.AddService(in.ConsumeIntegralInRange(0, 3) != 0 ? kServiceName : Text(in, 20), path);
    service.displayName = in.ConsumeBool() ? std::wstring(kServiceDisplayName) : Text(in, 300);
    service.status.currentState = State(in);
    service.status.waitHint = in.ConsumeIntegral<uint32_t>();
    service.status.checkPoint = in.ConsumeIntegral<uint32_t>();
    service.markedForDeletion = in.ConsumeIntegralInRange(0, 7) == 0;
    service.acceptsStop = in.ConsumeIntegralInRange(0, 3) != 0;
    service.startFails = in.ConsumeIntegralInRange(0, 3) == 0;
    service.stateAfterStart = State(in);
    service.waitHintAfterStart = in.ConsumeIntegral<uint32_t>();
    service.stateAfterStop = State(in);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  sim::Reset();
  sim::Machine& m = sim::machine();
  m.recording = false;
  m.current = sim::Reading{512u << 20, 256u << 20, 512u << 20, 50};
  if (in.ConsumeIntegralInRange(0, 3) == 0) {
    m.programPath = Text(in, 300);
  }
  PutServices(in);
  m.startedByServiceManager = in.ConsumeBool();
  const bool presenceHeldElsewhere = in.ConsumeIntegralInRange(0, 3) == 0;
  if (presenceHeldElsewhere) {
    m.HoldMutex(kPresenceMutex, true);
  }
  for (int i = in.ConsumeIntegralInRange(0, 3); i > 0; --i) {
    const auto call =
        static_cast<sim::Call>(in.ConsumeIntegralInRange<size_t>(0, sim::kCallKinds - 1));
    const uint64_t ordinal = in.ConsumeIntegralInRange<uint64_t>(0, 40);
    if (ordinal == 0) {
      m.FailAlways(call);
    } else {
      m.FailOn(call, ordinal);
    }
  }

  std::vector<std::wstring> arguments = {in.ConsumeIntegralInRange(0, 3) != 0 ? m.programPath
                                                                              : Text(in, 300)};
  for (int i = in.ConsumeIntegralInRange(0, 5); i > 0; --i) {
    arguments.push_back(Argument(in));
  }
  gControls.clear();
  gPass = 0;
  for (int i = in.ConsumeIntegralInRange(0, 8); i > 0; --i) {
    // None, the codes the handler knows, a pause (not accepted) and an
    // unknown code of the user range.
    static constexpr uint32_t kControls[] = {0,
                                             plat::kServiceControlInterrogate,
                                             plat::kServiceControlShutdown,
                                             kServiceControlStatusQuery,
                                             kServiceControlReloadSettings,
                                             2,
                                             200};
    gControls.push_back(in.PickValueInArray(kControls));
  }
  m.onSleep = arguments.size() < 2 ? &SendControlsDuringPasses : nullptr;

  std::vector<wchar_t*> argv;
  for (std::wstring& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  bool anySwitch = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    anySwitch = anySwitch || arguments[i][0] == L'-' || arguments[i][0] == L'/';
  }
  {
    // The process-wide objects, built as velsvc builds them before its entry point.
    SystemCacheControl cache;
    SettingsStore settings;
    CSqueezeRam squeezer(kServiceTouchStride);
    CacheTuner tuner(cache, settings, squeezer);
    serviceRuntime().tuner = &tuner;
    serviceRuntime().statusHandle = nullptr;
    serviceRuntime().serviceRunning = true;
    m.output.clear();
    Check(ServiceEntry(static_cast<int>(arguments.size()), argv.data()) == 0, "exit code not 0");
    serviceRuntime().tuner = nullptr;
  }
  Check(anySwitch || m.output.empty(), "output without a switch");
  Check(m.MutexHolders(kPresenceMutex) == (presenceHeldElsewhere ? 1u : 0u),
        "the presence mutex was not closed");
  Check(m.MutexHolders(kSqueezeMutexName) == 0, "the squeeze mutex is still held");
  Check(m.openHandles == 0, "a handle was left open");
  return 0;
}
