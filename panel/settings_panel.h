// SettingsPanel: the control panel's hold on the ten settings. It reads them
// without changing anything (a value Group Policy sets wins, as it does in the
// service), tells whether this user may change them, writes the values the
// user changed and asks the running service to take them up.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "panel/setting_catalog.h"

// Where a shown value came from.
enum class ValueSource {
  Stored,      // a REG_DWORD in the settings key
  Missing,     // not there: the default is shown, the service writes it when it starts
  OtherType,   // not a REG_DWORD: the service reads it as 0
  Unreadable,  // the key or the value could not be read: the default is shown
  Policy,      // a REG_DWORD under the policies key: locked, never written
};

struct ShownSetting {
  uint32_t value = 0;
  ValueSource source = ValueSource::Missing;
};

enum class WriteAccess { Granted, Denied, Failed };

// What Apply did.
struct ApplyOutcome {
  uint32_t written = 0;         // values written
  uint32_t effective = 0;       // of those, the values some behaviour of the service depends on
  int failedSetting = -1;       // the value whose write failed (Apply stops there), or -1
  uint32_t error = 0;           // the error of that write or of opening the key
  bool serviceRunning = false;  // the service was running when the values were written
  bool reloaded = false;        // the service accepted the request to reload
  bool reloadAsked = false;     // a reload was asked for: an effective value was written
};

using SettingChanges = std::array<std::optional<uint32_t>, kSettingCount>;

class SettingsPanel {
 public:
  explicit SettingsPanel(uint64_t totalPhysBytes);

  const SettingCatalog& catalog() const { return catalog_; }
  const ShownSetting& shown(size_t index) const { return shown_[index]; }

  // Reads the ten values, creating nothing.
  void Load();

  // Whether Group Policy sets the value: the panel then never offers to change it.
  bool locked(size_t index) const { return shown_[index].source == ValueSource::Policy; }

  // Whether this user may write the settings key; the key is opened for
  // writing (or created) and closed again. `error` tells why not.
  WriteAccess CheckWriteAccess(uint32_t& error) const;

  // Writes each changed value as a REG_DWORD, in catalog order, skipping the
  // locked ones, and then, when a value that changes what the service does
  // was written and the service runs, asks it to reload.
  ApplyOutcome Apply(const SettingChanges& changes);

 private:
  SettingCatalog catalog_;
  std::array<ShownSetting, kSettingCount> shown_{};
};

// One line for the user on what Apply did.
std::wstring ApplyMessage(const ApplyOutcome& outcome, const SettingCatalog& catalog);

// Asks the service to re-read its settings (control code 144), opening it with
// only the right that code needs; true when the service accepted.
bool RequestReload(const wchar_t* serviceName);
