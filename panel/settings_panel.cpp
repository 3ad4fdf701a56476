#include "panel/settings_panel.h"

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
    if (key) {
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
  for (const auto& change : changes) {
    anyChange = anyChange || change.has_value();
  }
  if (!anyChange) {
    return outcome;
  }
  const plat::UniqueKey key = OpenForWriting(outcome.error);
  if (!key) {
    return outcome;
  }
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (!changes[i]) {
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
  }
  if (outcome.written > 0) {
    outcome.serviceRunning = ServiceControl::IsRunning(kServiceName);
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
  const std::wstring saved = outcome.written == 1
                                 ? std::wstring(L"Saved 1 value")
                                 : L"Saved " + std::to_wstring(outcome.written) + L" values";
  if (outcome.reloaded) {
    return saved + L"; the service has taken them up.";
  }
  if (outcome.serviceRunning) {
    return saved +
           L", but the service refused to reload them; it takes them up when it starts "
           L"again.";
  }
  return saved + L"; the service takes them up when it starts.";
}

bool RequestReload(const wchar_t* serviceName) {
  const OpenedService opened(serviceName, plat::kScManagerConnect,
                             plat::kServiceUserDefinedControl);
  plat::ServiceStatus status{};
  return opened &&
         plat::ControlNamedService(opened.service.get(), kServiceControlReloadSettings, status);
}
