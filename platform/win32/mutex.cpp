// Named mutexes. The caller reads the last error straight after creation to
// learn whether the mutex already existed, so nothing follows the call here.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

Handle CreateNamedMutexW(bool initialOwner, const wchar_t* name) {
  return ::CreateMutexW(nullptr, initialOwner ? TRUE : FALSE, name);
}

Handle CreateNamedMutexA(bool initialOwner, const char* name) {
  return ::CreateMutexA(nullptr, initialOwner ? TRUE : FALSE, name);
}

}  // namespace plat
