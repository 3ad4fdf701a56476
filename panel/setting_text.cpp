#include "panel/setting_text.h"

#include "panel/field_check.h"

namespace {

// A figure in tenths as "7.1", or "7" when the tenths are 0.
std::wstring Tenths(uint64_t tenths) {
  std::wstring text = GroupDigits(tenths / 10);
  if (tenths % 10 != 0) {
    text += L"." + std::to_wstring(tenths % 10);
  }
  return text;
}

// "about every 7.1 hours": below 10 with one decimal, whole from there on.
std::wstring About(uint64_t ms, uint64_t unitMs, const wchar_t* unit) {
  const uint64_t tenths = (ms * 10 + unitMs / 2) / unitMs;
  const uint64_t shown = tenths < 100 ? tenths : (ms + unitMs / 2) / unitMs * 10;
  return L"about every " + Tenths(shown) + L" " + unit;
}

std::wstring ValuesOffered(const SettingInfo& info) {
  if (info.control == SettingControl::Choice || info.control == SettingControl::Switch) {
    return L"0 or 1";
  }
  return LimitsText(info);
}

// What the service makes of a value beyond the panel's limits, when it is not
// simply the value itself.
std::wstring ServiceReading(const SettingInfo& info, uint32_t stored) {
  const std::wstring name = info.name;
  if (name == L"CacheUsage" && stored > 25) {
    return L"; the service reads it as 25";
  }
  if (name == L"BasedOnRam" && stored > 500) {
    return L"; the service takes it as 72";
  }
  if (name == L"MaxCacheSize" && stored > info.maximum) {
    return L"; above the memory the service uses 78 percent of it";
  }
  if (info.control == SettingControl::Choice) {
    return L"; the service takes any value but 1 as automatic";
  }
  if (info.control == SettingControl::Switch && !info.changesNothing) {
    return L"; the service takes any value but 0 as on";
  }
  return {};
}

}  // namespace

std::wstring IntervalTime(uint64_t checks) {
  constexpr uint64_t kMinuteMs = 60000;
  constexpr uint64_t kHourMs = 60 * kMinuteMs;
  constexpr uint64_t kDayMs = 24 * kHourMs;
  constexpr uint64_t kYearMs = 36525 * kDayMs / 100;
  const uint64_t ms = checks * kCheckIntervalMs;
  if (ms < 2 * kHourMs - kMinuteMs / 2) {
    return L"about every " + GroupDigits((ms + kMinuteMs / 2) / kMinuteMs) + L" minutes";
  }
  if (ms < 2 * kDayMs) {
    return About(ms, kHourMs, L"hours");
  }
  if (ms < 60 * kDayMs) {
    return About(ms, kDayMs, L"days");
  }
  return About(ms, kYearMs, L"years");
}

std::wstring MeaningLine(const SettingInfo& info) {
  const std::wstring meaning = info.meaning;
  if (info.control == SettingControl::Choice || info.control == SettingControl::Switch) {
    return meaning;
  }
  return meaning + L" " + LimitsText(info) + L"; default " +
         GroupDigits(ShownValue(info, info.defaultValue)) + L".";
}

std::wstring IntervalMeaning(const SettingInfo& info, uint32_t checks, bool followsInterval) {
  if (!followsInterval) {
    return L"Not used while the box above is clear: the boost then comes every 4th check, " +
           IntervalTime(4) + L".";
  }
  if (checks == 0) {
    return MeaningLine(info);
  }
  const std::wstring every =
      checks == 1 ? std::wstring(L"on every check") : L"every " + GroupDigits(checks) + L" checks";
  return L"The boost comes " + every + L", " + IntervalTime(checks) + L". " + LimitsText(info) +
         L"; default " + GroupDigits(ShownValue(info, info.defaultValue)) + L".";
}

std::wstring NoteLine(const SettingInfo& info, const ShownSetting& shown) {
  switch (shown.source) {
    case ValueSource::Missing:
      return L"Not set yet: the service writes the default when it starts.";
    case ValueSource::OtherType:
      return L"Stored as another type than a DWORD: the service reads it as 0 and leaves it.";
    case ValueSource::Unreadable:
      return L"Cannot be read: the default is shown.";
    case ValueSource::Stored:
    case ValueSource::Policy:
      break;
  }
  if (WithinLimits(info, shown.value)) {
    return {};
  }
  const bool policy = shown.source == ValueSource::Policy;
  std::wstring text = (policy ? L"Group Policy sets " : L"Stored as ") + GroupDigits(shown.value);
  if (info.control == SettingControl::Interval) {
    const uint32_t checks = BoostIntervalChecks(shown.value);
    text += L" (every " + GroupDigits(checks) + L" checks, " + IntervalTime(checks) + L")";
  }
  text += L", outside what the panel offers (" + ValuesOffered(info) + L")" +
          ServiceReading(info, shown.value) + L".";
  return policy ? text : text + L" Left as it is unless you change it.";
}
