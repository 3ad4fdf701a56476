// A velsim scenario: the simulated machine, the program to run on it and the
// steps to take.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace velsim {

// Named fields of a memory reading; unnamed ones come from the reading before.
struct MemoryFields {
  std::optional<uint64_t> totalPhys;
  std::optional<uint64_t> availPhys;
  std::optional<uint64_t> availPageFile;
  std::optional<uint32_t> load;

  sim::Reading ApplyTo(sim::Reading reading) const;
};

// A status as given: the machine sees its 32 bits, the trace prints it as given.
struct Status {
  uint32_t bits = 0;
  int64_t given = 0;
};

struct FileCacheFields {
  std::optional<uint64_t> currentSize;
  std::optional<uint64_t> peakSize;
  std::optional<uint64_t> minimumPages;
  std::optional<uint64_t> maximumPages;
  std::optional<Status> queryStatus;
  std::optional<Status> setStatus;
};

// A registry value as the scenario gives it.
struct RegistryValue {
  uint32_t type = 0;
  std::vector<uint8_t> data;  // raw, as the registry holds it
  std::string text;           // REG_SZ text or REG_BINARY hex as given
};

struct Step {
  enum class Kind {
    Ticks,
    Control,
    Command,
    Memory,
    MemorySequence,
    FileCache,
    Registry,
    Policies,
    SqueezeBusy
  };
  Kind kind = Kind::Ticks;
  uint64_t ticks = 0;
  uint32_t code = 0;  // control code or command identifier
  MemoryFields memory;
  std::vector<MemoryFields> sequence;
  FileCacheFields fileCache;
  // Registry and Policies: the values changed; null deletes.
  std::vector<std::pair<std::string, std::optional<RegistryValue>>> registry;
  bool squeezeBusy = false;
};

struct Scenario {
  std::string program;  // "velsvc" or "velmon"
  uint32_t osMajorVersion = 5;
  bool hasMemoryStatusEx = true;
  bool memoryStatusExFaults = false;
  bool quotaPrivilege = true;
  bool bindsQuery = true;
  bool bindsSet = true;
  std::vector<sim::Drive> drives = {sim::Drive{}};
  sim::Reading memory;
  FileCacheFields fileCache;
  bool registryWritable = true;
  bool registryReadOnly = false;  // the key exists and may only be read
  std::optional<std::vector<std::pair<std::string, RegistryValue>>> registryValues;
  // Values under the policies key; absent: no policies key.
  std::optional<std::vector<std::pair<std::string, RegistryValue>>> policyValues;
  bool squeezeBusy = false;
  std::vector<Step> steps;
};

// Reads a scenario from JSON text. On failure returns false and names the
// offending field in `error`.
bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error);

// Raw registry data of a value and its text form back.
std::vector<uint8_t> StringData(const std::string& utf8);
std::string StringText(const std::vector<uint8_t>& data);

}  // namespace velsim
