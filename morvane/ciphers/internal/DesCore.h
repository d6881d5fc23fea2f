// The DES block core (FIPS 46-3): key schedule and the block transform on one or many 64-bit
// blocks. Its table lookups depend on the key and the data (no constant-time claim).
//
// A block is two words L and R, read most significant byte first (block byte 0 holds DES input
// bits 1 to 8); a key is 8 bytes, key byte 0 holding key bits 1 to 8. Parity bits are ignored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "morvane/ciphers/DesKey.h"
#include "morvane/ciphers/internal/BlockCoreSupport.h"

namespace morvane::detail {

// The DES key schedule (PC-1, the left shifts, PC-2) of an 8-byte key.
void DesKeySchedule(const uint8_t* Key, TDesRoundKeys& Keys) noexcept;

// The same round keys in the reverse round order: the schedule of decryption.
void DesReverseSchedule(const TDesRoundKeys& Keys, TDesRoundKeys& Reversed) noexcept;

// The round function's tables (FIPS 46-3 S-boxes merged with P, in the rotated form), derived
// at compile time in DesCore.cpp.
extern const std::array<std::array<uint32_t, 256>, 8> kDesSP;

// The three steps of the block transform. Between them L and R are in the rotated form of the
// table-driven formulation (each rotated left by one bit).

// The initial permutation by exchanges of bit groups.
constexpr void DesInitialPermutation(uint32_t& L, uint32_t& R) noexcept {
  uint32_t l = L, r = R;
  uint32_t t = ((l >> 4) ^ r) & 0x0F0F0F0Fu;
  r ^= t;
  l ^= t << 4;
  t = ((l >> 16) ^ r) & 0x0000FFFFu;
  r ^= t;
  l ^= t << 16;
  t = ((r >> 2) ^ l) & 0x33333333u;
  l ^= t;
  r ^= t << 2;
  t = ((r >> 8) ^ l) & 0x00FF00FFu;
  l ^= t;
  r ^= t << 8;
  r = Rotl32(r, 1);
  t = (l ^ r) & 0xAAAAAAAAu;
  l ^= t;
  r ^= t;
  L = Rotl32(l, 1);
  R = r;
}

// The inverse of the initial permutation, including the exchange of the halves after the last
// round (the rounds leave them unexchanged).
constexpr void DesFinalPermutation(uint32_t& L, uint32_t& R) noexcept {
  uint32_t hi = Rotr32(R, 1), lo = L;
  uint32_t t = (lo ^ hi) & 0xAAAAAAAAu;
  lo ^= t;
  hi ^= t;
  lo = Rotr32(lo, 1);
  t = ((lo >> 8) ^ hi) & 0x00FF00FFu;
  hi ^= t;
  lo ^= t << 8;
  t = ((lo >> 2) ^ hi) & 0x33333333u;
  hi ^= t;
  lo ^= t << 2;
  t = ((hi >> 16) ^ lo) & 0x0000FFFFu;
  lo ^= t;
  hi ^= t << 16;
  t = ((hi >> 4) ^ lo) & 0x0F0F0F0Fu;
  lo ^= t;
  hi ^= t << 4;
  L = hi;
  R = lo;
}

// One round: L xor f(R, K), R in the rotated form. The lookups of S-boxes 2, 4, 6, 8 need no
// rotation of R, so they are ready first and go into L first; each group of four lookups
// combines as a tree.
MORVANE_ALWAYS_INLINE uint32_t DesRound(uint32_t l, uint32_t r, uint32_t k0, uint32_t k1) {
  const auto& sp = kDesSP;
  const uint32_t b = r ^ k1;
  const uint32_t a = Rotr32(r, 4) ^ k0;
  const uint32_t fb =
      Pin(sp[1][b >> 24] | sp[3][(b >> 16) & 0xFF]) | Pin(sp[5][(b >> 8) & 0xFF] | sp[7][b & 0xFF]);
  const uint32_t fa =
      Pin(sp[0][a >> 24] | sp[2][(a >> 16) & 0xFF]) | Pin(sp[4][(a >> 8) & 0xFF] | sp[6][a & 0xFF]);
  return Pin(l ^ fb) ^ fa;
}

// The 16 rounds with the round keys in the order given.
MORVANE_ALWAYS_INLINE void DesRounds(const TDesRoundKeys& Keys, uint32_t& L, uint32_t& R) {
  const uint32_t* k = Keys.data();
  uint32_t l = L, r = R;
  for (int i = 0; i < 32; i += 4) {
    l = DesRound(l, r, k[i], k[i + 1]);
    r = DesRound(r, l, k[i + 2], k[i + 3]);
  }
  L = l;
  R = r;
}

// The whole transform of one block: encryption with a forward schedule, decryption with a
// reversed one.
MORVANE_ALWAYS_INLINE void DesCryptBlock(const TDesRoundKeys& Keys, uint32_t& L, uint32_t& R) {
  uint32_t l = L, r = R;
  DesInitialPermutation(l, r);
  DesRounds(Keys, l, r);
  DesFinalPermutation(l, r);
  L = l;
  R = r;
}

// Count blocks held as word pairs (L0, R0, L1, R1, ...), in place, several at a time.
void DesCryptWords(const TDesRoundKeys& Keys, uint32_t* X, size_t Count) noexcept;

// The core as the chaining-mode engine takes it: a view of a component's two schedules.
struct TDesCore {
  static constexpr size_t kWords = 2;
  const TDesRoundKeys* Forward;
  const TDesRoundKeys* Reversed;

  // One block: inlined into the serial mode loops, so the state stays in registers.
  MORVANE_ALWAYS_INLINE void Encrypt(uint32_t* x) const noexcept {
    DesCryptBlock(*Forward, x[0], x[1]);
  }
  MORVANE_ALWAYS_INLINE void Decrypt(uint32_t* x) const noexcept {
    DesCryptBlock(*Reversed, x[0], x[1]);
  }
  void EncryptBlocks(uint32_t* x, size_t n) const noexcept { DesCryptWords(*Forward, x, n); }
  void DecryptBlocks(uint32_t* x, size_t n) const noexcept { DesCryptWords(*Reversed, x, n); }
};

}  // namespace morvane::detail
