#include "morvane/ciphers/VRXTwoFishTools.h"

#include <algorithm>

namespace morvane {

// Worked from the field definitions: x / x is 1, so dividing 1 by x gives the reduction
// constant itself; 01 times the matrix entries gives the entries.
static_assert(LFSR1(1) == 0xB4 && LFSR2(1) == 0x5A && LFSR2(2) == 0xB4);
static_assert(Mx_X(1) == 0x5B && Mx_Y(1) == 0xEF && Mx_1(0xA7) == 0xA7);

int32_t ParseKey(int32_t nBits, std::string_view Key, std::span<uint32_t> Words) {
  std::fill(Words.begin(), Words.end(), 0u);
  if (Key.empty()) return 16;
  const int32_t bits = std::clamp(nBits, 128, 256);
  const int32_t n = bits / 8;
  const size_t len = Key.size();
  uint32_t word = 0;
  for (int32_t i = 0; i < n; ++i) {
    word = (word << 8) | static_cast<uint8_t>(Key[static_cast<size_t>(i) % len]);
    if (i % 4 == 3) {
      const auto index = static_cast<size_t>(i / 4);
      if (index < Words.size()) Words[index] = BSwap(word);
      word = 0;
    }
  }
  return n;
}

}  // namespace morvane
