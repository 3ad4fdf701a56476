// Helpers shared by the simulated platform functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace sim {

// Case-insensitive equality, as the platform compares registry and object names.
bool SameText(const wchar_t* a, const wchar_t* b);

// Index of the named mutex that `name` stands for in `session`, added with no
// holder when new.
size_t FindOrAddMutex(const wchar_t* name, uint32_t session);

// Whether a structured-exception guard is active, and raising a fault in it:
// RaiseFault resumes in the innermost guard and does not return.
bool Guarding();
[[noreturn]] void RaiseFault();

// Simulated handles carry their kind in the top bits and an index below.
enum class HandleKind : uintptr_t {
  Token = 1,
  Mutex = 2,
  Volume = 3,
  Block = 4,
  Module = 5,
  Manager = 6,
  Service = 7,
  Status = 8,
  ChangeEvent = 9
};

inline void* MakeHandle(HandleKind kind, uintptr_t index) {
  return reinterpret_cast<void*>((static_cast<uintptr_t>(kind) << 48) | (index + 1));
}

inline bool IsHandle(const void* handle, HandleKind kind) {
  return (reinterpret_cast<uintptr_t>(handle) >> 48) == static_cast<uintptr_t>(kind);
}

inline uintptr_t HandleIndex(const void* handle) {
  return (reinterpret_cast<uintptr_t>(handle) & ((uintptr_t{1} << 48) - 1)) - 1;
}

}  // namespace sim
