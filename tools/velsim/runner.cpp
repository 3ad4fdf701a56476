// velsim's run of a scenario: the simulated machine set up from it, the
// program's objects built, the steps taken, and every action printed as one
// JSON object a line.
#include "tools/velsim/runner.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "common/squeezer.h"
#include "common/system_cache_control.h"
#include "platform/sim/sim_machine.h"
#include "service/cache_tuner.h"
#include "service/settings_store.h"
#include "tray/memory_actions.h"

namespace {

using Json = nlohmann::ordered_json;

// How the current set status was given, so the trace prints it alike.
velsim::Status gSetStatus;
// REG_BINARY values as given, so that the end prints their hex as it came.
std::map<std::string, std::string> gBinaryText;

std::string Quoted(const std::string& text) {
  return Json(text).dump();
}

std::string KeyName(const sim::RegKeyNode& key) {
  const char* root = key.root == plat::kLocalMachine ? "HKLM\\" : "HKCU\\";
  return root + sim::Narrow(key.path);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

void PrintEvent(const sim::Event& event) {
  switch (event.kind) {
    case sim::EventKind::RegSet:
      std::printf(
          "{\"ev\":\"RegSet\",\"key\":%s,\"name\":%s,\"type\":\"REG_DWORD\",\"value\":%llu}\n",
          Quoted(KeyName(*event.key)).c_str(), Quoted(sim::Narrow(event.name)).c_str(),
          static_cast<unsigned long long>(event.value));
      break;
    case sim::EventKind::CacheSet: {
      const auto limit = [](uint64_t bytes) {
        return bytes == sim::kAllOnes ? std::string("-1") : std::to_string(bytes);
      };
      const int64_t status =
          gSetStatus.bits == event.status ? gSetStatus.given : static_cast<int64_t>(event.status);
      std::printf("{\"ev\":\"CacheSet\",\"minimum\":%s,\"maximum\":%s,\"status\":%lld}\n",
                  limit(event.minimum).c_str(), limit(event.maximum).c_str(),
                  static_cast<long long>(status));
      break;
    }
    case sim::EventKind::Commit:
      std::printf("{\"ev\":\"Commit\",\"bytes\":%llu,\"ok\":%s}\n",
                  static_cast<unsigned long long>(event.bytes), event.ok ? "true" : "false");
      break;
    case sim::EventKind::Release:
      std::printf("{\"ev\":\"Release\",\"bytes\":%llu,\"writes\":%llu}\n",
                  static_cast<unsigned long long>(event.bytes),
                  static_cast<unsigned long long>(event.writes));
      break;
    case sim::EventKind::Flush:
      std::printf("{\"ev\":\"Flush\",\"volume\":\"%c:\"}\n", event.volume);
      break;
    case sim::EventKind::Sleep:
      std::printf("{\"ev\":\"Sleep\",\"ms\":%llu}\n", static_cast<unsigned long long>(event.value));
      break;
    case sim::EventKind::ServiceReport:
      break;  // the service loop is not simulated
  }
}

void PrintRefreshIcon() {
  std::fputs("{\"ev\":\"RefreshIcon\"}\n", stdout);
}

sim::RegKeyNode& SettingsKey() {
  return sim::machine().Key(plat::kLocalMachine, kSettingsKeyPath);
}

// The policies key: only read by the programs, never printed.
sim::RegKeyNode& PoliciesKey() {
  return sim::machine().Key(plat::kLocalMachine, kPoliciesKeyPath);
}

void SetValue(sim::RegKeyNode& key, const std::string& name, const velsim::RegistryValue& value) {
  key.exists = true;
  const std::wstring wide = sim::Widen(name);
  key.Set(wide.c_str(), value.type, value.data.data(), static_cast<uint32_t>(value.data.size()));
  if (value.type == plat::kRegBinary && &key == &SettingsKey()) {
    gBinaryText[Lower(name)] = value.text;
  }
}

// Sets and deletes the values of a registry step.
void ChangeValues(sim::RegKeyNode& key, const velsim::Step& step) {
  for (const auto& [name, value] : step.registry) {
    if (value) {
      SetValue(key, name, *value);
    } else {
      key.Remove(sim::Widen(name).c_str());
    }
  }
}

Json ValueJson(const sim::RegValue& value) {
  uint64_t number = 0;
  switch (value.type) {
    case plat::kRegDword:
      if (value.data.size() == 4) {
        std::memcpy(&number, value.data.data(), 4);
        return Json(number);
      }
      break;
    case plat::kRegQword:
      if (value.data.size() == 8) {
        std::memcpy(&number, value.data.data(), 8);
        return Json{{"type", "REG_QWORD"}, {"data", number}};
      }
      break;
    case plat::kRegSz:
      return Json{{"type", "REG_SZ"}, {"data", velsim::StringText(value.data)}};
    default:
      break;
  }
  auto given = gBinaryText.find(Lower(sim::Narrow(value.name)));
  if (given != gBinaryText.end()) {
    return Json{{"type", "REG_BINARY"}, {"data", given->second}};
  }
  std::string hex;
  for (uint8_t byte : value.data) {
    static const char kDigits[] = "0123456789abcdef";
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return Json{{"type", "REG_BINARY"}, {"data", hex}};
}

void SetUpMachine(const velsim::Scenario& scenario) {
  sim::Reset();
  sim::Machine& m = sim::machine();
  m.osMajorVersion = scenario.osMajorVersion;
  m.hasMemoryStatusEx = scenario.hasMemoryStatusEx;
  m.memoryStatusExFaults = scenario.memoryStatusExFaults;
  m.quotaPrivilege = scenario.quotaPrivilege;
  m.bindsQuery = scenario.bindsQuery;
  m.bindsSet = scenario.bindsSet;
  m.drives = scenario.drives;
  m.current = scenario.memory;
  const velsim::FileCacheFields& cache = scenario.fileCache;
  m.fileCache.currentSize = cache.currentSize.value_or(0);
  m.fileCache.peakSize = cache.peakSize.value_or(0);
  m.fileCache.minimumPages = cache.minimumPages.value_or(0);
  m.fileCache.maximumPages = cache.maximumPages.value_or(0);
  m.fileCache.queryStatus = cache.queryStatus.value_or(velsim::Status{}).bits;
  gSetStatus = cache.setStatus.value_or(velsim::Status{});
  m.fileCache.setStatus = gSetStatus.bits;

  sim::RegKeyNode& key = SettingsKey();
  key.accessDenied = !scenario.registryWritable;
  // A read-only key exists, with or without values.
  key.readOnly = scenario.registryReadOnly;
  key.exists = scenario.registryReadOnly;
  if (scenario.registryValues) {
    key.exists = true;
    for (const auto& [name, value] : *scenario.registryValues) {
      SetValue(key, name, value);
    }
  }
  if (scenario.policyValues) {
    sim::RegKeyNode& policies = PoliciesKey();
    policies.exists = true;
    for (const auto& [name, value] : *scenario.policyValues) {
      SetValue(policies, name, value);
    }
  }
  if (scenario.squeezeBusy) {
    m.HoldMutex(kSqueezeMutexName, true);
  }
  // The trace is printed as the code acts; nothing needs keeping.
  m.recording = false;
  m.listener = &PrintEvent;
}

// Machine changes a step makes from outside the program.
void ApplyOutsideStep(const velsim::Step& step, bool& squeezeBusy) {
  sim::Machine& m = sim::machine();
  switch (step.kind) {
    case velsim::Step::Kind::Memory:
      m.queued.clear();
      m.current = step.memory.ApplyTo(m.current);
      break;
    case velsim::Step::Kind::MemorySequence: {
      m.queued.clear();
      sim::Reading previous = m.current;
      for (const velsim::MemoryFields& fields : step.sequence) {
        previous = fields.ApplyTo(previous);
        m.queued.push_back(previous);
      }
      break;
    }
    case velsim::Step::Kind::FileCache: {
      const velsim::FileCacheFields& f = step.fileCache;
      m.fileCache.currentSize = f.currentSize.value_or(m.fileCache.currentSize);
      m.fileCache.peakSize = f.peakSize.value_or(m.fileCache.peakSize);
      m.fileCache.minimumPages = f.minimumPages.value_or(m.fileCache.minimumPages);
      m.fileCache.maximumPages = f.maximumPages.value_or(m.fileCache.maximumPages);
      if (f.queryStatus) {
        m.fileCache.queryStatus = f.queryStatus->bits;
      }
      if (f.setStatus) {
        gSetStatus = *f.setStatus;
        m.fileCache.setStatus = gSetStatus.bits;
      }
      break;
    }
    case velsim::Step::Kind::Registry:
      ChangeValues(SettingsKey(), step);
      break;
    case velsim::Step::Kind::Policies:
      // The key exists from this step on, whatever the step holds.
      PoliciesKey().exists = true;
      ChangeValues(PoliciesKey(), step);
      break;
    case velsim::Step::Kind::SqueezeBusy:
      if (step.squeezeBusy != squeezeBusy) {
        m.HoldMutex(kSqueezeMutexName, step.squeezeBusy);
        squeezeBusy = step.squeezeBusy;
      }
      break;
    default:
      break;
  }
}

void PrintEnd() {
  Json values = Json::object();
  const sim::RegKeyNode& key = SettingsKey();
  if (key.exists) {
    for (const sim::RegValue& value : key.values) {
      values[sim::Narrow(value.name)] = ValueJson(value);
    }
  }
  std::printf("{\"ev\":\"End\",\"registry\":%s}\n", values.dump().c_str());
}

// velsvc: the service's three process-wide objects in their order, then the steps.
void RunService(const velsim::Scenario& scenario) {
  SystemCacheControl cache;
  SettingsStore settings;
  CSqueezeRam squeezer(kServiceTouchStride);
  CacheTuner tuner(cache, settings, squeezer);
  bool squeezeBusy = scenario.squeezeBusy;
  uint64_t tick = 0;
  for (const velsim::Step& step : scenario.steps) {
    if (step.kind == velsim::Step::Kind::Ticks) {
      for (uint64_t i = 0; i < step.ticks; ++i) {
        std::printf("{\"ev\":\"Tick\",\"n\":%llu}\n", static_cast<unsigned long long>(++tick));
        tuner.Tick();
      }
    } else if (step.kind == velsim::Step::Kind::Control) {
      std::printf("{\"ev\":\"Control\",\"code\":%u}\n", step.code);
      tuner.ReloadSettings();
    } else {
      ApplyOutsideStep(step, squeezeBusy);
    }
  }
}

// velmon: the tray's cache control object, then the steps.
void RunTray(const velsim::Scenario& scenario) {
  SystemCacheControl cache;
  CSqueezeRam squeezer(kTrayTouchStride);
  const MemoryActionContext context{cache, squeezer, &PrintRefreshIcon};
  bool squeezeBusy = scenario.squeezeBusy;
  for (const velsim::Step& step : scenario.steps) {
    if (step.kind == velsim::Step::Kind::Command) {
      std::printf("{\"ev\":\"Command\",\"id\":%u}\n", step.code);
      if (step.code == 40008) {
        BoostMemoryNow(context);
      } else {
        EmptySystemCache(cache);
      }
    } else {
      ApplyOutsideStep(step, squeezeBusy);
    }
  }
}

}  // namespace

namespace velsim {

void RunScenario(const Scenario& scenario) {
  gBinaryText.clear();
  SetUpMachine(scenario);
  std::printf("{\"ev\":\"Start\",\"program\":%s}\n", Quoted(scenario.program).c_str());
  if (scenario.program == "velsvc") {
    RunService(scenario);
  } else {
    RunTray(scenario);
  }
  PrintEnd();
  std::fflush(stdout);
}

}  // namespace velsim
