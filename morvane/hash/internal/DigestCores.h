// The compression cores of the four digests: round functions, step functions, tables and the
// block loops with their CPU dispatch. Internal: the components (morvane/hash/VRX*.h) are the
// public face.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace morvane::detail {

// The auxiliary functions of RFC 1321, section 3.4, in forms with a short dependency on x (the
// word the previous step produced). G's two terms share no bit, so "+" equals the RFC's "or".
constexpr uint32_t MD5F(uint32_t x, uint32_t y, uint32_t z) {
  return z ^ (x & (y ^ z));
}
constexpr uint32_t MD5G(uint32_t x, uint32_t y, uint32_t z) {
  return (y & ~z) + (x & z);
}
constexpr uint32_t MD5H(uint32_t x, uint32_t y, uint32_t z) {
  return (y ^ z) ^ x;
}
constexpr uint32_t MD5I(uint32_t x, uint32_t y, uint32_t z) {
  return y ^ (x | ~z);
}

// One step: a = b + ((a + f(b, c, d) + x + t) <<< s).
template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
constexpr void MD5Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s,
                       uint32_t t) {
  a += x + t;
  a += Fn(b, c, d);
  a = std::rotl(a, s) + b;
}

// Compresses Count consecutive 64-byte blocks into the four state words.
void MD5Blocks(uint32_t* State, const uint8_t* Blocks, size_t Count) noexcept;

// The round functions of FIPS 180-1, section 5 (f(t; B, C, D)); the majority is written with two
// operations on b, the word the previous step produced.
constexpr uint32_t SHAChoose(uint32_t b, uint32_t c, uint32_t d) {
  return d ^ (b & (c ^ d));
}
constexpr uint32_t SHAParity(uint32_t b, uint32_t c, uint32_t d) {
  return b ^ c ^ d;
}
constexpr uint32_t SHAMajority(uint32_t b, uint32_t c, uint32_t d) {
  return (c & d) | (b & (c | d));
}

// Compress Count consecutive 64-byte blocks into the five state words. The portable one expands
// each block's message schedule into Schedule (80 words).
void SHA1BlocksPortable(uint32_t* State, const uint8_t* Blocks, size_t Count,
                        uint32_t* Schedule) noexcept;
// The SHA-extensions twin (it needs no schedule); call it only when SHA1HaveShaNi() is true.
void SHA1BlocksShaNi(uint32_t* State, const uint8_t* Blocks, size_t Count,
                     uint32_t* Schedule = nullptr) noexcept;
// Whether this build holds the SHA-extensions code and the CPU may run it (MORVANE_CPU_MASK=sha
// forbids it).
bool SHA1HaveShaNi() noexcept;
// The implementation chosen once for this process.
void SHA1Blocks(uint32_t* State, const uint8_t* Blocks, size_t Count, uint32_t* Schedule) noexcept;

// clang-format off
// RIPEMD-160 definition (1996), tables r, r', s, s' and the round constants; RIPEMD-128 uses the
// first four rounds of each line.
inline constexpr std::array<uint8_t, 80> kRMDLeftWord = {
     0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15,
     7,  4, 13,  1, 10,  6, 15,  3, 12,  0,  9,  5,  2, 14, 11,  8,
     3, 10, 14,  4,  9, 15,  8,  1,  2,  7,  0,  6, 13, 11,  5, 12,
     1,  9, 11, 10,  0,  8, 12,  4, 13,  3,  7, 15, 14,  5,  6,  2,
     4,  0,  5,  9,  7, 12,  2, 10, 14,  1,  3,  8, 11,  6, 15, 13};
inline constexpr std::array<uint8_t, 80> kRMDRightWord = {
     5, 14,  7,  0,  9,  2, 11,  4, 13,  6, 15,  8,  1, 10,  3, 12,
     6, 11,  3,  7,  0, 13,  5, 10, 14, 15,  8, 12,  4,  9,  1,  2,
    15,  5,  1,  3,  7, 14,  6,  9, 11,  8, 12,  2, 10,  0,  4, 13,
     8,  6,  4,  1,  3, 11, 15,  0,  5, 12,  2, 13,  9,  7, 10, 14,
    12, 15, 10,  4,  1,  5,  8,  7,  6,  2, 13, 14,  0,  3,  9, 11};
