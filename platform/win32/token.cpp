// The process token and its privileges.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace plat {

// A plat::TokenPrivilege is handed to the system as a one-entry TOKEN_PRIVILEGES.
static_assert(sizeof(TokenPrivilege) == sizeof(TOKEN_PRIVILEGES));
static_assert(offsetof(TokenPrivilege, privilegeCount) ==
              offsetof(TOKEN_PRIVILEGES, PrivilegeCount));
static_assert(offsetof(TokenPrivilege, luid) == offsetof(TOKEN_PRIVILEGES, Privileges));
static_assert(offsetof(TokenPrivilege, attributes) ==
              offsetof(TOKEN_PRIVILEGES, Privileges) + offsetof(LUID_AND_ATTRIBUTES, Attributes));
static_assert(sizeof(Luid) == sizeof(LUID));
static_assert(offsetof(Luid, lowPart) == offsetof(LUID, LowPart));
static_assert(offsetof(Luid, highPart) == offsetof(LUID, HighPart));
static_assert(sizeof(DWORD) == sizeof(uint32_t));

bool OpenProcessToken(uint32_t access, Handle& token) {
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(GetCurrentProcess(), access, &opened)) {
    return false;
  }
  token = opened;
  return true;
}

bool LookupPrivilege(const wchar_t* name, Luid& luid) {
  LUID found{};
  if (!LookupPrivilegeValueW(nullptr, name, &found)) {
    return false;
  }
  luid.lowPart = found.LowPart;
  luid.highPart = found.HighPart;
  return true;
}

bool AdjustPrivileges(Handle token, const TokenPrivilege& newState, uint32_t bufferLength,
                      TokenPrivilege* previousState, uint32_t* returnLength) {
  // The call only reads the new state; its parameter is not const-qualified.
  auto* const state = reinterpret_cast<TOKEN_PRIVILEGES*>(const_cast<TokenPrivilege*>(&newState));
  return AdjustTokenPrivileges(token, FALSE, state, bufferLength,
                               reinterpret_cast<TOKEN_PRIVILEGES*>(previousState),
                               reinterpret_cast<DWORD*>(returnLength)) != FALSE;
}

bool CloseObject(Handle handle) {
  return CloseHandle(handle) != FALSE;
}

}  // namespace plat
