// The MD5 digest component (RFC 1321): the digest of a string, stream or file as 16 raw bytes in
// the published order.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "morvane/hash/VRXDigest.h"

namespace morvane {

namespace detail {

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

// RFC 1321: little-endian words and length, initial words A, B, C, D of section 3.3.
struct TMD5Algorithm {
  static constexpr int kWords = 4;
  static constexpr bool kBigEndian = false;
  static constexpr std::array<uint32_t, 4> kInitial = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                       0x10325476};
  using TScratch = TNoScratch;
  static void Compress(uint32_t* State, const uint8_t* Blocks, size_t Count, TScratch&) noexcept {
    MD5Blocks(State, Blocks, Count);
  }
};

}  // namespace detail

class TVRXMD5;
// The type of the four auxiliary functions.
using TMD5AtomicFunction = uint32_t (TVRXMD5::*)(uint32_t x, uint32_t y, uint32_t z) const;

class TVRXMD5 : public TVRXDigest<detail::TMD5Algorithm> {
 public:
  explicit TVRXMD5(TComponent* AOwner = nullptr) : TVRXDigest(AOwner) {}
  std::string ClassName() const override { return "TVRXMD5"; }

  // Loads the initial chaining words A, B, C, D of RFC 1321.
  void MD5Init() noexcept { InitState(); }
  // Compresses one 64-byte block into the chaining state.
  void MD5Compress(const uint8_t* Block) noexcept { CompressState(Block, 1); }

  uint32_t F(uint32_t x, uint32_t y, uint32_t z) const { return detail::MD5F(x, y, z); }
  uint32_t G(uint32_t x, uint32_t y, uint32_t z) const { return detail::MD5G(x, y, z); }
  uint32_t H(uint32_t x, uint32_t y, uint32_t z) const { return detail::MD5H(x, y, z); }
  uint32_t I(uint32_t x, uint32_t y, uint32_t z) const { return detail::MD5I(x, y, z); }

  // The step functions of the four rounds; each updates a.
  void FF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s,
          uint32_t ac) const {
    detail::MD5Step<detail::MD5F>(a, b, c, d, x, s, ac);
  }
  void GG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s,
          uint32_t ac) const {
    detail::MD5Step<detail::MD5G>(a, b, c, d, x, s, ac);
  }
  void HH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s,
          uint32_t ac) const {
    detail::MD5Step<detail::MD5H>(a, b, c, d, x, s, ac);
  }
  void II(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s,
          uint32_t ac) const {
    detail::MD5Step<detail::MD5I>(a, b, c, d, x, s, ac);
  }
};

}  // namespace morvane
