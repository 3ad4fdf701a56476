// Unsigned 32-bit arithmetic that wraps on purpose.
//
// Amounts are unsigned 32-bit figures (KB, MB, percent), and a few of the sums
// and products taken from them can pass 32 bits: shares of very large amounts,
// the spare memory of very large machines, a periodic-boost interval from any
// registry value. There the low 32 bits are the result, as everywhere the
// figures are unsigned 32-bit. These helpers mark those places: the sanitizer
// build treats any other unsigned wrap as an error.
#pragma once

#include <cstdint>

#if defined(__clang__)
#define VELMORA_WRAPS_ON_PURPOSE \
  __attribute__((no_sanitize("unsigned-integer-overflow", "unsigned-shift-base")))
#else
#define VELMORA_WRAPS_ON_PURPOSE
#endif

VELMORA_WRAPS_ON_PURPOSE constexpr uint32_t WrappingAdd(uint32_t a, uint32_t b) {
  return a + b;
}

VELMORA_WRAPS_ON_PURPOSE constexpr uint32_t WrappingMul(uint32_t a, uint32_t b) {
  return a * b;
}
