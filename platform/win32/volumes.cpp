// Drives and whole volumes.
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace plat {

uint32_t LogicalDrives() {
  return GetLogicalDrives();
}

uint32_t DriveType(const wchar_t* rootPath) {
  return GetDriveTypeW(rootPath);
}

Handle OpenVolume(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FlushVolume(Handle volume) {
  return FlushFileBuffers(volume) != FALSE;
}

}  // namespace plat
