// ServiceControl: installs, removes, starts, stops and inspects a service
// through the service control manager. Each operation opens what it needs,
// does one job, closes every handle it opened and answers with a boolean.
#pragma once

#include <cstdint>

#include "common/shared_names.h"
#include "platform/handles.h"

// Capacity, in characters, of the buffers QueryConfig fills.
inline constexpr uint32_t kConfigTextCapacity = 256;

// The service control manager and one service opened together, for one
// operation; the service closes first. After a failed open of the service the
// platform's last error tells why.
struct OpenedService {
  plat::UniqueService manager;
  plat::UniqueService service;

  OpenedService(const wchar_t* name, uint32_t managerAccess, uint32_t serviceAccess);
  ~OpenedService() { service.reset(); }

  explicit operator bool() const { return manager && service; }
};

namespace ServiceControl {

// True when the service accepted the control code.
bool SendControl(const wchar_t* name, uint32_t code);

// True when the service was started and its last polled state is running.
bool StartAndWait(const wchar_t* name);

// True when the service can be opened.
bool Exists(const wchar_t* name);

// True for start-pending, running, pause-pending and paused.
bool IsRunning(const wchar_t* name);

// Fills the two buffers (kConfigTextCapacity characters each) with the
// service's display name and executable path, cut to fit; true when read.
bool QueryConfig(const wchar_t* name, wchar_t* displayName, wchar_t* path);

// True when the service was deleted, or marked for deletion.
bool Remove(const wchar_t* name);

// True when the stop was accepted and, 2048 ms later, the service no longer runs.
bool Stop(const wchar_t* name);

// Creates the service, automatic start, for this program (its path quoted
// when it contains a blank); true when created.
bool Install(const wchar_t* name, const wchar_t* displayName);

}  // namespace ServiceControl
