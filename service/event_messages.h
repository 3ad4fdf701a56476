// The entries the service writes to the Application log as the event source
// "Velmora Service" (kServiceName): each is a message of velsvc.exe's message
// table (service/resources/velsvc_messages.mc), named by its id, with the type
// the entry is written with and the number of insertion strings it takes.
// Constants only, so that probes built against <windows.h> can include it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct EventMessage {
  uint32_t id;
  uint16_t type;     // plat::kEventError, kEventWarning or kEventInformation
  uint16_t strings;  // insertion strings: %1 to %strings
};

// Started, with the five tuning settings in force, each followed by where it
// came from (policy, registry, default).
inline constexpr EventMessage kEventServiceStarted{1, plat::kEventInformation, 10};
inline constexpr EventMessage kEventServiceStopped{2, plat::kEventInformation, 0};
// Settings reloaded: what changed, one line each.
inline constexpr EventMessage kEventSettingsChanged{3, plat::kEventInformation, 1};
// The tuner is off for the life of the process, and why.
inline constexpr EventMessage kEventTunerDisabled{4, plat::kEventError, 1};
// The privilege the file-cache limits need could not be enabled: its name.
inline constexpr EventMessage kEventPrivilegeMissing{5, plat::kEventWarning, 1};
// Setting the file-cache limits failed: failures since the last such entry,
// the latest request's minimum and maximum in KB.
inline constexpr EventMessage kEventCacheSetFailed{6, plat::kEventWarning, 3};
// A squeeze kept to half the commit still available: the action, the amount
// it decided on, the commit available and the amount asked for, in MB.
inline constexpr EventMessage kEventSqueezeLimited{7, plat::kEventWarning, 4};
// The periodic boost: the amount asked for in MB, the memory load in percent
// and the physical memory available in MB.
inline constexpr EventMessage kEventBoost{8, plat::kEventInformation, 3};

inline constexpr EventMessage kEventMessages[] = {
    kEventServiceStarted,   kEventServiceStopped, kEventSettingsChanged, kEventTunerDisabled,
    kEventPrivilegeMissing, kEventCacheSetFailed, kEventSqueezeLimited,  kEventBoost};
