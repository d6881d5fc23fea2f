// The DES block core (FIPS 46-3): key schedule and the block transform on one or many 64-bit
// blocks. Its table lookups depend on the key and the data (no constant-time claim).
//
// A block is two words L and R, read most significant byte first (block byte 0 holds DES input
// bits 1 to 8); a key is 8 bytes, key byte 0 holding key bits 1 to 8. Parity bits are ignored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace morvane::detail {

// The 16 round keys, two words per round in round order, each 48-bit key spread into eight
// 6-bit groups aligned for the table lookups of the round function.
using TDesRoundKeys = std::array<uint32_t, 32>;

// The DES key schedule (PC-1, the left shifts, PC-2) of an 8-byte key.
void DesKeySchedule(const uint8_t* Key, TDesRoundKeys& Keys) noexcept;

// The same round keys in the reverse round order: the schedule of decryption.
void DesReverseSchedule(const TDesRoundKeys& Keys, TDesRoundKeys& Reversed) noexcept;

// The three steps of the block transform. Between them L and R are in the rotated form of the
// table-driven formulation (each rotated left by one bit).
void DesInitialPermutation(uint32_t& L, uint32_t& R) noexcept;
void DesRounds(const TDesRoundKeys& Keys, uint32_t& L, uint32_t& R) noexcept;
void DesFinalPermutation(uint32_t& L, uint32_t& R) noexcept;

// The whole transform of one block: encryption with a forward schedule, decryption with a
// reversed one.
void DesCryptBlock(const TDesRoundKeys& Keys, uint32_t& L, uint32_t& R) noexcept;

// Count blocks held as word pairs (L0, R0, L1, R1, ...), in place, several at a time.
void DesCryptWords(const TDesRoundKeys& Keys, uint32_t* X, size_t Count) noexcept;

// The core as the chaining-mode engine takes it: a view of a component's two schedules.
struct TDesCore {
  static constexpr size_t kWords = 2;
  const TDesRoundKeys* Forward;
  const TDesRoundKeys* Reversed;

  void Encrypt(uint32_t* x) const noexcept { DesCryptBlock(*Forward, x[0], x[1]); }
  void Decrypt(uint32_t* x) const noexcept { DesCryptBlock(*Reversed, x[0], x[1]); }
  void EncryptBlocks(uint32_t* x, size_t n) const noexcept { DesCryptWords(*Forward, x, n); }
  void DecryptBlocks(uint32_t* x, size_t n) const noexcept { DesCryptWords(*Reversed, x, n); }
};

}  // namespace morvane::detail