inline constexpr std::array<uint8_t, 80> kRMDLeftShift = {
    11, 14, 15, 12,  5,  8,  7,  9, 11, 13, 14, 15,  6,  7,  9,  8,
     7,  6,  8, 13, 11,  9,  7, 15,  7, 12, 15,  9, 11,  7, 13, 12,
    11, 13,  6,  7, 14,  9, 13, 15, 14,  8, 13,  6,  5, 12,  7,  5,
    11, 12, 14, 15, 14, 15,  9,  8,  9, 14,  5,  6,  8,  6,  5, 12,
     9, 15,  5, 11,  6,  8, 13, 12,  5, 12, 13, 14, 11,  8,  5,  6};
inline constexpr std::array<uint8_t, 80> kRMDRightShift = {
     8,  9,  9, 11, 13, 15, 15,  5,  7,  7,  8, 11, 14, 14, 12,  6,
     9, 13, 15,  7, 12,  8,  9, 11,  7,  7, 12,  7,  6, 15, 13, 11,
     9,  7, 15, 11,  8,  6,  6, 14, 12, 13,  5, 14, 13, 13,  7,  5,
    15,  5,  8, 11, 14, 14,  6, 14,  6,  9, 12,  9, 12,  5, 15,  8,
     8,  5, 12,  9, 12,  5, 14,  6,  8, 13,  6,  5, 15, 13, 11, 11};
inline constexpr std::array<uint32_t, 5> kRMD160LeftK = {
    0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xA953FD4E};
inline constexpr std::array<uint32_t, 5> kRMD160RightK = {
    0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x7A6D76E9, 0x00000000};
inline constexpr std::array<uint32_t, 4> kRMD128LeftK = {
    0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC};
inline constexpr std::array<uint32_t, 4> kRMD128RightK = {
    0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x00000000};
// clang-format on

// The boolean functions f1 to f5 of RIPEMD-160 (f2 and f4 in forms with one operation fewer on
// the newest word; the values are those of the definition).
constexpr uint32_t RMDF(uint32_t x, uint32_t y, uint32_t z) {
  return x ^ y ^ z;
}
constexpr uint32_t RMDG(uint32_t x, uint32_t y, uint32_t z) {
  return z ^ (x & (y ^ z));
}
constexpr uint32_t RMDH(uint32_t x, uint32_t y, uint32_t z) {
  return (x | ~y) ^ z;
}
constexpr uint32_t RMDI(uint32_t x, uint32_t y, uint32_t z) {
  return (y & ~z) + (x & z);
}
constexpr uint32_t RMDJ(uint32_t x, uint32_t y, uint32_t z) {
  return x ^ (y | ~z);
}

// The RIPEMD-160 step: a = ((a + f(b, c, d) + x + k) <<< s) + e; c = c <<< 10.
template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
constexpr void RMD160Step(uint32_t& a, uint32_t b, uint32_t& c, uint32_t d, uint32_t e, uint32_t x,
                          int s, uint32_t k) {
  a += x + k;
  a += Fn(b, c, d);
  a = std::rotl(a, s) + e;
  c = std::rotl(c, 10);
}

// Compresses Count consecutive 64-byte blocks into the five state words.
void RMD160Blocks(uint32_t* State, const uint8_t* Blocks, size_t Count) noexcept;

// The RIPEMD-128 step: a = (a + f(b, c, d) + x + k) <<< s.
template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
constexpr void RMD128Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s,
                          uint32_t k) {
  a += x + k;
  a += Fn(b, c, d);
  a = std::rotl(a, s);
}

// Compresses Count consecutive 64-byte blocks into the four state words.
void RMD128Blocks(uint32_t* State, const uint8_t* Blocks, size_t Count) noexcept;

}  // namespace morvane::detail
