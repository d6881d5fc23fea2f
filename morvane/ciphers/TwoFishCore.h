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

// What one key schedule makes: the 40 whitening and round keys, and the function g folded with
// the S-box key words into four full tables (g(x) = S[0][x0] ^ S[1][x1] ^ S[2][x2] ^ S[3][x3]).
struct TTwoFishKey {
  std::array<uint32_t, 40> SubKeys;
  std::array<std::array<uint32_t, 256>, 4> S;
};

// The key schedule of the first 8k bytes of the key, given as words (the first byte least
// significant), and of its S-box key words (SBoxKeys[0] from the last 64-bit piece of the key,
// as the paper orders the vector S). k is 2, 3 or 4.
void TwoFishKeySchedule(const uint32_t* KeyWords, const uint32_t* SBoxKeys, int k,
                        TTwoFishKey& Key) noexcept;

// One block in place, with Rounds rounds (2 to 16).
void TwoFishEncrypt(const TTwoFishKey& Key, int Rounds, uint32_t* X) noexcept;
void TwoFishDecrypt(const TTwoFishKey& Key, int Rounds, uint32_t* X) noexcept;

// Count blocks of four words each, in place, several at a time.
void TwoFishEncryptWords(const TTwoFishKey& Key, int Rounds, uint32_t* X, size_t Count) noexcept;
void TwoFishDecryptWords(const TTwoFishKey& Key, int Rounds, uint32_t* X, size_t Count) noexcept;

// The core as the chaining-mode engine takes it: blocks in the paper's (little-endian) form.
struct TTwoFishCore {
  static constexpr size_t kWords = 4;
  static constexpr bool kLittleEndianForm = true;
  const TTwoFishKey* Key;
  int Rounds;

  void Encrypt(uint32_t* x) const noexcept { TwoFishEncrypt(*Key, Rounds, x); }
  void Decrypt(uint32_t* x) const noexcept { TwoFishDecrypt(*Key, Rounds, x); }
  void EncryptBlocks(uint32_t* x, size_t n) const noexcept {
    TwoFishEncryptWords(*Key, Rounds, x, n);
  }
  void DecryptBlocks(uint32_t* x, size_t n) const noexcept {
    TwoFishDecryptWords(*Key, Rounds, x, n);
  }
};

}  // namespace morvane::detail
