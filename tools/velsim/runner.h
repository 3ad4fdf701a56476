// velsim's run of a parsed scenario.
#pragma once

#include "tools/velsim/scenario.h"

namespace velsim {

// Sets the simulated machine up from `scenario`, runs its program and steps,
// and prints the trace on standard output.
void RunScenario(const Scenario& scenario);

}  // namespace velsim
