// The simulated Event Log: it keeps each entry as written.
#include <utility>

#include "platform/sim/sim_machine.h"

namespace plat {

bool ReportLogEvent(const wchar_t* source, uint16_t type, uint32_t id,
                    const wchar_t* const* strings, uint16_t count) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::EventReport)) {
    m.lastError = kErrorAccessDenied;
    return false;
  }
  if (m.recording) {
    sim::LogEntry entry{source, type, id, {}};
    for (uint16_t i = 0; i < count; ++i) {
      entry.strings.emplace_back(strings[i]);
    }
    m.logEntries.push_back(std::move(entry));
  }
  return true;
}

}  // namespace plat
