// SettingCatalog: what the control panel tells the user about each of the ten
// settings (a plain label, the control that fits it, its unit, one line of
// meaning, the default and the values it accepts), for the amount of physical
// memory of this machine; and how a stored value is shown and written back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The panel's three groups; the third is folded away.
enum class SettingGroup : uint8_t { TuningMode, FreeingMemory, Compatibility };

enum class SettingControl : uint8_t {
  Choice,    // a drop-down: automatic (stored 0) or a fixed maximum (stored 1)
  Switch,    // a check box: on (stored 1) or off (stored 0)
  Number,    // a whole number with its unit, stored as typed
  Interval,  // a count of checks, stored as the value whose two thirds give it
};

struct SettingInfo {
  const wchar_t* name;     // the registry value
  const wchar_t* label;    // what the panel calls it
  const wchar_t* meaning;  // one line for the user
  const wchar_t* unit;     // beside the field: "MB", "KB", "%", "checks" or empty
  uint32_t defaultValue;   // what the service writes when the value is missing (stored)
  uint32_t minimum;        // the smallest value the panel accepts, as shown
  uint32_t maximum;        // the largest value the panel accepts, as shown
  SettingGroup group;
  SettingControl control;
  bool changesNothing;  // read and kept: no behaviour of the service depends on it
};

inline constexpr size_t kSettingCount = 10;
using SettingCatalog = std::array<SettingInfo, kSettingCount>;

// The ten settings in the order the service's settings key lists them.
SettingCatalog MakeSettingCatalog(uint64_t totalPhysBytes);

// The catalog's indexes in the order the panel shows them, group by group.
inline constexpr std::array<size_t, kSettingCount> kDisplayOrder = {0, 7, 8, 1, 2, 4, 3, 5, 6, 9};

// Milliseconds from one periodic check of the service to the next: 8,002
// ticks of four 201 ms passes.
inline constexpr uint64_t kCheckIntervalMs = 8002ull * 4 * 201;

// Checks from one periodic boost to the next for an AutoOptHour value: two
// thirds of it, at least one (the boost comes on every check below 3).
uint32_t BoostIntervalChecks(uint32_t autoOptHour);

// A stored value as the panel shows it: 0 or 1 for a choice or a switch, the
// interval in checks, any other value as it is.
uint32_t ShownValue(const SettingInfo& info, uint32_t stored);

// What the panel writes for a value shown and accepted: for the interval the
// smallest value that gives that many checks.
uint32_t StoredValue(const SettingInfo& info, uint32_t shown);

// Whether a stored value shows within the limits of the panel's control; any
// other is shown with a remark and left as it is unless changed.
bool WithinLimits(const SettingInfo& info, uint32_t stored);
