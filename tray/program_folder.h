// The folder of the running program, from which the tray starts its companion
// files.
#pragma once

#include <cstdint>

// Characters of a program path, zero included.
inline constexpr uint32_t kProgramPathCapacity = 260;

// The drive and directory of `modulePath` with the trailing backslash: the path
// up to and including its last backslash or slash (empty when it has none).
void ProgramFolder(const wchar_t* modulePath, wchar_t* folder, uint32_t capacity);
