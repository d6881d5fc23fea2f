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

// RFC 1321: little-endian words and length, initial words A, B, C, D of section 3.3.
struct TMD5Algorithm {
  static constexpr int kWords = 4;
  static constexpr bool kBigEndian = false;
  static constexpr std::array<uint32_t, 4> kInitial = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                       0x10325476};
  using TScratch = TNoScratch;
  static void Compress(uint32_t* State, const uint8_t* Blocks, size_t Count, TScratch&) noexcept;
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

  uint32_t F(uint32_t x, uint32_t y, uint32_t z) const;
  uint32_t G(uint32_t x, uint32_t y, uint32_t z) const;
  uint32_t H(uint32_t x, uint32_t y, uint32_t z) const;
  uint32_t I(uint32_t x, uint32_t y, uint32_t z) const;

  // The step functions of the four rounds; each updates a.
  void FF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s,
          uint32_t ac) const;
  void GG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s,
          uint32_t ac) const;
  void HH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s,
          uint32_t ac) const;
  void II(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s,
          uint32_t ac) const;
};

}  // namespace morvane
