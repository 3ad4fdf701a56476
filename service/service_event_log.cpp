#include "service/service_event_log.h"

#include <cstddef>

#include "common/shared_names.h"
#include "platform/handles.h"
#include "platform/platform.h"

namespace {

// Text put together in place; what does not fit is cut.
template <size_t N>
class FixedText {
 public:
  FixedText& Add(const wchar_t* text) {
    for (; *text != 0 && length_ + 1 < N; ++text) {
      text_[length_++] = *text;
    }
    text_[length_] = 0;
    return *this;
  }

  FixedText& AddNumber(uint32_t number) {
    wchar_t digits[11];
    size_t count = 0;
    do {
      digits[count++] = static_cast<wchar_t>(L'0' + number % 10);
      number /= 10;
    } while (number != 0);
    wchar_t reversed[11];
    for (size_t i = 0; i < count; ++i) {
      reversed[i] = digits[count - 1 - i];
    }
    reversed[count] = 0;
    return Add(reversed);
  }

  const wchar_t* c_str() const { return text_; }

 private:
  wchar_t text_[N] = {};
  size_t length_ = 0;
};

using Number = FixedText<12>;

Number AsText(uint32_t number) {
  Number text;
  text.AddNumber(number);
  return text;
}

const wchar_t* SourceName(SettingSource source) {
  switch (source) {
    case SettingSource::Policy:
      return L"policy";
    case SettingSource::Registry:
      return L"registry";
    case SettingSource::Default:
      break;
  }
  return L"default";
}

// The five tuning settings in the order of ServiceEventLog::Tuning, with
// their units as an entry gives them.
struct TuningName {
  const wchar_t* name;
  const wchar_t* unit;
};
constexpr TuningName kTuningNames[5] = {{L"Settings", L""},
                                        {L"MemoryZipperPlus", L""},
                                        {L"RamAvailable", L" MB"},
                                        {L"MaxCacheSize", L" KB"},
                                        {L"BasedOnRam", L" percent"}};

}  // namespace

bool ReportPacer::Admit(uint64_t nowMs) {
  if (held_ != UINT32_MAX) {
    ++held_;
  }
  if (reported_ && nowMs - lastMs_ < intervalMs_) {
    return false;
  }
  reported_ = true;
  lastMs_ = nowMs;
  admitted_ = held_;
  held_ = 0;
  return true;
}

ServiceEventLog::Tuning ServiceEventLog::TuningOf(const SettingsStore& settings) {
  using Setting = SettingsStore::Setting;
  return Tuning{{settings.Settings, settings.MemoryZipperPlus, settings.RamAvailable,
                 settings.MaxCacheSize, settings.BasedOnRam},
                {settings.SourceOf(Setting::Settings), settings.SourceOf(Setting::MemoryZipperPlus),
                 settings.SourceOf(Setting::RamAvailable), settings.SourceOf(Setting::MaxCacheSize),
                 settings.SourceOf(Setting::BasedOnRam)}};
}

void ServiceEventLog::Write(const EventMessage& message, const wchar_t* const* strings) {
  // A fault while writing costs that entry only.
  plat::Guarded([&] {
    plat::ReportLogEvent(kServiceName, message.type, message.id, strings, message.strings);
  });
}

void ServiceEventLog::Started(const SettingsStore& settings, bool tuningEnabled, bool bindFailed,
                              bool privilegeFailed) {
  active_ = true;
  const Tuning tuning = TuningOf(settings);
  Number values[5];
  const wchar_t* strings[10];
  for (size_t i = 0; i < 5; ++i) {
    values[i] = AsText(tuning.values[i]);
    strings[2 * i] = values[i].c_str();
    strings[2 * i + 1] = SourceName(tuning.sources[i]);
  }
  Write(kEventServiceStarted, strings);
  told_ = tuning;

  if (!tuningEnabled) {
    const wchar_t* const reason[] = {
        bindFailed ? L"the system's file-cache calls (NtQuerySystemInformation and "
                     L"NtSetSystemInformation in ntdll.dll) could not be found"
                   : L"the first query of the file cache failed"};
    Write(kEventTunerDisabled, reason);
  }
  if (privilegeFailed) {
    const wchar_t* const privilege[] = {L"SeIncreaseQuotaPrivilege"};
    Write(kEventPrivilegeMissing, privilege);
  }
}

void ServiceEventLog::Stopped() {
  if (!active_) {
    return;
  }
  Write(kEventServiceStopped, nullptr);
  active_ = false;
}

void ServiceEventLog::CheckSettings(const SettingsStore& settings) {
  if (!active_) {
    return;
  }
  const Tuning now = TuningOf(settings);
  if (now == told_ || !settingsPacer_.Admit(plat::TickCountMs())) {
    return;
  }
  FixedText<512> changes;
  for (size_t i = 0; i < 5; ++i) {
    if (now.values[i] == told_.values[i] && now.sources[i] == told_.sources[i]) {
      continue;
    }
    if (changes.c_str()[0] != 0) {
      changes.Add(L"\r\n");
    }
    changes.Add(kTuningNames[i].name)
        .Add(L": ")
        .AddNumber(told_.values[i])
        .Add(L" -> ")
        .AddNumber(now.values[i])
        .Add(kTuningNames[i].unit)
        .Add(L" (")
        .Add(SourceName(now.sources[i]))
        .Add(L")");
  }
  const wchar_t* const strings[] = {changes.c_str()};
  Write(kEventSettingsChanged, strings);
  told_ = now;
}

void ServiceEventLog::CacheSetFailed(uint32_t minimumKB, uint32_t maximumKB) {
  if (!active_ || !setFailurePacer_.Admit(plat::TickCountMs())) {
    return;
  }
  const Number count = AsText(setFailurePacer_.admitted());
  const Number minimum = AsText(minimumKB);
  const Number maximum = AsText(maximumKB);
  const wchar_t* const strings[] = {count.c_str(), minimum.c_str(), maximum.c_str()};
  Write(kEventCacheSetFailed, strings);
}

void ServiceEventLog::SqueezeLimited(const wchar_t* action, uint32_t decidedMB, uint32_t commitMB,
                                     uint32_t requestedMB) {
  if (!active_ || !squeezePacer_.Admit(plat::TickCountMs())) {
    return;
  }
  const Number decided = AsText(decidedMB);
  const Number commit = AsText(commitMB);
  const Number requested = AsText(requestedMB);
  const wchar_t* const strings[] = {action, decided.c_str(), commit.c_str(), requested.c_str()};
  Write(kEventSqueezeLimited, strings);
}

void ServiceEventLog::Boosted(uint32_t requestedMB, uint32_t memoryLoad, uint32_t availMB) {
  if (!active_ || !boostPacer_.Admit(plat::TickCountMs())) {
    return;
  }
  const Number requested = AsText(requestedMB);
  const Number load = AsText(memoryLoad);
  const Number available = AsText(availMB);
  const wchar_t* const strings[] = {requested.c_str(), load.c_str(), available.c_str()};
  Write(kEventBoost, strings);
}
