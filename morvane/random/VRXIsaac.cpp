#include "morvane/random/VRXIsaac.h"

#include "morvane/framework/SecureWipe.h"

namespace morvane {

namespace {

constexpr uint32_t kGoldenRatio = 0x9E3779B9u;

// The value unchanged, but opaque to the optimiser, so that it cannot fold a sum back into the
// order that lengthens the round's chain of dependent lookups (see Generate).
inline uint32_t Opaque(uint32_t v) noexcept {
#if defined(__GNUC__)
  __asm__("" : "+r"(v));
#endif
  return v;
}

// The mix of the published randinit, on a..h in that order.
// clang-format off
constexpr void Mix(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t& f,
                   uint32_t& g, uint32_t& h) noexcept {
  a ^= b << 11; d += a; b += c;
  b ^= c >> 2;  e += b; c += d;
  c ^= d << 8;  f += c; d += e;
  d ^= e >> 16; g += d; e += f;
  e ^= f << 10; h += e; f += g;
  f ^= g >> 4;  a += f; g += h;
  g ^= h << 8;  b += g; h += a;
  h ^= a >> 9;  c += h; a += b;
}
// clang-format on

}  // namespace

TVRXISAAC::TVRXISAAC(TComponent* AOwner) : TVRXRandomGenerator(AOwner) {
  FA = 0;
  FB = 0;
  FC = 0;
  FCount = 0;
  Init();
}

TVRXISAAC::~TVRXISAAC() {
  SecureWipe(FResults.data(), sizeof FResults);
  SecureWipe(FSeed.data(), sizeof FSeed);
  SecureWipe(FMem.data(), sizeof FMem);
  SecureWipe(&FA, sizeof FA);
  SecureWipe(&FB, sizeof FB);
  SecureWipe(&FC, sizeof FC);
}

uint8_t TVRXISAAC::GetSeed(int32_t Index) const {
  CheckSeedIndex(Index, RandSize);
  return static_cast<uint8_t>(FSeed[static_cast<size_t>(Index)]);
}

void TVRXISAAC::SetSeed(int32_t Index, uint8_t Value) {
  CheckSeedIndex(Index, RandSize);
  FSeed[static_cast<size_t>(Index)] = Value;
}

uint32_t TVRXISAAC::GetSeedWord(int32_t Index) const {
  CheckSeedIndex(Index, RandSize);
  return FSeed[static_cast<size_t>(Index)];
}

void TVRXISAAC::SetSeedWord(int32_t Index, uint32_t Value) {
  CheckSeedIndex(Index, RandSize);
  FSeed[static_cast<size_t>(Index)] = Value;
}

void TVRXISAAC::Init() {
  FCount = 0;
  FResults = FSeed;
  FA = FB = FC = 0;
  uint32_t a, b, c, d, e, f, g, h;
  a = b = c = d = e = f = g = h = kGoldenRatio;
  for (int i = 0; i < 4; ++i) Mix(a, b, c, d, e, f, g, h);
  // Two passes, as randinit does with its flag set: the seed, then the memory of the first pass,
  // so that every seed word affects every word of the memory.
  for (const TBlock* src : {&FResults, &FMem}) {
    for (size_t i = 0; i < FMem.size(); i += 8) {
      a += (*src)[i];
      b += (*src)[i + 1];
      c += (*src)[i + 2];
      d += (*src)[i + 3];
      e += (*src)[i + 4];
      f += (*src)[i + 5];
      g += (*src)[i + 6];
      h += (*src)[i + 7];
      Mix(a, b, c, d, e, f, g, h);
      FMem[i] = a;
      FMem[i + 1] = b;
      FMem[i + 2] = c;
      FMem[i + 3] = d;
      FMem[i + 4] = e;
      FMem[i + 5] = f;
      FMem[i + 6] = g;
      FMem[i + 7] = h;
    }
  }
  Generate();
}

void TVRXISAAC::Generate() noexcept {
  uint32_t* const mm = FMem.data();
  uint32_t* const r = FResults.data();
  uint32_t a = FA;
  // b, ISAAC's running result, is kept as the sum of its two parts (the word looked up in the
  // previous step and that step's x): the next y adds them in the order that leaves a single
  // addition between one lookup and the next, the chain that bounds the speed of the round.
  uint32_t lookedUp = 0;
  uint32_t prevX = FB + ++FC;
  // One step of the published isaac(): mix a, then x's successor in mm and the result. The
  // indirect indices are ISAAC's ind(): bits 2..9 and 10..17 of the word.
  auto step = [&](size_t i, uint32_t mixed, size_t other) {
    const uint32_t x = mm[i];
    a = mixed + mm[other];
    const uint32_t y = Opaque(mm[(x >> 2) & 0xFF] + a + prevX) + lookedUp;
    mm[i] = y;
    lookedUp = mm[(y >> 10) & 0xFF];
    prevX = x;
    r[i] = lookedUp + x;
  };
  // i + 128 mod 256 without the modulo: first half pairs with the second and back.
  for (size_t i = 0; i < 128; i += 4) {
    step(i, a ^ (a << 13), i + 128);
    step(i + 1, a ^ (a >> 6), i + 129);
    step(i + 2, a ^ (a << 2), i + 130);
    step(i + 3, a ^ (a >> 16), i + 131);
  }
  for (size_t i = 128; i < 256; i += 4) {
    step(i, a ^ (a << 13), i - 128);
    step(i + 1, a ^ (a >> 6), i - 127);
    step(i + 2, a ^ (a << 2), i - 126);
    step(i + 3, a ^ (a >> 16), i - 125);
  }
  FA = a;
  FB = lookedUp + prevX;
  FCount = RandSize;
}

}  // namespace morvane
