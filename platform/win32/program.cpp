// The program's own path, text comparison and console output.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "platform/platform.h"

namespace plat {

uint32_t ProgramPath(wchar_t* buffer, uint32_t capacity) {
  // A successful call need not touch the last error: clear it, so that
  // afterwards it tells about this call only.
  SetLastError(ERROR_SUCCESS);
  return GetModuleFileNameW(nullptr, buffer, capacity);
}

int CompareNoCase(const wchar_t* a, const wchar_t* b) {
  return lstrcmpiW(a, b);
}

void PrintOut(const wchar_t* text) {
  std::fputws(text, stdout);
  // Each message shows at once, also when the output goes to a file or a pipe.
  std::fflush(stdout);
}

}  // namespace plat
