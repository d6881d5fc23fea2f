#include "morvane/ciphers/internal/DesCore.h"

#include "morvane/framework/Endian.h"

namespace morvane::detail {

namespace {

// Bits are numbered as in FIPS 46-3: bit 1 is the most significant bit of its word.

// clang-format off
// FIPS 46-3 permuted choice 1: the 56 key bits (of 64) that enter the schedule.
inline constexpr std::array<uint8_t, 56> kPC1 = {
  57, 49, 41, 33, 25, 17,  9,  1, 58, 50, 42, 34, 26, 18,
  10,  2, 59, 51, 43, 35, 27, 19, 11,  3, 60, 52, 44, 36,
  63, 55, 47, 39, 31, 23, 15,  7, 62, 54, 46, 38, 30, 22,
  14,  6, 61, 53, 45, 37, 29, 21, 13,  5, 28, 20, 12,  4};

// FIPS 46-3 permuted choice 2: the 48 bits of a round key, from the 56 bits C||D.
inline constexpr std::array<uint8_t, 48> kPC2 = {
  14, 17, 11, 24,  1,  5,  3, 28, 15,  6, 21, 10,
  23, 19, 12,  4, 26,  8, 16,  7, 27, 20, 13,  2,
  41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
  44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

// FIPS 46-3 schedule of left shifts, one entry per round.
inline constexpr std::array<uint8_t, 16> kShifts = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// FIPS 46-3 permutation P of the round function's output.
inline constexpr std::array<uint8_t, 32> kP = {
  16,  7, 20, 21, 29, 12, 28, 17,  1, 15, 23, 26,  5, 18, 31, 10,
   2,  8, 24, 14, 32, 27,  3,  9, 19, 13, 30,  6, 22, 11,  4, 25};

// FIPS 46-3 expansion E: the 48 bits fed to the S-boxes, from the 32 bits of R.
inline constexpr std::array<uint8_t, 48> kE = {
  32,  1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,
   8,  9, 10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
  16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25,
  24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32,  1};

// FIPS 46-3 initial permutation IP.
inline constexpr std::array<uint8_t, 64> kIP = {
  58, 50, 42, 34, 26, 18, 10,  2, 60, 52, 44, 36, 28, 20, 12,  4,
  62, 54, 46, 38, 30, 22, 14,  6, 64, 56, 48, 40, 32, 24, 16,  8,
  57, 49, 41, 33, 25, 17,  9,  1, 59, 51, 43, 35, 27, 19, 11,  3,
  61, 53, 45, 37, 29, 21, 13,  5, 63, 55, 47, 39, 31, 23, 15,  7};

// FIPS 46-3 S-boxes 1 to 8, each 4 rows of 16 entries.
inline constexpr std::array<std::array<uint8_t, 64>, 8> kSBox = {{
  {14,  4, 13,  1,  2, 15, 11,  8,  3, 10,  6, 12,  5,  9,  0,  7,
    0, 15,  7,  4, 14,  2, 13,  1, 10,  6, 12, 11,  9,  5,  3,  8,
    4,  1, 14,  8, 13,  6,  2, 11, 15, 12,  9,  7,  3, 10,  5,  0,
   15, 12,  8,  2,  4,  9,  1,  7,  5, 11,  3, 14, 10,  0,  6, 13},
  {15,  1,  8, 14,  6, 11,  3,  4,  9,  7,  2, 13, 12,  0,  5, 10,
    3, 13,  4,  7, 15,  2,  8, 14, 12,  0,  1, 10,  6,  9, 11,  5,
    0, 14,  7, 11, 10,  4, 13,  1,  5,  8, 12,  6,  9,  3,  2, 15,
   13,  8, 10,  1,  3, 15,  4,  2, 11,  6,  7, 12,  0,  5, 14,  9},
  {10,  0,  9, 14,  6,  3, 15,  5,  1, 13, 12,  7, 11,  4,  2,  8,
   13,  7,  0,  9,  3,  4,  6, 10,  2,  8,  5, 14, 12, 11, 15,  1,
   13,  6,  4,  9,  8, 15,  3,  0, 11,  1,  2, 12,  5, 10, 14,  7,
    1, 10, 13,  0,  6,  9,  8,  7,  4, 15, 14,  3, 11,  5,  2, 12},
  { 7, 13, 14,  3,  0,  6,  9, 10,  1,  2,  8,  5, 11, 12,  4, 15,
   13,  8, 11,  5,  6, 15,  0,  3,  4,  7,  2, 12,  1, 10, 14,  9,
   10,  6,  9,  0, 12, 11,  7, 13, 15,  1,  3, 14,  5,  2,  8,  4,
    3, 15,  0,  6, 10,  1, 13,  8,  9,  4,  5, 11, 12,  7,  2, 14},
  { 2, 12,  4,  1,  7, 10, 11,  6,  8,  5,  3, 15, 13,  0, 14,  9,
   14, 11,  2, 12,  4,  7, 13,  1,  5,  0, 15, 10,  3,  9,  8,  6,
    4,  2,  1, 11, 10, 13,  7,  8, 15,  9, 12,  5,  6,  3,  0, 14,
   11,  8, 12,  7,  1, 14,  2, 13,  6, 15,  0,  9, 10,  4,  5,  3},
  {12,  1, 10, 15,  9,  2,  6,  8,  0, 13,  3,  4, 14,  7,  5, 11,
   10, 15,  4,  2,  7, 12,  9,  5,  6,  1, 13, 14,  0, 11,  3,  8,
    9, 14, 15,  5,  2,  8, 12,  3,  7,  0,  4, 10,  1, 13, 11,  6,
    4,  3,  2, 12,  9,  5, 15, 10, 11, 14,  1,  7,  6,  0,  8, 13},
  { 4, 11,  2, 14, 15,  0,  8, 13,  3, 12,  9,  7,  5, 10,  6,  1,
   13,  0, 11,  7,  4,  9,  1, 10, 14,  3,  5, 12,  2, 15,  8,  6,
    1,  4, 11, 13, 12,  3,  7, 14, 10, 15,  6,  8,  0,  5,  9,  2,
    6, 11, 13,  8,  1,  4, 10,  7,  9,  5,  0, 15, 14,  2,  3, 12},
  {13,  2,  8,  4,  6, 15, 11,  1, 10,  9,  3, 14,  5,  0, 12,  7,
    1, 15, 13,  8, 10,  3,  7,  4, 12,  5,  6, 11,  0, 14,  9,  2,
    7, 11,  4,  1,  9, 12, 14,  2,  0,  6, 10, 13, 15,  3,  5,  8,
    2,  1, 14,  7,  4, 10,  8, 13, 15, 12,  9,  0,  3,  5,  6, 11}}};
// clang-format on

// Bit n (1 = most significant) of a 32-bit or 64-bit word.
constexpr uint32_t Bit32(uint32_t x, int n) {
  return (x >> (32 - n)) & 1;
}
constexpr uint64_t Bit64(uint64_t x, int n) {
  return (x >> (64 - n)) & 1;
}

// S-box s (0 to 7) of a 6-bit input b1..b6 (b1 most significant): row b1b6, column b2..b5.
constexpr uint32_t SBoxOut(int s, uint32_t v) {
  const uint32_t row = ((v >> 4) & 2) | (v & 1);
  const uint32_t col = (v >> 1) & 15;
  return kSBox[s][row * 16 + col];
}

// P applied to a 32-bit word.
constexpr uint32_t PermuteP(uint32_t x) {
  uint32_t out = 0;
  for (int i = 0; i < 32; ++i) out |= Bit32(x, kP[i]) << (31 - i);
  return out;
}

// The round function's tables: S-box s merged with P, in the rotated form (the result rotated
// left by one bit, as L and R are kept). Indexed by a whole byte whose low six bits are the
// S-box input, so that the lookups need no mask.
using TSPTable = std::array<std::array<uint32_t, 256>, 8>;

constexpr TSPTable BuildSP() {
  TSPTable t{};
  for (int s = 0; s < 8; ++s) {
    for (uint32_t v = 0; v < 256; ++v) {
      const uint32_t nibble = SBoxOut(s, v & 63) << (28 - 4 * s);
      t[s][v] = Rotl32(PermuteP(nibble), 1);
    }
  }
  return t;
}

inline constexpr TSPTable kSP = BuildSP();

// Spot checks worked by hand: S1(000000) is 14 = 1110, so bits 1, 2 and 3 go into P, which moves
// them to output bits 9, 17 and 23.
static_assert(kSP[0][0] == Rotl32((1u << (32 - 9)) | (1u << (32 - 17)) | (1u << (32 - 23)), 1));
static_assert(kSP[0][64] == kSP[0][0] && kSP[7][255] == kSP[7][63]);
// S8 row 3 column 15 (input 111111) is 11 = 1011: bits 29, 31, 32 before P.
static_assert(kSP[7][63] == Rotl32(PermuteP(0b1011u), 1));

// The plain FIPS round function f(R, K) for the compile-time checks of the table formulation.
constexpr uint32_t ReferenceF(uint32_t r, uint64_t k48) {
  uint32_t out = 0;
  for (int s = 0; s < 8; ++s) {
    uint32_t v = 0;
    for (int j = 0; j < 6; ++j) {
      const uint32_t e = Bit32(r, kE[6 * s + j]);
      const uint32_t kb = static_cast<uint32_t>((k48 >> (47 - (6 * s + j))) & 1);
      v = (v << 1) | (e ^ kb);
    }
    out |= SBoxOut(s, v) << (28 - 4 * s);
  }
  return PermuteP(out);
}

// Spreads a 48-bit round key (bit 1 first) into the two words of the table formulation: the
// groups of S-boxes 1, 3, 5, 7 in the bytes of word 0 (most significant first), those of
// S-boxes 2, 4, 6, 8 in the bytes of word 1.
constexpr void PackRoundKey(uint64_t k48, uint32_t& w0, uint32_t& w1) {
  w0 = 0;
  w1 = 0;
  for (int s = 0; s < 8; ++s) {
    const auto group = static_cast<uint32_t>((k48 >> (42 - 6 * s)) & 63);
    const int shift = 24 - 8 * (s / 2);
    if (s % 2 == 0) {
      w0 |= group << shift;
    } else {
      w1 |= group << shift;
    }
  }
}

// One half round of the table formulation: Rrot = R rotated left by one; returns f(R, K) in the
// rotated form.
constexpr uint32_t TableF(uint32_t rrot, uint32_t k0, uint32_t k1) {
  const uint32_t a = Rotr32(rrot, 4) ^ k0;
  const uint32_t b = rrot ^ k1;
  return (kSP[0][a >> 24] | kSP[2][(a >> 16) & 0xFF]) |
         (kSP[4][(a >> 8) & 0xFF] | kSP[6][a & 0xFF]) |
         ((kSP[1][b >> 24] | kSP[3][(b >> 16) & 0xFF]) |
          (kSP[5][(b >> 8) & 0xFF] | kSP[7][b & 0xFF]));
}

constexpr bool TableFAgrees(uint32_t r, uint64_t k48) {
  uint32_t k0 = 0, k1 = 0;
  PackRoundKey(k48, k0, k1);
  return TableF(Rotl32(r, 1), k0, k1) == Rotl32(ReferenceF(r, k48), 1);
}
static_assert(TableFAgrees(0x00000000u, 0x000000000000ull));
static_assert(TableFAgrees(0xF0AAF0AAu, 0x1B02EFFC7072ull));  // round 1 of the worked example
static_assert(TableFAgrees(0x80000001u, 0xFFFFFFFFFFFFull));
static_assert(TableFAgrees(0x12345678u, 0x9ABCDEF01234ull));

// IP written out from its FIPS table, to check the exchanges above at compile time.
constexpr uint64_t ReferenceIP(uint64_t x) {
  uint64_t out = 0;
  for (int i = 0; i < 64; ++i) out |= Bit64(x, kIP[i]) << (63 - i);
  return out;
}

constexpr bool IPAgrees(uint64_t x) {
  uint32_t l = static_cast<uint32_t>(x >> 32), r = static_cast<uint32_t>(x);
  DesInitialPermutation(l, r);
  const uint64_t ip = ReferenceIP(x);
  if (l != Rotl32(static_cast<uint32_t>(ip >> 32), 1) || r != Rotl32(static_cast<uint32_t>(ip), 1))
    return false;
  // The final permutation undoes the initial one once the halves are exchanged.
  uint32_t a = r, b = l;
  DesFinalPermutation(a, b);
  return (uint64_t{a} << 32 | b) == x;
}
static_assert(IPAgrees(0x0123456789ABCDEFull));
static_assert(IPAgrees(0x8000000000000001ull));
static_assert(IPAgrees(0xFEDCBA9876543210ull));
static_assert(IPAgrees(0x0000000100000000ull));

// Two or four independent blocks round by round, so that the lookups of each fill the latency of
// the others'.
MORVANE_ALWAYS_INLINE void Crypt2(const uint32_t* k, uint32_t* x) {
  uint32_t l0 = x[0], r0 = x[1], l1 = x[2], r1 = x[3];
  DesInitialPermutation(l0, r0);
  DesInitialPermutation(l1, r1);
  for (int i = 0; i < 32; i += 4) {
    l0 = DesRound(l0, r0, k[i], k[i + 1]);
    l1 = DesRound(l1, r1, k[i], k[i + 1]);
    r0 = DesRound(r0, l0, k[i + 2], k[i + 3]);
    r1 = DesRound(r1, l1, k[i + 2], k[i + 3]);
  }
  DesFinalPermutation(l0, r0);
  DesFinalPermutation(l1, r1);
  x[0] = l0, x[1] = r0, x[2] = l1, x[3] = r1;
}

MORVANE_ALWAYS_INLINE void Crypt4(const uint32_t* k, uint32_t* x) {
  uint32_t l0 = x[0], r0 = x[1], l1 = x[2], r1 = x[3], l2 = x[4], r2 = x[5], l3 = x[6], r3 = x[7];
  DesInitialPermutation(l0, r0);
  DesInitialPermutation(l1, r1);
  DesInitialPermutation(l2, r2);
  DesInitialPermutation(l3, r3);
  for (int i = 0; i < 32; i += 4) {
    l0 = DesRound(l0, r0, k[i], k[i + 1]);
    l1 = DesRound(l1, r1, k[i], k[i + 1]);
    l2 = DesRound(l2, r2, k[i], k[i + 1]);
    l3 = DesRound(l3, r3, k[i], k[i + 1]);
    r0 = DesRound(r0, l0, k[i + 2], k[i + 3]);
    r1 = DesRound(r1, l1, k[i + 2], k[i + 3]);
    r2 = DesRound(r2, l2, k[i + 2], k[i + 3]);
    r3 = DesRound(r3, l3, k[i + 2], k[i + 3]);
  }
  DesFinalPermutation(l0, r0);
  DesFinalPermutation(l1, r1);
  DesFinalPermutation(l2, r2);
  DesFinalPermutation(l3, r3);
  x[0] = l0, x[1] = r0, x[2] = l1, x[3] = r1, x[4] = l2, x[5] = r2, x[6] = l3, x[7] = r3;
}

}  // namespace

const std::array<std::array<uint32_t, 256>, 8> kDesSP = kSP;

void DesKeySchedule(const uint8_t* Key, TDesRoundKeys& Keys) noexcept {
  const uint64_t key = LoadBE64(Key);
  uint32_t c = 0, d = 0;  // 28 bits each
  for (int i = 0; i < 28; ++i) {
    c = (c << 1) | static_cast<uint32_t>(Bit64(key, kPC1[i]));
    d = (d << 1) | static_cast<uint32_t>(Bit64(key, kPC1[28 + i]));
  }
  for (int round = 0; round < 16; ++round) {
    for (int s = 0; s < kShifts[round]; ++s) {
      c = ((c << 1) | (c >> 27)) & 0x0FFFFFFFu;
      d = ((d << 1) | (d >> 27)) & 0x0FFFFFFFu;
    }
    const uint64_t cd = (uint64_t{c} << 28) | d;  // bit 1 of C||D is bit 55 of cd
    uint64_t k48 = 0;
    for (int i = 0; i < 48; ++i) k48 = (k48 << 1) | ((cd >> (56 - kPC2[i])) & 1);
    PackRoundKey(k48, Keys[2 * round], Keys[2 * round + 1]);
  }
}

void DesReverseSchedule(const TDesRoundKeys& Keys, TDesRoundKeys& Reversed) noexcept {
  for (int round = 0; round < 16; ++round) {
    Reversed[2 * round] = Keys[30 - 2 * round];
    Reversed[2 * round + 1] = Keys[31 - 2 * round];
  }
}

void DesCryptWords(const TDesRoundKeys& Keys, uint32_t* X, size_t Count) noexcept {
  for (; Count >= 4; Count -= 4, X += 8) Crypt4(Keys.data(), X);
  for (; Count >= 2; Count -= 2, X += 4) Crypt2(Keys.data(), X);
  if (Count == 1) DesCryptBlock(Keys, X[0], X[1]);
}

}  // namespace morvane::detail
