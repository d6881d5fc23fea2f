// Helpers of the block cores' inner loops.
#pragma once

#include <cstdint>

#if defined(__GNUC__)
#define MORVANE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define MORVANE_ALWAYS_INLINE inline
#endif

namespace morvane::detail {

// Pins a value in a register so that the compiler keeps the shape of an expression: GCC's
// reassociation would otherwise turn the balanced lookup trees of the round functions back into
// serial chains, which lengthens the chain from one round to the next.
MORVANE_ALWAYS_INLINE uint32_t Pin(uint32_t x) {
#if defined(__GNUC__)
  __asm__("" : "+r"(x));
#endif
  return x;
}

constexpr uint32_t Rotl32(uint32_t x, int n) {
  return (x << n) | (x >> ((32 - n) & 31));
}
constexpr uint32_t Rotr32(uint32_t x, int n) {
  return (x >> n) | (x << ((32 - n) & 31));
}

}  // namespace morvane::detail
