// ISAAC, Bob Jenkins' generator ("ISAAC", 1996; the published rand.c with RANDSIZL = 8):
// 32-bit words, a 256-word state, initialised as by its randinit with the seed flag set.
// Results are made 256 at a time and handed out from the end of each block, the order of the
// published rand() macro. Not a vetted cryptographic generator for new designs.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "morvane/random/VRXRand.h"

namespace morvane {

class TVRXISAAC : public TVRXRandomGenerator {
 public:
  static constexpr int32_t RandSize = 256;

  // Seed all zero, Init done: ready to draw.
  explicit TVRXISAAC(TComponent* AOwner = nullptr);
  // Wipes the seed and the whole state: they are as secret as a key.
  ~TVRXISAAC() override;
  std::string ClassName() const override { return "TVRXISAAC"; }

  uint8_t GetSeed(int32_t Index) const override;
  void SetSeed(int32_t Index, uint8_t Value) override;
  uint32_t GetSeedWord(int32_t Index) const override;
  void SetSeedWord(int32_t Index, uint32_t Value) override;
  void Init() override;
  void GetWord32(uint32_t& Value) override { Value = NextWord32(); }
  int32_t SeedSize() const override { return RandSize; }

  // The draw of GetWord32 without the virtual call, for code that knows the concrete type.
  uint32_t NextWord32() noexcept {
    if (FCount == 0) [[unlikely]]
      Generate();
    --FCount;
    return FResults[static_cast<size_t>(FCount)];
  }
  // The uniform random bit generator call, inline: the same draw as GetWord32.
  result_type operator()() noexcept { return NextWord32(); }

 private:
  using TBlock = std::array<uint32_t, RandSize>;

  // One round of the published isaac(): 256 fresh results, FCount = 256.
  void Generate() noexcept;

  int32_t FCount = 0;  // results of FResults not yet handed out
  TBlock FResults{};   // randrsl
  TBlock FSeed{};      // one seed byte per word
  TBlock FMem{};       // mm
  uint32_t FA = 0, FB = 0, FC = 0;
};

}  // namespace morvane
