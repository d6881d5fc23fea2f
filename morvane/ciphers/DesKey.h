// The key schedule of the DES component as it keeps it: what its header needs of the block
// core, without the core's inline rounds.
#pragma once

#include <array>
#include <cstdint>

namespace morvane::detail {

// The 16 round keys, two words per round in round order, each 48-bit key spread into eight
// 6-bit groups aligned for the table lookups of the round function.
using TDesRoundKeys = std::array<uint32_t, 32>;

// The core as the chaining-mode engine takes it (defined with the rounds).
struct TDesCore;

}  // namespace morvane::detail
