// The simulated program's own path, text comparison and console output.
#include <cstdint>
#include <cwchar>
#include <cwctype>

#include "platform/sim/sim_machine.h"

namespace plat {

uint32_t ProgramPath(wchar_t* buffer, uint32_t capacity) {
  const std::wstring& path = sim::machine().programPath;
  if (sim::machine().Faulted(sim::Call::ProgramPath)) {
    sim::machine().lastError = kErrorAccessDenied;
    return 0;
  }
  if (capacity == 0) {
    return 0;
  }
  // As GetModuleFileNameW does: a path that does not fit is cut to the buffer
  // and terminated, and the result is then the buffer's size, with
  // ERROR_INSUFFICIENT_BUFFER.
  if (path.size() >= capacity) {
    std::wmemcpy(buffer, path.c_str(), capacity - 1);
    buffer[capacity - 1] = 0;
    sim::machine().lastError = kErrorInsufficientBuffer;
    return capacity;
  }
  std::wmemcpy(buffer, path.c_str(), path.size());
  buffer[path.size()] = 0;
  sim::machine().lastError = kErrorSuccess;
  return static_cast<uint32_t>(path.size());
}

int CompareNoCase(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    const auto ca = std::towlower(static_cast<wint_t>(*a));
    const auto cb = std::towlower(static_cast<wint_t>(*b));
    if (ca != cb) {
      return ca < cb ? -1 : 1;
    }
    if (ca == 0) {
      return 0;
    }
  }
}

void PrintOut(const wchar_t* text) {
  sim::machine().output += text;
}

}  // namespace plat
