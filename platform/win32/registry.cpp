// Registry keys and values.
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace plat {

static_assert(sizeof(DWORD) == sizeof(uint32_t));

namespace {

HKEY AsKey(RegHandle key) {
  return static_cast<HKEY>(key);
}

}  // namespace

int32_t RegOpen(RegHandle root, const wchar_t* path, uint32_t access, RegHandle& key) {
  HKEY opened = nullptr;
  LSTATUS const status = RegOpenKeyExW(AsKey(root), path, 0, access, &opened);
  key = status == ERROR_SUCCESS ? opened : nullptr;
  return status;
}

int32_t RegCreate(RegHandle root, const wchar_t* path, uint32_t access, RegHandle& key) {
  HKEY created = nullptr;
  LSTATUS const status = RegCreateKeyExW(AsKey(root), path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         access, nullptr, &created, nullptr);
  key = status == ERROR_SUCCESS ? created : nullptr;
  return status;
}

int32_t RegQuery(RegHandle key, const wchar_t* name, uint32_t* type, void* data, uint32_t* size) {
  return RegQueryValueExW(AsKey(key), name, nullptr, reinterpret_cast<DWORD*>(type),
                          static_cast<BYTE*>(data), reinterpret_cast<DWORD*>(size));
}

int32_t RegSet(RegHandle key, const wchar_t* name, uint32_t type, const void* data, uint32_t size) {
  return RegSetValueExW(AsKey(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

int32_t RegClose(RegHandle key) {
  return RegCloseKey(AsKey(key));
}

Handle CreateChangeEvent() {
  return CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

int32_t NotifyKeyChange(RegHandle key, bool subtree, Handle event) {
  return RegNotifyChangeKeyValue(AsKey(key), subtree ? TRUE : FALSE,
                                 REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event, TRUE);
}

bool WaitForEvent(Handle event, uint32_t milliseconds) {
  return WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0;
}

}  // namespace plat
