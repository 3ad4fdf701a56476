// SettingCatalog: what the control panel tells the user about each of the ten
// settings (meaning, unit, default, the values it accepts), for the amount of
// physical memory of this machine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct SettingInfo {
  const wchar_t* name;     // the registry value
  const wchar_t* meaning;  // one line for the user
  const wchar_t* unit;     // empty for switches and plain numbers
  uint32_t defaultValue;   // what the service writes when the value is missing
  uint32_t minimum;        // the smallest value the panel accepts
  uint32_t maximum;        // the largest value the panel accepts
};

inline constexpr size_t kSettingCount = 10;
using SettingCatalog = std::array<SettingInfo, kSettingCount>;

// The ten settings in the order the service's settings key lists them.
SettingCatalog MakeSettingCatalog(uint64_t totalPhysBytes);
