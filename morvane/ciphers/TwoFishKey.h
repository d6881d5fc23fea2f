// The key schedule of the Twofish component as it keeps it: what its header needs of the block
// core, without the core's inline rounds.
#pragma once

#include <array>
#include <cstdint>

namespace morvane::detail {

// What one key schedule makes: the 40 whitening and round keys, and the function g folded with
// the S-box key words into four full tables (g(x) = S[0][x0] ^ S[1][x1] ^ S[2][x2] ^ S[3][x3]).
struct TTwoFishKey {
  std::array<uint32_t, 40> SubKeys;
  std::array<std::array<uint32_t, 256>, 4> S;
};

// The core as the chaining-mode engine takes it (defined with the rounds).
struct TTwoFishCore;

}  // namespace morvane::detail
