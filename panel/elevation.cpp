#include "panel/elevation.h"

// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include "platform/handles.h"

namespace {

// BCM_SETSHIELD, which the headers give only for newer targets than ours.
constexpr UINT kButtonSetShield = BCM_FIRST + 0x000C;

}  // namespace

bool ProcessIsElevated() {
  plat::UniqueObject token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    return false;
  }
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

bool StartElevated(HWND owner, const std::wstring& parameters, uint32_t& error) {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) {
    error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.hwnd = owner;
  info.lpVerb = L"runas";
  info.lpFile = path;
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) {
    return true;
  }
  error = GetLastError();
  return false;
}

void ShowShield(HWND button, bool shown) {
  SendMessageW(button, kButtonSetShield, 0, shown ? TRUE : FALSE);
}
