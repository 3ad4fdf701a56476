// Program paths as the registry stores them: in double quotes when they contain
// a blank, so that a path such as C:\Program Files\... cannot be read as the
// shorter program C:\Program.
#pragma once

#include <cstdint>

// Copies `path` into `out` (capacity characters, zero included), quoted when it
// contains a blank; cut to fit.
void QuotedPath(const wchar_t* path, wchar_t* out, uint32_t capacity);

// Copies `stored` into `out` without its surrounding double quotes, if any.
void UnquotedPath(const wchar_t* stored, wchar_t* out, uint32_t capacity);
