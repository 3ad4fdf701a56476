#include "service/settings_watch.h"

#include "common/shared_names.h"
#include "platform/platform.h"

namespace {

// KEY_NOTIFY: all a watch needs of a key.
constexpr uint32_t kKeyNotify = 0x10;

}  // namespace

SettingsWatch::SettingsWatch()
    : event_(plat::CreateChangeEvent()),
      settings_{kSettingsKeyPath, L"SOFTWARE\\Quorlex", {}},
      policies_{kPoliciesKeyPath, L"SOFTWARE\\Policies", {}} {
  if (event_) {
    Arm(settings_);
    Arm(policies_);
  }
}

bool SettingsWatch::Wait(uint32_t milliseconds) {
  if (!event_) {
    plat::SleepMs(milliseconds);
    return false;
  }
  if (!plat::WaitForEvent(event_.get(), milliseconds)) {
    return false;
  }
  Arm(settings_);
  Arm(policies_);
  return true;
}

void SettingsWatch::Arm(Watched& watched) {
  // Opened afresh each time: the key may have been made or deleted since.
  watched.key.reset();
  bool subtree = false;
  if (plat::RegOpen(plat::kLocalMachine, watched.path, kKeyNotify, *watched.key.put()) != 0) {
    subtree = true;
    if (plat::RegOpen(plat::kLocalMachine, watched.parent, kKeyNotify, *watched.key.put()) != 0) {
      return;  // neither is there: the key is read as before, only not watched
    }
  }
  if (plat::NotifyKeyChange(watched.key.get(), subtree, event_.get()) != 0) {
    watched.key.reset();
  }
}
