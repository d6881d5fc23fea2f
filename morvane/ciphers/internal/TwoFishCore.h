// The Twofish block core (Schneier et al., 1998): the function h, the key schedule, and the
// block transform with 2 to 16 rounds on one or many 128-bit blocks. Its table lookups depend on
// the key and the data (no constant-time claim).
//
// Blocks are in the paper's form: word j holds block bytes 4j..4j+3, the first least
// significant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "morvane/ciphers/TwoFishKey.h"
#include "morvane/ciphers/internal/BlockCoreSupport.h"

namespace morvane::detail {

// q0 and q1, the fixed 8-bit permutations, and the four MDS tables: table c maps a byte v to
// column c of the MDS matrix times q(v) (q1 for tables 0 and 2, q0 for 1 and 3), so that the
// last permutation of h and the matrix product are one lookup per byte lane. Built at compile
// time and never written.
extern const std::array<uint8_t, 256> kTwoFishQ0;
extern const std::array<uint8_t, 256> kTwoFishQ1;
extern const std::array<std::array<uint32_t, 256>, 4> kTwoFishMDS;

// The function h with the key words K[0..k-1] (k 2, 3 or 4; any other k acts as 2).
uint32_t TwoFishH(uint32_t X, const uint32_t* K, int k) noexcept;

// The key schedule of the first 8k bytes of the key, given as words (the first byte least
// significant), and of its S-box key words (SBoxKeys[0] from the last 64-bit piece of the key,
// as the paper orders the vector S). k is 2, 3 or 4.
void TwoFishKeySchedule(const uint32_t* KeyWords, const uint32_t* SBoxKeys, int k,
                        TTwoFishKey& Key) noexcept;

// ---- The rounds. The halves are not exchanged between rounds: round r changes (c, d) when r
// is even and (a, b) when it is odd, and the output undoes the exchange after the last round.

using TTwoFishTables = std::array<std::array<uint32_t, 256>, 4>;

// g of x, and g of x rotated left by 8 without the rotation; the lookups combine as a tree.
MORVANE_ALWAYS_INLINE uint32_t TwoFishG0(const TTwoFishTables& S, uint32_t x) {
  return Pin(S[0][x & 0xFF] ^ S[1][(x >> 8) & 0xFF]) ^ Pin(S[2][(x >> 16) & 0xFF] ^ S[3][x >> 24]);
}
MORVANE_ALWAYS_INLINE uint32_t TwoFishG1(const TTwoFishTables& S, uint32_t x) {
  return Pin(S[0][x >> 24] ^ S[1][x & 0xFF]) ^ Pin(S[2][(x >> 8) & 0xFF] ^ S[3][(x >> 16) & 0xFF]);
}

// Encryption round r: (a, b) feed the function F that changes (c, d). In a chain of rounds b is
// ready a step before a (its last operation is an xor, a's a rotation), so the round keys are
// added to g(b) while g(a) is still being looked up.
MORVANE_ALWAYS_INLINE void TwoFishEncRound(const uint32_t* K, const TTwoFishTables& S, uint32_t a,
                                           uint32_t b, uint32_t& c, uint32_t& d, int r) {
  const uint32_t t1 = TwoFishG1(S, b);
  const uint32_t u0 = Pin(t1 + K[8 + 2 * r]);
  const uint32_t u1 = Pin(2 * t1 + K[9 + 2 * r]);
  const uint32_t t0 = TwoFishG0(S, a);
  c = Rotr32(c ^ (t0 + u0), 1);
  d = Rotl32(d, 1) ^ (t0 + u1);
}

// The inverse of encryption round r.
MORVANE_ALWAYS_INLINE void TwoFishDecRound(const uint32_t* K, const TTwoFishTables& S, uint32_t a,
                                           uint32_t b, uint32_t& c, uint32_t& d, int r) {
  const uint32_t t1 = TwoFishG1(S, b);
  const uint32_t u0 = Pin(t1 + K[8 + 2 * r]);
  const uint32_t u1 = Pin(2 * t1 + K[9 + 2 * r]);
  const uint32_t t0 = TwoFishG0(S, a);
  c = Rotl32(c, 1) ^ (t0 + u0);
  d = Rotr32(d ^ (t0 + u1), 1);
}

// One block in place, with Rounds rounds (2 to 16). The block words are pinned in general
// registers: in a serial mode the block is the chain, and the compiler would otherwise whiten it
// in a vector register and move it across, which puts two domain crossings on every block's path.
MORVANE_ALWAYS_INLINE void TwoFishEncryptRounds(const TTwoFishKey& Key, int Rounds, uint32_t* X) {
  const uint32_t* K = Key.SubKeys.data();
  const auto& S = Key.S;
  uint32_t a = Pin(X[0]) ^ K[0], b = Pin(X[1]) ^ K[1], c = Pin(X[2]) ^ K[2], d = Pin(X[3]) ^ K[3];
  int r = 0;
  for (; r + 2 <= Rounds; r += 2) {
    TwoFishEncRound(K, S, a, b, c, d, r);
    TwoFishEncRound(K, S, c, d, a, b, r + 1);
  }
  if (r < Rounds) {
    TwoFishEncRound(K, S, a, b, c, d, r);
    X[0] = a ^ K[4], X[1] = b ^ K[5], X[2] = c ^ K[6], X[3] = d ^ K[7];
  } else {
    X[0] = c ^ K[4], X[1] = d ^ K[5], X[2] = a ^ K[6], X[3] = b ^ K[7];
  }
}

// The usual sixteen rounds get a body of their own, unrolled: the round keys become fixed
// offsets and a serial mode's block loop keeps no round counter across blocks.
template <size_t... P>
MORVANE_ALWAYS_INLINE void TwoFishEncryptPairs(const TTwoFishKey& Key, uint32_t* X,
                                               std::index_sequence<P...>) {
  const uint32_t* K = Key.SubKeys.data();
  const auto& S = Key.S;
  uint32_t a = Pin(X[0]) ^ K[0], b = Pin(X[1]) ^ K[1], c = Pin(X[2]) ^ K[2], d = Pin(X[3]) ^ K[3];
  ((TwoFishEncRound(K, S, a, b, c, d, static_cast<int>(2 * P)),
    TwoFishEncRound(K, S, c, d, a, b, static_cast<int>(2 * P + 1))),
   ...);
  X[0] = c ^ K[4], X[1] = d ^ K[5], X[2] = a ^ K[6], X[3] = b ^ K[7];
}

MORVANE_ALWAYS_INLINE void TwoFishEncrypt(const TTwoFishKey& Key, int Rounds, uint32_t* X) {
  if (Rounds == 16) {
    TwoFishEncryptPairs(Key, X, std::make_index_sequence<8>{});
  } else {
    TwoFishEncryptRounds(Key, Rounds, X);
  }
}

MORVANE_ALWAYS_INLINE void TwoFishDecrypt(const TTwoFishKey& Key, int Rounds, uint32_t* X) {
  const uint32_t* K = Key.SubKeys.data();
  const auto& S = Key.S;
  uint32_t a, b, c, d;
  int r = Rounds - 1;
  if (Rounds % 2 == 1) {
    a = X[0] ^ K[4], b = X[1] ^ K[5], c = X[2] ^ K[6], d = X[3] ^ K[7];
    TwoFishDecRound(K, S, a, b, c, d, r);
    --r;
  } else {
    c = X[0] ^ K[4], d = X[1] ^ K[5], a = X[2] ^ K[6], b = X[3] ^ K[7];
  }
  for (; r >= 1; r -= 2) {
    TwoFishDecRound(K, S, c, d, a, b, r);
    TwoFishDecRound(K, S, a, b, c, d, r - 1);
  }
  X[0] = a ^ K[0], X[1] = b ^ K[1], X[2] = c ^ K[2], X[3] = d ^ K[3];
}

// Count blocks of four words each, in place, several at a time.
void TwoFishEncryptWords(const TTwoFishKey& Key, int Rounds, uint32_t* X, size_t Count) noexcept;
void TwoFishDecryptWords(const TTwoFishKey& Key, int Rounds, uint32_t* X, size_t Count) noexcept;

// The core as the chaining-mode engine takes it: blocks in the paper's (little-endian) form.
struct TTwoFishCore {
  static constexpr size_t kWords = 4;
  static constexpr bool kLittleEndianForm = true;
  const TTwoFishKey* Key;
  int Rounds;

  // One block: inlined into the serial mode loops, so the state stays in registers.
  MORVANE_ALWAYS_INLINE void Encrypt(uint32_t* x) const noexcept {
    TwoFishEncrypt(*Key, Rounds, x);
  }
  MORVANE_ALWAYS_INLINE void Decrypt(uint32_t* x) const noexcept {
    TwoFishDecrypt(*Key, Rounds, x);
  }
  void EncryptBlocks(uint32_t* x, size_t n) const noexcept {
    TwoFishEncryptWords(*Key, Rounds, x, n);
  }
  void DecryptBlocks(uint32_t* x, size_t n) const noexcept {
    TwoFishDecryptWords(*Key, Rounds, x, n);
  }
};

}  // namespace morvane::detail
