#include "panel/settings_panel.h"

#include "panel/field_check.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "service/service_control.h"
#include "service/service_runtime.h"
#include "service/settings_store.h"

namespace {

// KEY_READ, and KEY_QUERY_VALUE with KEY_SET_VALUE.
constexpr uint32_t kReadAccess = 0x20019;
constexpr uint32_t kWriteAccess = 0x1 | 0x2;

// The settings key opened for writing, created when it does not exist yet.
plat::UniqueKey OpenForWriting(uint32_t& error) {
  plat::RegHandle key = nullptr;
  int32_t status = plat::RegOpen(plat::kLocalMachine, kSettingsKeyPath, kWriteAccess, key);
  if (status == static_cast<int32_t>(plat::kErrorFileNotFound)) {
    status = plat::RegCreate(plat::kLocalMachine, kSettingsKeyPath, kWriteAccess, key);
  }
  error = static_cast<uint32_t>(status);
  return plat::UniqueKey(status == 0 ? key : nullptr);
}

ShownSetting ReadValue(plat::RegHandle key, const SettingInfo& info) {
  uint32_t type = 0;
  uint32_t data = 0;
  uint32_t size = sizeof(data);
  const int32_t status = plat::RegQuery(key, info.name, &type, &data, &size);
  if (status == static_cast<int32_t>(plat::kErrorFileNotFound)) {
    return {info.defaultValue, ValueSource::Missing};
  }
  if (status == static_cast<int32_t>(plat::kErrorMoreData) ||
      (status == 0 && (type != plat::kRegDword || size != sizeof(data)))) {
    return {0, ValueSource::OtherType};
  }
  if (status != 0) {
    return {info.defaultValue, ValueSource::Unreadable};
  }
  return {data, ValueSource::Stored};
}

}  // namespace

SettingsPanel::SettingsPanel(uint64_t totalPhysBytes)
    : catalog_(MakeSettingCatalog(totalPhysBytes)) {
  for (size_t i = 0; i < kSettingCount; ++i) {
    shown_[i] = {catalog_[i].defaultValue, ValueSource::Missing};
  }
}

void SettingsPanel::Load() {
  plat::RegHandle opened = nullptr;
  const int32_t status = plat::RegOpen(plat::kLocalMachine, kSettingsKeyPath, kReadAccess, opened);
  const plat::UniqueKey key(status == 0 ? opened : nullptr);
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (uint32_t policy = 0; ReadPolicy(catalog_[i].name, policy)) {
      shown_[i] = {policy, ValueSource::Policy};
    } else if (key) {
      shown_[i] = ReadValue(key.get(), catalog_[i]);
    } else {
      // No key yet: the service has not run; it writes the defaults when it does.
      const bool missing = status == static_cast<int32_t>(plat::kErrorFileNotFound);
      shown_[i] = {catalog_[i].defaultValue,
                   missing ? ValueSource::Missing : ValueSource::Unreadable};
    }
  }
}

WriteAccess SettingsPanel::CheckWriteAccess(uint32_t& error) const {
  const plat::UniqueKey key = OpenForWriting(error);
  if (key) {
    return WriteAccess::Granted;
  }
  return error == plat::kErrorAccessDenied ? WriteAccess::Denied : WriteAccess::Failed;
}

ApplyOutcome SettingsPanel::Apply(const SettingChanges& changes) {
  ApplyOutcome outcome;
  bool anyChange = false;
  for (size_t i = 0; i < kSettingCount; ++i) {
    anyChange = anyChange || (changes[i].has_value() && !locked(i));
  }
  if (!anyChange) {
    return outcome;
  }
  const plat::UniqueKey key = OpenForWriting(outcome.error);
  if (!key) {
    return outcome;
  }
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (!changes[i] || locked(i)) {
      continue;
    }
    const uint32_t value = *changes[i];
    const int32_t status = plat::RegSet(key.get(), catalog_[i].name, plat::kRegDword, &value, 4);
    if (status != 0) {
      outcome.failedSetting = static_cast<int>(i);
      outcome.error = static_cast<uint32_t>(status);
      break;
    }
    shown_[i] = {value, ValueSource::Stored};
    ++outcome.written;
    outcome.effective += catalog_[i].changesNothing ? 0 : 1;
  }
  // A value that changes nothing is no reason to disturb the service.
  if (outcome.effective > 0) {
    outcome.serviceRunning = ServiceControl::IsRunning(kServiceName);
    outcome.reloadAsked = outcome.serviceRunning;
    outcome.reloaded = outcome.serviceRunning && RequestReload(kServiceName);
  }
  return outcome;
}

std::wstring ApplyMessage(const ApplyOutcome& outcome, const SettingCatalog& catalog) {
  const std::wstring error = L" (error " + std::to_wstring(outcome.error) + L")";
  if (outcome.failedSetting >= 0) {
    return L"Saved " + std::to_wstring(outcome.written) + L" of the changed values; " +
           catalog[static_cast<size_t>(outcome.failedSetting)].name + L" could not be written" +
           error + L", nor anything after it.";
  }
  if (outcome.written == 0) {
    if (outcome.error == plat::kErrorAccessDenied) {
      return L"Nothing was saved: changing the settings needs administrator rights.";
    }
    if (outcome.error != 0) {
      return L"Nothing was saved: the settings key cannot be opened for writing" + error + L".";
    }
    return L"Nothing to save: no value was changed.";
  }
  const bool one = outcome.written == 1;
  const std::wstring saved =
      one ? std::wstring(L"Saved 1 value") : L"Saved " + GroupDigits(outcome.written) + L" values";
  if (outcome.effective == 0) {
    return saved + (one ? L"; it changes" : L"; they change") + L" nothing the service does.";
  }
  // What the service takes up: all of them, or only the values that matter.
  const uint32_t others = outcome.written - outcome.effective;
  const std::wstring which = others == 0 ? std::wstring(one ? L"it" : L"them")
                                         : GroupDigits(outcome.effective) + L" of them";
  const std::wstring rest = others == 0 ? std::wstring()
                            : others == 1
                                ? std::wstring(L" (the other changes nothing)")
                                : L" (the other " + GroupDigits(others) + L" change nothing)";
  if (outcome.reloaded) {
    return saved + L"; the service has taken " + which + L" up" + rest + L".";
  }
  if (outcome.serviceRunning) {
    return saved + L", but the service refused to reload; it takes " + which +
           L" up when it starts again" + rest + L".";
  }
  return saved + L"; the service takes " + which + L" up when it starts" + rest + L".";
}

bool RequestReload(const wchar_t* serviceName) {
  const OpenedService opened(serviceName, plat::kScManagerConnect,
                             plat::kServiceUserDefinedControl);
  plat::ServiceStatus status{};
  return opened &&
         plat::ControlNamedService(opened.service.get(), kServiceControlReloadSettings, status);
}
