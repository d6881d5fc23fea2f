// The RIPEMD-128 digest component, the 128-bit variant published with RIPEMD-160: the digest of a
// string, stream or file as 16 raw bytes in the published order. Its two lines are interleaved
// as in RIPEMD-160.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "morvane/hash/VRXRMD.h"

namespace morvane {

namespace detail {

// Little-endian words and length, initial words h0 to h3 of the definition.
struct TRMD128Algorithm {
  static constexpr int kWords = 4;
  static constexpr bool kBigEndian = false;
  static constexpr std::array<uint32_t, 4> kInitial = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                       0x10325476};
  using TScratch = TNoScratch;
  static void Compress(uint32_t* State, const uint8_t* Blocks, size_t Count, TScratch&) noexcept;
};

}  // namespace detail

class TVRXRIPEMD128 : public TVRXDigest<detail::TRMD128Algorithm> {
 public:
  explicit TVRXRIPEMD128(TComponent* AOwner = nullptr) : TVRXDigest(AOwner) {}
  std::string ClassName() const override { return "TVRXRIPEMD128"; }

  // Loads the four initial words h0 to h3.
  void MDInit() noexcept { InitState(); }
  // Compresses one 64-byte block into the chaining state.
  void MDCompress(const uint8_t* Block) noexcept { CompressState(Block, 1); }

  uint32_t F(uint32_t x, uint32_t y, uint32_t z) const;
  uint32_t G(uint32_t x, uint32_t y, uint32_t z) const;
  uint32_t H(uint32_t x, uint32_t y, uint32_t z) const;
  uint32_t I(uint32_t x, uint32_t y, uint32_t z) const;

  // The steps of the left line (rounds 1 to 4) and of the right line (FFF in round 4 to III in
  // round 1), each with its round's function and constant.
  void FF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const;
  void GG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const;
  void HH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const;
  void II(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const;
  void FFF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const;
  void GGG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const;
  void HHH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const;
  void III(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const;
};

}  // namespace morvane
