#include "common/quoted_path.h"

#include <algorithm>
#include <cwchar>

namespace {

// Copies at most capacity - 1 characters and the terminating zero.
void CopyCut(wchar_t* out, const wchar_t* text, uint32_t capacity) {
  std::wcsncpy(out, text, capacity - 1);
  out[capacity - 1] = 0;
}

}  // namespace

void QuotedPath(const wchar_t* path, wchar_t* out, uint32_t capacity) {
  if (std::wcschr(path, L' ') == nullptr || capacity < 3) {
    CopyCut(out, path, capacity);
    return;
  }
  out[0] = L'"';
  CopyCut(out + 1, path, capacity - 2);
  const size_t length = std::wcslen(out);
  out[length] = L'"';
  out[length + 1] = 0;
}

void UnquotedPath(const wchar_t* stored, wchar_t* out, uint32_t capacity) {
  const size_t length = std::wcslen(stored);
  if (length >= 2 && stored[0] == L'"' && stored[length - 1] == L'"') {
    const size_t inner = std::min<size_t>(length - 2, capacity - 1);
    std::wmemcpy(out, stored + 1, inner);
    out[inner] = 0;
  } else {
    CopyCut(out, stored, capacity);
  }
}
