// The RIPEMD-160 digest component (Dobbertin, Bosselaers, Preneel, 1996): the digest of a string,
// stream or file as 20 raw bytes in the published order. Its two lines run over the same block
// and do not depend on each other until the final combination, so they are interleaved step by
// step.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "morvane/hash/VRXDigest.h"

namespace morvane {

namespace detail {

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

// Little-endian words and length, initial words h0 to h4 of the definition.
struct TRMD160Algorithm {
  static constexpr int kWords = 5;
  static constexpr bool kBigEndian = false;
  static constexpr std::array<uint32_t, 5> kInitial = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                       0x10325476, 0xC3D2E1F0};
  using TScratch = TNoScratch;
  static void Compress(uint32_t* State, const uint8_t* Blocks, size_t Count, TScratch&) noexcept {
    RMD160Blocks(State, Blocks, Count);
  }
};

}  // namespace detail

class TVRXRIPEMD160 : public TVRXDigest<detail::TRMD160Algorithm> {
 public:
  explicit TVRXRIPEMD160(TComponent* AOwner = nullptr) : TVRXDigest(AOwner) {}
  std::string ClassName() const override { return "TVRXRIPEMD160"; }

  // Loads the five initial words h0 to h4.
  void MDInit() noexcept { InitState(); }
  // Compresses one 64-byte block into the chaining state.
  void MDCompress(const uint8_t* Block) noexcept { CompressState(Block, 1); }

  uint32_t F(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDF(x, y, z); }
  uint32_t G(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDG(x, y, z); }
  uint32_t H(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDH(x, y, z); }
  uint32_t I(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDI(x, y, z); }
  uint32_t J(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDJ(x, y, z); }

  // The steps of the left line (rounds 1 to 5) and of the right line (FFF in round 5 to JJJ in
  // round 1), each with its round's function and constant.
  void FF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
          int32_t s) const;
  void GG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
          int32_t s) const;
  void HH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
          int32_t s) const;
  void II(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
          int32_t s) const;
  void JJ(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
          int32_t s) const;
  void FFF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
           int32_t s) const;
  void GGG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
           int32_t s) const;
  void HHH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
           int32_t s) const;
  void III(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
           int32_t s) const;
  void JJJ(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x,
           int32_t s) const;
};

}  // namespace morvane
