#include "tray/program_folder.h"

#include <cwchar>

void ProgramFolder(const wchar_t* modulePath, wchar_t* folder, uint32_t capacity) {
  size_t length = 0;
  for (size_t i = 0; modulePath[i] != 0; ++i) {
    if (modulePath[i] == L'\\' || modulePath[i] == L'/') {
      length = i + 1;
    }
  }
  if (length > capacity - 1) {
    length = capacity - 1;
  }
  std::wmemcpy(folder, modulePath, length);
  folder[length] = 0;
}
