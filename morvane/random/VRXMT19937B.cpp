#include "morvane/random/VRXMT19937B.h"

#include "morvane/framework/SecureWipe.h"

namespace morvane {

namespace {

constexpr size_t kN = TVRXMT19937B::StateSize;
constexpr size_t kM = 397;
constexpr uint32_t kMatrix = 0x9908B0DFu;
constexpr uint32_t kUpper = 0x80000000u;
constexpr uint32_t kLower = 0x7FFFFFFFu;

// One word of the recurrence: the top bit of u joined to the low bits of v, shifted, the matrix
// added when the joined word is odd (a mask rather than the reference's mag01 lookup, so that the
// loops below vectorise), all added to the word M ahead.
constexpr uint32_t Twist(uint32_t u, uint32_t v, uint32_t ahead) noexcept {
  const uint32_t y = (u & kUpper) | (v & kLower);
  return ahead ^ (y >> 1) ^ ((0u - (y & 1u)) & kMatrix);
}

constexpr uint32_t Temper(uint32_t y) noexcept {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace

TVRXMT19937B::TVRXMT19937B(TComponent* AOwner) : TVRXRandomGenerator(AOwner) {
  Init();
}

TVRXMT19937B::~TVRXMT19937B() {
  SecureWipe(FOutput.data(), sizeof FOutput);
  SecureWipe(FSeed.data(), sizeof FSeed);
  SecureWipe(FState.data(), sizeof FState);
}

uint8_t TVRXMT19937B::GetSeed(int32_t Index) const {
  CheckSeedIndex(Index, StateSize);
  return static_cast<uint8_t>(FSeed[static_cast<size_t>(Index)]);
}

void TVRXMT19937B::SetSeed(int32_t Index, uint8_t Value) {
  CheckSeedIndex(Index, StateSize);
  FSeed[static_cast<size_t>(Index)] = Value;
}

uint32_t TVRXMT19937B::GetSeedWord(int32_t Index) const {
  CheckSeedIndex(Index, StateSize);
  return FSeed[static_cast<size_t>(Index)];
}

void TVRXMT19937B::SetSeedWord(int32_t Index, uint32_t Value) {
  CheckSeedIndex(Index, StateSize);
  FSeed[static_cast<size_t>(Index)] = Value;
}

void TVRXMT19937B::Init() {
  FCount = 0;
  FState = FSeed;
}

void TVRXMT19937B::Generate() noexcept {
  // The state is twisted in place, each step reading the words this pass already replaced, as
  // the reference genrand does for a whole block; the tempered copy goes to FOutput, so the
  // untempered state is never disturbed.
  uint32_t* const w = FState.data();
  for (size_t k = 0; k < kN - kM; ++k) w[k] = Twist(w[k], w[k + 1], w[k + kM]);
  for (size_t k = kN - kM; k < kN - 1; ++k) w[k] = Twist(w[k], w[k + 1], w[k + kM - kN]);
  w[kN - 1] = Twist(w[kN - 1], w[0], w[kM - 1]);
  for (size_t k = 0; k < kN; ++k) FOutput[k] = Temper(w[k]);
  FCount = StateSize;
}

}  // namespace morvane
