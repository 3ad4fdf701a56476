// What the control panel says about a setting around its control: the line of
// meaning with the accepted values and the default, the boost interval in
// time, and a remark on where the value came from or on a value beyond the
// panel's limits.
#pragma once

#include <cstdint>
#include <string>

#include "panel/setting_catalog.h"
#include "panel/settings_panel.h"

// How long `checks` periodic checks take: "about every 107 minutes", "about
// every 7.1 hours", "about every 4.1 years".
std::wstring IntervalTime(uint64_t checks);

// The setting's meaning, the values it accepts and its default.
std::wstring MeaningLine(const SettingInfo& info);

// The boost interval's line for the checks in its field (0 when the field
// holds no number), and whether the boost follows the interval at all.
std::wstring IntervalMeaning(const SettingInfo& info, uint32_t checks, bool followsInterval);

// Where the shown value came from when it is not simply stored, and what
// becomes of a value beyond the panel's limits; empty when there is nothing
// to say.
std::wstring NoteLine(const SettingInfo& info, const ShownSetting& shown);
