// The simulated program's own path, text comparison and console output.
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
  // Cut to the buffer, always terminated, as GetModuleFileNameW does.
  const size_t copied = std::min<size_t>(path.size(), capacity - 1);
  std::wmemcpy(buffer, path.c_str(), copied);
  buffer[copied] = 0;
  return static_cast<uint32_t>(copied);
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
