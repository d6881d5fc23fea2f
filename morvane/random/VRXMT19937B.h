// The Mersenne Twister MT19937 (Matsumoto and Nishimura, ACM TOMACS 8(1), 1998: N = 624,
// M = 397, matrix 0x9908B0DF, the standard tempering), seeded directly: the 624 seed words (a
// byte each through SetSeed, all 32 bits through SetSeedWord, SetSeedWords or Seed) are the
// initial state words, with no seeding routine. Each block of 624 tempered results is handed
// out last first. An all-zero seed gives an all-zero sequence. Not a cryptographic generator.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "morvane/random/VRXRand.h"

namespace morvane {

class TVRXMT19937B : public TVRXRandomGenerator {
 public:
  static constexpr int32_t StateSize = 624;

  // Seed all zero, Init done: ready to draw (zeros until a nonzero seed is set and Init runs).
  explicit TVRXMT19937B(TComponent* AOwner = nullptr);
  // Wipes the seed and the whole state: they are as secret as a key.
  ~TVRXMT19937B() override;
  std::string ClassName() const override { return "TVRXMT19937B"; }

  uint8_t GetSeed(int32_t Index) const override;
  void SetSeed(int32_t Index, uint8_t Value) override;
  uint32_t GetSeedWord(int32_t Index) const override;
  void SetSeedWord(int32_t Index, uint32_t Value) override;
  void Init() override;
  void GetWord32(uint32_t& Value) override { Value = NextWord32(); }
  int32_t SeedSize() const override { return StateSize; }

  // The draw of GetWord32 without the virtual call, for code that knows the concrete type.
  uint32_t NextWord32() noexcept {
    if (FCount == 0) [[unlikely]]
      Generate();
    --FCount;
    return FOutput[static_cast<size_t>(FCount)];
  }
  // The uniform random bit generator call, inline: the same draw as GetWord32.
  result_type operator()() noexcept { return NextWord32(); }

 private:
  using TBlock = std::array<uint32_t, StateSize>;

  // Twists the state once and tempers the new block into FOutput; FCount = 624.
  void Generate() noexcept;

  int32_t FCount = 0;  // results of FOutput not yet handed out
  TBlock FOutput{};    // tempered results of the current block
  TBlock FSeed{};      // one seed byte per word
  TBlock FState{};     // the untempered state (mt[] of the reference code)
};

}  // namespace morvane
