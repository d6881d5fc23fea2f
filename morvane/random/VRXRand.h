// The base of the pseudo-random generator components: a seed set byte by byte and made current
// by Init, and draws of 32, 64 and 128 bits; the wider draws are built here from 32-bit ones.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "morvane/framework/Component.h"

namespace morvane {

class TVRXRandomGenerator : public TComponent {
 public:
  explicit TVRXRandomGenerator(TComponent* AOwner = nullptr);
  std::string ClassName() const override { return "TVRXRandomGenerator"; }

  // Seed bytes by zero-based index (0 .. SeedSize() - 1). An index outside raises ERangeError
  // naming it, and neither the seed nor the sequence changes. A new seed byte takes effect at
  // the next Init.
  virtual uint8_t GetSeed(int32_t Index) const = 0;
  virtual void SetSeed(int32_t Index, uint8_t Value) = 0;
  // Restarts the sequence from the current seed.
  virtual void Init();
  // The next word of the sequence.
  virtual void GetWord32(uint32_t& Value) = 0;
  // Two draws through GetWord32: the first word drawn goes into Value2, the second into Value1.
  virtual void GetWord64(uint32_t& Value1, uint32_t& Value2);
  // Four draws through GetWord32, stored at positions 0, 1, 2 and 3 in the order drawn.
  virtual void GetWord128(std::span<uint32_t, 4> Values);
  // The same for four consecutive words given by their address; a null address raises
  // ERangeError and draws nothing.
  void GetWord128(uint32_t* Values);
  // The number of seed bytes.
  virtual int32_t SeedSize() const = 0;

 protected:
  // Raises ERangeError naming Index unless 0 <= Index < Size.
  static void CheckSeedIndex(int32_t Index, int32_t Size);
};

}  // namespace morvane
