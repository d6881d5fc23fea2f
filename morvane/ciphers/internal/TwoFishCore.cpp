#include "morvane/ciphers/internal/TwoFishCore.h"

#include "morvane/ciphers/VRXTwoFishTools.h"

namespace morvane::detail {

namespace {

// clang-format off
// Twofish paper, section 4.3.5: the 4-bit tables t0..t3 of q0 and of q1.
inline constexpr uint8_t kQT[2][4][16] = {
  {{0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
   {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
   {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
   {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}},
  {{0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
   {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
   {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
   {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}}};
// clang-format on

// The permutation q built from its four 4-bit tables (Twofish paper, section 4.3.5).
constexpr std::array<uint8_t, 256> BuildQ(int which) {
  std::array<uint8_t, 256> q{};
  const auto& t = kQT[which];
  auto ror4 = [](uint32_t v) { return ((v >> 1) | (v << 3)) & 0xF; };
  for (uint32_t x = 0; x < 256; ++x) {
    const uint32_t a0 = x >> 4, b0 = x & 0xF;
    const uint32_t a1 = a0 ^ b0, b1 = (a0 ^ ror4(b0) ^ (8 * a0)) & 0xF;
    const uint32_t a2 = t[0][a1], b2 = t[1][b1];
    const uint32_t a3 = a2 ^ b2, b3 = (a2 ^ ror4(b2) ^ (8 * a2)) & 0xF;
    const uint32_t a4 = t[2][a3], b4 = t[3][b3];
    q[x] = static_cast<uint8_t>(16 * b4 + a4);
  }
  return q;
}

inline constexpr std::array<uint8_t, 256> kQ0 = BuildQ(0);
inline constexpr std::array<uint8_t, 256> kQ1 = BuildQ(1);

// The first entries of q0 and q1 as the paper's reference tables list them.
static_assert(kQ0[0] == 0xA9 && kQ0[1] == 0x67 && kQ0[255] == 0xE0);
static_assert(kQ1[0] == 0x75 && kQ1[1] == 0xF3 && kQ1[255] == 0x91);

// The MDS matrix of the paper (rows i, columns c): entry 01, 5B or EF, as the multiplier.
inline constexpr uint8_t kMDS[4][4] = {{0x01, 0xEF, 0x5B, 0x5B},
                                       {0x5B, 0xEF, 0xEF, 0x01},
                                       {0xEF, 0x5B, 0x01, 0xEF},
                                       {0xEF, 0x01, 0xEF, 0x5B}};

constexpr uint32_t MulMDS(uint8_t entry, uint32_t v) {
  return entry == 0x01 ? Mx_1(v) : entry == 0x5B ? Mx_X(v) : Mx_Y(v);
}

// BuildMDSTables: table c holds, in byte i, entry (i, c) of the matrix times q1[v] for tables 0
// and 2 and q0[v] for tables 1 and 3.
constexpr std::array<std::array<uint32_t, 256>, 4> BuildMDSTables() {
  std::array<std::array<uint32_t, 256>, 4> m{};
  for (int c = 0; c < 4; ++c) {
    for (uint32_t v = 0; v < 256; ++v) {
      const uint32_t q = (c % 2 == 0) ? kQ1[v] : kQ0[v];
      uint32_t w = 0;
      for (int i = 0; i < 4; ++i) w |= (MulMDS(kMDS[i][c], q) & 0xFF) << (8 * i);
      m[c][v] = w;
    }
  }
  return m;
}

inline constexpr std::array<std::array<uint32_t, 256>, 4> kMDSTables = BuildMDSTables();

// Column 0 of the matrix is (01, 5B, EF, EF), applied to q1[0] = 75.
static_assert(kMDSTables[0][0] == (0x75u | (Mx_X(0x75) & 0xFF) << 8 | (Mx_Y(0x75) & 0xFF) << 16 |
                                   (Mx_Y(0x75) & 0xFF) << 24));
// Column 3 is (5B, 01, EF, 5B), applied to q0[1] = 67.
static_assert(kMDSTables[3][1] == ((Mx_X(0x67) & 0xFF) | 0x67u << 8 | (Mx_Y(0x67) & 0xFF) << 16 |
                                   (Mx_X(0x67) & 0xFF) << 24));

inline uint32_t B(uint32_t x, int n) {
  return (x >> (8 * n)) & 0xFF;
}

// The key-dependent layers of h for one byte lane, before the last q (which the MDS table
// holds). L[j] is the key word of layer j.
inline uint32_t InnerLane(int lane, uint32_t v, const uint32_t* L, int k) {
  // Permutations applied per layer and lane, from the paper's definition of h: the layer with
  // L[3] (k = 4), the layer with L[2] (k >= 3), then the layers with L[1] and L[0].
  static constexpr bool kQ1Layer[4][4] = {// lane: 0      1      2      3
                                          {true, false, false, true},   // before xor with L[3]
                                          {true, true, false, false},   // before xor with L[2]
                                          {false, true, false, true},   // before xor with L[1]
                                          {false, false, true, true}};  // before xor with L[0]
  const auto q = [](bool one, uint32_t x) -> uint32_t { return one ? kQ1[x] : kQ0[x]; };
  if (k == 4) v = q(kQ1Layer[0][lane], v) ^ B(L[3], lane);
  if (k >= 3) v = q(kQ1Layer[1][lane], v) ^ B(L[2], lane);
  v = q(kQ1Layer[2][lane], v) ^ B(L[1], lane);
  v = q(kQ1Layer[3][lane], v) ^ B(L[0], lane);
  return v;
}

// Two blocks interleaved round by round, so that the lookups of one fill the latency of the
// other.
MORVANE_ALWAYS_INLINE void Encrypt2(const TTwoFishKey& Key, int R, uint32_t* x, uint32_t* y) {
  const uint32_t* K = Key.SubKeys.data();
  const auto& S = Key.S;
  uint32_t a = x[0] ^ K[0], b = x[1] ^ K[1], c = x[2] ^ K[2], d = x[3] ^ K[3];
  uint32_t e = y[0] ^ K[0], f = y[1] ^ K[1], g = y[2] ^ K[2], h = y[3] ^ K[3];
  int r = 0;
  for (; r + 2 <= R; r += 2) {
    TwoFishEncRound(K, S, a, b, c, d, r);
    TwoFishEncRound(K, S, e, f, g, h, r);
    TwoFishEncRound(K, S, c, d, a, b, r + 1);
    TwoFishEncRound(K, S, g, h, e, f, r + 1);
  }
  if (r < R) {
    TwoFishEncRound(K, S, a, b, c, d, r);
    TwoFishEncRound(K, S, e, f, g, h, r);
    x[0] = a ^ K[4], x[1] = b ^ K[5], x[2] = c ^ K[6], x[3] = d ^ K[7];
    y[0] = e ^ K[4], y[1] = f ^ K[5], y[2] = g ^ K[6], y[3] = h ^ K[7];
  } else {
    x[0] = c ^ K[4], x[1] = d ^ K[5], x[2] = a ^ K[6], x[3] = b ^ K[7];
    y[0] = g ^ K[4], y[1] = h ^ K[5], y[2] = e ^ K[6], y[3] = f ^ K[7];
  }
}

MORVANE_ALWAYS_INLINE void Decrypt2(const TTwoFishKey& Key, int R, uint32_t* x, uint32_t* y) {
  const uint32_t* K = Key.SubKeys.data();
  const auto& S = Key.S;
  uint32_t a, b, c, d, e, f, g, h;
  int r = R - 1;
  if (R % 2 == 1) {
    a = x[0] ^ K[4], b = x[1] ^ K[5], c = x[2] ^ K[6], d = x[3] ^ K[7];
    e = y[0] ^ K[4], f = y[1] ^ K[5], g = y[2] ^ K[6], h = y[3] ^ K[7];
    TwoFishDecRound(K, S, a, b, c, d, r);
    TwoFishDecRound(K, S, e, f, g, h, r);
    --r;
  } else {
    c = x[0] ^ K[4], d = x[1] ^ K[5], a = x[2] ^ K[6], b = x[3] ^ K[7];
    g = y[0] ^ K[4], h = y[1] ^ K[5], e = y[2] ^ K[6], f = y[3] ^ K[7];
  }
  for (; r >= 1; r -= 2) {
    TwoFishDecRound(K, S, c, d, a, b, r);
    TwoFishDecRound(K, S, g, h, e, f, r);
    TwoFishDecRound(K, S, a, b, c, d, r - 1);
    TwoFishDecRound(K, S, e, f, g, h, r - 1);
  }
  x[0] = a ^ K[0], x[1] = b ^ K[1], x[2] = c ^ K[2], x[3] = d ^ K[3];
  y[0] = e ^ K[0], y[1] = f ^ K[1], y[2] = g ^ K[2], y[3] = h ^ K[3];
}

// Four blocks interleaved round by round: enough independent lookups to keep the load units
// busy (the engine hands over eight blocks at a time).
MORVANE_ALWAYS_INLINE void Encrypt4(const TTwoFishKey& Key, int R, uint32_t* x) {
  const uint32_t* K = Key.SubKeys.data();
  const auto& S = Key.S;
  uint32_t a0 = x[0] ^ K[0], b0 = x[1] ^ K[1], c0 = x[2] ^ K[2], d0 = x[3] ^ K[3];
  uint32_t a1 = x[4] ^ K[0], b1 = x[5] ^ K[1], c1 = x[6] ^ K[2], d1 = x[7] ^ K[3];
  uint32_t a2 = x[8] ^ K[0], b2 = x[9] ^ K[1], c2 = x[10] ^ K[2], d2 = x[11] ^ K[3];
  uint32_t a3 = x[12] ^ K[0], b3 = x[13] ^ K[1], c3 = x[14] ^ K[2], d3 = x[15] ^ K[3];
  int r = 0;
  for (; r + 2 <= R; r += 2) {
    TwoFishEncRound(K, S, a0, b0, c0, d0, r);
    TwoFishEncRound(K, S, a1, b1, c1, d1, r);
    TwoFishEncRound(K, S, a2, b2, c2, d2, r);
    TwoFishEncRound(K, S, a3, b3, c3, d3, r);
    TwoFishEncRound(K, S, c0, d0, a0, b0, r + 1);
    TwoFishEncRound(K, S, c1, d1, a1, b1, r + 1);
    TwoFishEncRound(K, S, c2, d2, a2, b2, r + 1);
    TwoFishEncRound(K, S, c3, d3, a3, b3, r + 1);
  }
  if (r < R) {
    TwoFishEncRound(K, S, a0, b0, c0, d0, r);
    TwoFishEncRound(K, S, a1, b1, c1, d1, r);
    TwoFishEncRound(K, S, a2, b2, c2, d2, r);
    TwoFishEncRound(K, S, a3, b3, c3, d3, r);
    x[0] = a0 ^ K[4], x[1] = b0 ^ K[5], x[2] = c0 ^ K[6], x[3] = d0 ^ K[7];
    x[4] = a1 ^ K[4], x[5] = b1 ^ K[5], x[6] = c1 ^ K[6], x[7] = d1 ^ K[7];
    x[8] = a2 ^ K[4], x[9] = b2 ^ K[5], x[10] = c2 ^ K[6], x[11] = d2 ^ K[7];
    x[12] = a3 ^ K[4], x[13] = b3 ^ K[5], x[14] = c3 ^ K[6], x[15] = d3 ^ K[7];
  } else {
    x[0] = c0 ^ K[4], x[1] = d0 ^ K[5], x[2] = a0 ^ K[6], x[3] = b0 ^ K[7];
    x[4] = c1 ^ K[4], x[5] = d1 ^ K[5], x[6] = a1 ^ K[6], x[7] = b1 ^ K[7];
    x[8] = c2 ^ K[4], x[9] = d2 ^ K[5], x[10] = a2 ^ K[6], x[11] = b2 ^ K[7];
    x[12] = c3 ^ K[4], x[13] = d3 ^ K[5], x[14] = a3 ^ K[6], x[15] = b3 ^ K[7];
  }
}

MORVANE_ALWAYS_INLINE void Decrypt4(const TTwoFishKey& Key, int R, uint32_t* x) {
  const uint32_t* K = Key.SubKeys.data();
  const auto& S = Key.S;
  uint32_t a0, b0, c0, d0, a1, b1, c1, d1, a2, b2, c2, d2, a3, b3, c3, d3;
  int r = R - 1;
  if (R % 2 == 1) {
    a0 = x[0] ^ K[4], b0 = x[1] ^ K[5], c0 = x[2] ^ K[6], d0 = x[3] ^ K[7];
    a1 = x[4] ^ K[4], b1 = x[5] ^ K[5], c1 = x[6] ^ K[6], d1 = x[7] ^ K[7];
    a2 = x[8] ^ K[4], b2 = x[9] ^ K[5], c2 = x[10] ^ K[6], d2 = x[11] ^ K[7];
    a3 = x[12] ^ K[4], b3 = x[13] ^ K[5], c3 = x[14] ^ K[6], d3 = x[15] ^ K[7];
    TwoFishDecRound(K, S, a0, b0, c0, d0, r);
    TwoFishDecRound(K, S, a1, b1, c1, d1, r);
    TwoFishDecRound(K, S, a2, b2, c2, d2, r);
    TwoFishDecRound(K, S, a3, b3, c3, d3, r);
    --r;
  } else {
    c0 = x[0] ^ K[4], d0 = x[1] ^ K[5], a0 = x[2] ^ K[6], b0 = x[3] ^ K[7];
    c1 = x[4] ^ K[4], d1 = x[5] ^ K[5], a1 = x[6] ^ K[6], b1 = x[7] ^ K[7];
    c2 = x[8] ^ K[4], d2 = x[9] ^ K[5], a2 = x[10] ^ K[6], b2 = x[11] ^ K[7];
    c3 = x[12] ^ K[4], d3 = x[13] ^ K[5], a3 = x[14] ^ K[6], b3 = x[15] ^ K[7];
  }
  for (; r >= 1; r -= 2) {
    TwoFishDecRound(K, S, c0, d0, a0, b0, r);
    TwoFishDecRound(K, S, c1, d1, a1, b1, r);
    TwoFishDecRound(K, S, c2, d2, a2, b2, r);
    TwoFishDecRound(K, S, c3, d3, a3, b3, r);
    TwoFishDecRound(K, S, a0, b0, c0, d0, r - 1);
    TwoFishDecRound(K, S, a1, b1, c1, d1, r - 1);
    TwoFishDecRound(K, S, a2, b2, c2, d2, r - 1);
    TwoFishDecRound(K, S, a3, b3, c3, d3, r - 1);
  }
  x[0] = a0 ^ K[0], x[1] = b0 ^ K[1], x[2] = c0 ^ K[2], x[3] = d0 ^ K[3];
  x[4] = a1 ^ K[0], x[5] = b1 ^ K[1], x[6] = c1 ^ K[2], x[7] = d1 ^ K[3];
  x[8] = a2 ^ K[0], x[9] = b2 ^ K[1], x[10] = c2 ^ K[2], x[11] = d2 ^ K[3];
  x[12] = a3 ^ K[0], x[13] = b3 ^ K[1], x[14] = c3 ^ K[2], x[15] = d3 ^ K[3];
}

}  // namespace

const std::array<uint8_t, 256> kTwoFishQ0 = kQ0;
const std::array<uint8_t, 256> kTwoFishQ1 = kQ1;
const std::array<std::array<uint32_t, 256>, 4> kTwoFishMDS = kMDSTables;

uint32_t TwoFishH(uint32_t X, const uint32_t* K, int k) noexcept {
  if (k != 3 && k != 4) k = 2;
  uint32_t out = 0;
  for (int lane = 0; lane < 4; ++lane) out ^= kMDSTables[lane][InnerLane(lane, B(X, lane), K, k)];
  return out;
}

void TwoFishKeySchedule(const uint32_t* KeyWords, const uint32_t* SBoxKeys, int k,
                        TTwoFishKey& Key) noexcept {
  if (k != 3 && k != 4) k = 2;
  const uint32_t even[4] = {KeyWords[0], KeyWords[2], k > 2 ? KeyWords[4] : 0,
                            k > 3 ? KeyWords[6] : 0};
  const uint32_t odd[4] = {KeyWords[1], KeyWords[3], k > 2 ? KeyWords[5] : 0,
                           k > 3 ? KeyWords[7] : 0};
  for (uint32_t i = 0; i < 20; ++i) {
    const uint32_t a = TwoFishH(i * 0x02020202u, even, k);
    const uint32_t b = Rotl32(TwoFishH(i * 0x02020202u + 0x01010101u, odd, k), 8);
    Key.SubKeys[2 * i] = a + b;
    Key.SubKeys[2 * i + 1] = Rotl32(a + 2 * b, 9);
  }
  for (int lane = 0; lane < 4; ++lane) {
    for (uint32_t v = 0; v < 256; ++v) {
      Key.S[lane][v] = kMDSTables[lane][InnerLane(lane, v, SBoxKeys, k)];
    }
  }
}

void TwoFishEncryptWords(const TTwoFishKey& Key, int Rounds, uint32_t* X, size_t Count) noexcept {
  for (; Count >= 4; Count -= 4, X += 16) Encrypt4(Key, Rounds, X);
  for (; Count >= 2; Count -= 2, X += 8) Encrypt2(Key, Rounds, X, X + 4);
  if (Count == 1) TwoFishEncrypt(Key, Rounds, X);
}

void TwoFishDecryptWords(const TTwoFishKey& Key, int Rounds, uint32_t* X, size_t Count) noexcept {
  for (; Count >= 4; Count -= 4, X += 16) Decrypt4(Key, Rounds, X);
  for (; Count >= 2; Count -= 2, X += 8) Decrypt2(Key, Rounds, X, X + 4);
  if (Count == 1) TwoFishDecrypt(Key, Rounds, X);
}

}  // namespace morvane::detail
