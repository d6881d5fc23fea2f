// The SHA-1 digest component (FIPS 180-1): the digest of a string, stream or file as 20 raw bytes
// in the published order. The compression uses the CPU's SHA extensions when it has them (chosen
// at run time) and a portable twin that gives the same bytes otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "morvane/hash/VRXDigest.h"

namespace morvane {

namespace detail {

// FIPS 180-1: big-endian words and length, initial values H0 to H4; the portable compression
// keeps the message schedule (80 words) in the component.
struct TSHA1Algorithm {
  static constexpr int kWords = 5;
  static constexpr bool kBigEndian = true;
  static constexpr std::array<uint32_t, 5> kInitial = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                       0x10325476, 0xC3D2E1F0};
  using TScratch = std::array<uint32_t, 80>;
  static void Compress(uint32_t* State, const uint8_t* Blocks, size_t Count,
                       TScratch& Schedule) noexcept;
};

}  // namespace detail

// Which SHA-1 compression this process runs: "sha-ni" or "portable".
std::string_view SHA1Implementation() noexcept;

// The message schedule of the block being compressed (FSchedule, W0..W79) is the template's
// working memory; nothing in it carries over from one block to the next.
class TVRXSHA : public TVRXDigest<detail::TSHA1Algorithm> {
 public:
  explicit TVRXSHA(TComponent* AOwner = nullptr) : TVRXDigest(AOwner) {}
  std::string ClassName() const override { return "TVRXSHA"; }

  // Loads the initial values H0 to H4 of FIPS 180-1.
  void SHAInit() noexcept { InitState(); }
  // Compresses one 64-byte block into the chaining state.
  void SHACompress(const uint8_t* Block) noexcept { CompressState(Block, 1); }

  // f for steps 0-19, 20-39, 40-59 and 60-79; G and I are the same function.
  uint32_t F(uint32_t b, uint32_t c, uint32_t d) const;
  uint32_t G(uint32_t b, uint32_t c, uint32_t d) const;
  uint32_t H(uint32_t b, uint32_t c, uint32_t d) const;
  uint32_t I(uint32_t b, uint32_t c, uint32_t d) const;
};

}  // namespace morvane
