// CheckField: what the control panel makes of the text the user typed into a
// setting's field.
#pragma once

#include <cstdint>
#include <string>

#include "panel/setting_catalog.h"

enum class FieldVerdict { Accepted, Empty, NotANumber, BelowMinimum, AboveMaximum };

// Reads a whole decimal number, blanks around it allowed, and checks it
// against the setting's limits as shown; `value` is set only when accepted.
FieldVerdict CheckField(const wchar_t* text, const SettingInfo& info, uint32_t& value);

// The message shown next to a refused field; empty when the field was accepted.
std::wstring FieldMessage(FieldVerdict verdict, const SettingInfo& info);

// "0 to 1", "1 to 2,730 MB", "1 to 500 percent": the values a setting accepts.
std::wstring LimitsText(const SettingInfo& info);

// A shown value with its unit as a sentence says it: "128 MB", "72 percent".
std::wstring AmountText(const SettingInfo& info, uint64_t value);

// A count with thousands separators: 1,048,576.
std::wstring GroupDigits(uint64_t value);
