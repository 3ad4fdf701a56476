// The simulated machine as a test fixture: a fresh machine per test, and readers
// for what the code did on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"

inline constexpr uint64_t kMB = 1024 * 1024;

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }

  static sim::Machine& machine() { return sim::machine(); }

  // Sets the current memory reading.
  static void SetMemory(uint64_t totalBytes, uint64_t availBytes, uint32_t load,
                        uint64_t pageFileBytes = 0);

  // Values under the settings key: a DWORD (or nothing when missing).
  static std::optional<uint32_t> RegDword(const wchar_t* name);
  static void PutDword(const wchar_t* name, uint32_t value);
  static void PutValue(const wchar_t* name, uint32_t type, std::vector<uint8_t> data);
  static sim::RegKeyNode& SettingsKey();

  // Events of one kind, in order.
  static std::vector<sim::Event> Events(sim::EventKind kind);
  // Every cache set request, in KB (the empty request as 0xFFFFFFFF).
  static std::vector<std::pair<uint32_t, uint32_t>> CacheSetsKB();
  // Names of the values the code wrote, in order.
  static std::vector<std::wstring> RegSetNames();
  // Every sleep, in ms, in order.
  static std::vector<uint64_t> Sleeps();
  // Adds the service "Velmora Service" to the simulated database.
  static sim::Service& InstalledService(const std::wstring& path, uint32_t state);
  // Amounts in MB of the squeezes run, from their first block.
  static std::vector<uint64_t> SqueezesMB();
  static void ClearEvents() { machine().events.clear(); }
};

using CacheSets = std::vector<std::pair<uint32_t, uint32_t>>;
