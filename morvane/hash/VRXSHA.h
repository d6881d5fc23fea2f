// The SHA-1 digest component (FIPS 180-1): the digest of a string, stream or file as 20 raw bytes
// in the published order. The compression uses the CPU's SHA extensions when it has them (chosen
// at run time) and a portable twin that gives the same bytes otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "morvane/cipher/VRXCipher.h"

namespace morvane {

namespace detail {

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

}  // namespace detail

// Which SHA-1 compression this process runs: "sha-ni" or "portable".
std::string_view SHA1Implementation() noexcept;

class TVRXSHA : public TCustomVRXHash {
 public:
  explicit TVRXSHA(TComponent* AOwner = nullptr);
  ~TVRXSHA() override;
  std::string ClassName() const override { return "TVRXSHA"; }

  // Loads the initial values H0 to H4 of FIPS 180-1.
  void SHAInit() noexcept;
  // Compresses one 64-byte block into the chaining state.
  void SHACompress(const uint8_t* Block) noexcept {
    detail::SHA1Blocks(FHash.data(), Block, 1, FSchedule.data());
  }

  // f for steps 0-19, 20-39, 40-59 and 60-79; G and I are the same function.
  uint32_t F(uint32_t b, uint32_t c, uint32_t d) const { return detail::SHAChoose(b, c, d); }
  uint32_t G(uint32_t b, uint32_t c, uint32_t d) const { return detail::SHAParity(b, c, d); }
  uint32_t H(uint32_t b, uint32_t c, uint32_t d) const { return detail::SHAMajority(b, c, d); }
  uint32_t I(uint32_t b, uint32_t c, uint32_t d) const { return detail::SHAParity(b, c, d); }

 protected:
  void StartEncryption(uint8_t* LeadingData) override;
  void EndEncryption(uint8_t* TrailingData) override;
  void EncryptBuffer() override;
  // A digest cannot be reversed: decryption produces nothing.
  void DecryptBuffer() override {}

 private:
  std::array<uint32_t, 5> FHash{};
  // The message schedule W0..W79 of the block being compressed (portable path); nothing in it
  // carries over from one block to the next.
  std::array<uint32_t, 80> FSchedule{};
};

}  // namespace morvane
