// The Event Log.
#include <windows.h>

#include "platform/handles.h"
#include "platform/platform.h"

namespace plat {

namespace {

bool CloseEventSource(Handle source) {
  return DeregisterEventSource(source) != FALSE;
}

using UniqueEventSource = UniqueHandle<Handle, &CloseEventSource>;

}  // namespace

bool ReportLogEvent(const wchar_t* source, uint16_t type, uint32_t id,
                    const wchar_t* const* strings, uint16_t count) {
  const UniqueEventSource log(RegisterEventSourceW(nullptr, source));
  if (!log) {
    return false;
  }
  // ReportEventW takes the strings as non-const; it only reads them.
  return ReportEventW(log.get(), type, 0, id, nullptr, count, 0,
                      const_cast<const wchar_t**>(strings), nullptr) != FALSE;
}

}  // namespace plat
