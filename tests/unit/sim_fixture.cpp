#include "tests/unit/sim_fixture.h"

#include <cstring>

#include "service/settings_store.h"

void SimTest::SetMemory(uint64_t totalBytes, uint64_t availBytes, uint32_t load,
                        uint64_t pageFileBytes) {
  machine().queued.clear();
  machine().current = sim::Reading{totalBytes, availBytes, pageFileBytes, load};
}

sim::RegKeyNode& SimTest::SettingsKey() {
  return machine().Key(plat::kLocalMachine, kSettingsKeyPath);
}

std::optional<uint32_t> SimTest::RegDword(const wchar_t* name) {
  const sim::RegValue* value = SettingsKey().Find(name);
  if (value == nullptr || value->type != plat::kRegDword || value->data.size() != 4) {
    return std::nullopt;
  }
  uint32_t result;
  std::memcpy(&result, value->data.data(), 4);
  return result;
}

void SimTest::PutDword(const wchar_t* name, uint32_t value) {
  SettingsKey().exists = true;
  SettingsKey().Set(name, plat::kRegDword, &value, 4);
}

void SimTest::PutValue(const wchar_t* name, uint32_t type, std::vector<uint8_t> data) {
  SettingsKey().exists = true;
  SettingsKey().Set(name, type, data.data(), static_cast<uint32_t>(data.size()));
}

std::vector<sim::Event> SimTest::Events(sim::EventKind kind) {
  std::vector<sim::Event> result;
  for (const sim::Event& event : machine().events) {
    if (event.kind == kind) {
      result.push_back(event);
    }
  }
  return result;
}

CacheSets SimTest::CacheSetsKB() {
  CacheSets result;
  for (const sim::Event& event : Events(sim::EventKind::CacheSet)) {
    const auto kb = [](uint64_t bytes) {
      return bytes == sim::kAllOnes ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes >> 10);
    };
    result.emplace_back(kb(event.minimum), kb(event.maximum));
  }
  return result;
}

std::vector<std::wstring> SimTest::RegSetNames() {
  std::vector<std::wstring> result;
  for (const sim::Event& event : Events(sim::EventKind::RegSet)) {
    result.emplace_back(event.name);
  }
  return result;
}

std::vector<uint64_t> SimTest::Sleeps() {
  std::vector<uint64_t> result;
  for (const sim::Event& e : Events(sim::EventKind::Sleep)) {
    result.push_back(e.value);
  }
  return result;
}

sim::Service& SimTest::InstalledService(const std::wstring& path, uint32_t state) {
  sim::Service& service = machine().AddService(L"Velmora Service", path);
  service.displayName = L"Velmora Performance Optimizer and Tuner Service";
  service.status.currentState = state;
  return service;
}

std::vector<uint64_t> SimTest::SqueezesMB() {
  // A squeeze commits eight blocks of an eighth each.
  std::vector<uint64_t> result;
  const auto commits = Events(sim::EventKind::Commit);
  for (size_t i = 0; i + 8 <= commits.size(); i += 8) {
    result.push_back(commits[i].bytes * 8 / kMB);
  }
  return result;
}
