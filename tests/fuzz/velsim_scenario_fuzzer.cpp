// velsim's scenario reader fed arbitrary text. A refused scenario names its
// field in one line; an accepted one is run the way velsim runs it, its ticks
// cut to a small budget, and must leave no handle open.
//
// Every accepted scenario goes through velsim's own runner: the very set-up,
// steps and trace code of velsim.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sim/sim_machine.h"
#include "tools/velsim/scenario.h"

#include "tools/velsim/runner.h"

namespace {

// Ticks one input may run in all; enough for every band and the first maintenance.
constexpr uint64_t kTickBudget = 40;

void LimitTicks(velsim::Scenario& scenario) {
  uint64_t left = kTickBudget;
  for (velsim::Step& step : scenario.steps) {
    if (step.kind == velsim::Step::Kind::Ticks) {
      step.ticks = std::min(step.ticks, left);
      left -= step.ticks;
    }
  }
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "velsim scenario fuzzer: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // The traces are not compared here; libFuzzer reports on standard error.
  return std::freopen("/dev/null", "w", stdout) != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velsim::Scenario scenario;
  std::string error;
  if (!velsim::ParseScenario(std::string(reinterpret_cast<const char*>(data), size), scenario,
                             error)) {
    Check(error.find(": ") != std::string::npos, "a refusal names no field");
    Check(error.find('\n') == std::string::npos, "a refusal takes more than one line");
    return 0;
  }
  LimitTicks(scenario);
  velsim::RunScenario(scenario);
  Check(sim::machine().openHandles == 0, "a handle was left open");
  for (const sim::Machine::Block& block : sim::machine().blocks) {
    Check(!block.live, "committed memory was not released");
  }
  return 0;
}
