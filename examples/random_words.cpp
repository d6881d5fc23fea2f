// Draws words from the two generators: ISAAC seeded from a passphrase, and the Mersenne Twister
// MT19937B seeded with its 624 state words given byte by byte.
#include <cstdint>
#include <cstdio>
#include <string>

#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"

int main() {
  // ISAAC takes 256 seed bytes; a seed set byte by byte takes effect at Init.
  morvane::TVRXISAAC isaac;
  const std::string passphrase = "a seed that makes this output repeatable";
  for (int32_t i = 0; i < isaac.SeedSize(); ++i) {
    isaac.SetSeed(i, static_cast<uint8_t>(passphrase[static_cast<size_t>(i) % passphrase.size()]));
  }
  isaac.Init();
  std::printf("ISAAC:   ");
  for (int i = 0; i < 4; ++i) {
    uint32_t w;
    isaac.GetWord32(w);
    std::printf(" %08X", w);
  }
  uint32_t hi, lo;
  isaac.GetWord64(hi, lo);  // lo receives the first word drawn
  std::printf("  64-bit: %08X%08X\n", hi, lo);

  // MT19937B: its 624 seed bytes are its state words; an all-zero state draws only zeros.
  morvane::TVRXMT19937B mt;
  for (int32_t i = 0; i < mt.SeedSize(); ++i) mt.SetSeed(i, static_cast<uint8_t>(i * 7 + 1));
  mt.Init();
  uint32_t four[4];
  mt.GetWord128(four);  // four[0..3] in the order drawn
  std::printf("MT19937B: %08X %08X %08X %08X\n", four[0], four[1], four[2], four[3]);
  return 0;
}
