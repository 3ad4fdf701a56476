// SettingsWatch: the running service's watch on its settings key and on the
// key Group Policy writes, so that a change is taken up within one pass of the
// loop instead of at the next reload.
#pragma once

#include <cstdint>

#include "platform/handles.h"

class SettingsWatch {
 public:
  // Makes the event and arms both notifications. Without an event the watch
  // only sleeps.
  SettingsWatch();

  SettingsWatch(const SettingsWatch&) = delete;
  SettingsWatch& operator=(const SettingsWatch&) = delete;

  // Waits `milliseconds` in place of the pass's sleep, less when a watched key
  // changes. True after a change, with both notifications armed again: the
  // caller reads the settings after that, so no later change is missed.
  bool Wait(uint32_t milliseconds);

 private:
  // One watched key: the key itself when it exists, else its parent with
  // everything below it, so that the key's creation is seen too. The watch
  // never creates a key.
  struct Watched {
    const wchar_t* path;
    const wchar_t* parent;
    plat::UniqueKey key;
  };

  void Arm(Watched& watched);

  plat::UniqueObject event_;
  Watched settings_;
  Watched policies_;
};
