// Version, binding by name and the native system-information calls.
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace plat {

static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the extended version record is 284 bytes");
static_assert(sizeof(OSVERSIONINFOW) == 276, "the plain version record is 276 bytes");

bool ReadOsMajorVersion(uint32_t recordSize, uint32_t& majorVersion) {
  // Always the larger record, so that either size announced fits in it.
  OSVERSIONINFOEXW record{};
  record.dwOSVersionInfoSize = recordSize;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  BOOL const ok = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&record));
#pragma GCC diagnostic pop
  if (!ok) {
    return false;
  }
  majorVersion = record.dwMajorVersion;
  return true;
}

ModuleHandle FindModule(const wchar_t* name) {
  return GetModuleHandleW(name);
}

ProcAddress FindProc(ModuleHandle module, const char* name) {
  return reinterpret_cast<ProcAddress>(GetProcAddress(static_cast<HMODULE>(module), name));
}

namespace {

// The status an unbound entry point gives: STATUS_NOT_IMPLEMENTED.
constexpr int32_t kStatusNotImplemented = static_cast<int32_t>(0xC0000002u);

using NtQuerySystemInformationCall = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using NtSetSystemInformationCall = LONG(NTAPI*)(ULONG, PVOID, ULONG);

static_assert(sizeof(ULONG) == sizeof(uint32_t), "ULONG is 32 bits on Windows");

}  // namespace

int32_t QuerySystemInformation(ProcAddress bound, uint32_t infoClass, void* record, uint32_t length,
                               uint32_t* returnedLength) {
  if (bound == nullptr) {
    return kStatusNotImplemented;
  }
  auto const call = reinterpret_cast<NtQuerySystemInformationCall>(bound);
  return call(infoClass, record, length, reinterpret_cast<PULONG>(returnedLength));
}

int32_t SetSystemInformation(ProcAddress bound, uint32_t infoClass, void* record, uint32_t length) {
  if (bound == nullptr) {
    return kStatusNotImplemented;
  }
  auto const call = reinterpret_cast<NtSetSystemInformationCall>(bound);
  return call(infoClass, record, length);
}

}  // namespace plat
