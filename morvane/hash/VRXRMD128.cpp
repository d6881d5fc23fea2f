#include "morvane/hash/VRXRMD128.h"

#include <utility>

#include "morvane/framework/Endian.h"
#include "morvane/hash/internal/DigestCores.h"

namespace morvane {

namespace detail {

namespace {

// Step I of both lines; the roles a..d move one word to the right each step, and the two lines
// are independent until the combination, so the processor overlaps them.
template <int I>
[[gnu::always_inline]] inline void Step(uint32_t (&L)[4], uint32_t (&R)[4], const uint8_t* block) {
  constexpr int r = I % 4;
  constexpr int ia = (4 - r) % 4, ib = (5 - r) % 4, ic = (6 - r) % 4, id = (7 - r) % 4;
  constexpr int round = I / 16;
  const uint32_t xl = LoadLE32(block + 4 * kRMDLeftWord[I]);
  const uint32_t xr = LoadLE32(block + 4 * kRMDRightWord[I]);
  constexpr int sl = kRMDLeftShift[I], sr = kRMDRightShift[I];
  constexpr uint32_t kl = kRMD128LeftK[round], kr = kRMD128RightK[round];
  if constexpr (round == 0) {
    RMD128Step<RMDF>(L[ia], L[ib], L[ic], L[id], xl, sl, kl);
    RMD128Step<RMDI>(R[ia], R[ib], R[ic], R[id], xr, sr, kr);
  } else if constexpr (round == 1) {
    RMD128Step<RMDG>(L[ia], L[ib], L[ic], L[id], xl, sl, kl);
    RMD128Step<RMDH>(R[ia], R[ib], R[ic], R[id], xr, sr, kr);
  } else if constexpr (round == 2) {
    RMD128Step<RMDH>(L[ia], L[ib], L[ic], L[id], xl, sl, kl);
    RMD128Step<RMDG>(R[ia], R[ib], R[ic], R[id], xr, sr, kr);
  } else {
    RMD128Step<RMDI>(L[ia], L[ib], L[ic], L[id], xl, sl, kl);
    RMD128Step<RMDF>(R[ia], R[ib], R[ic], R[id], xr, sr, kr);
  }
}

template <size_t... I>
[[gnu::always_inline]] inline void Steps(uint32_t (&L)[4], uint32_t (&R)[4], const uint8_t* block,
                                         std::index_sequence<I...>) {
  (Step<static_cast<int>(I)>(L, R, block), ...);
}

}  // namespace

void RMD128Blocks(uint32_t* State, const uint8_t* Blocks, size_t Count) noexcept {
  uint32_t h0 = State[0], h1 = State[1], h2 = State[2], h3 = State[3];
  for (; Count > 0; --Count, Blocks += 64) {
    uint32_t L[4] = {h0, h1, h2, h3};
    uint32_t R[4] = {h0, h1, h2, h3};
    Steps(L, R, Blocks, std::make_index_sequence<64>{});
    // After 64 steps the roles are back in their starting words.
    const uint32_t t = h1 + L[2] + R[3];
    h1 = h2 + L[3] + R[0];
    h2 = h3 + L[0] + R[1];
    h3 = h0 + L[1] + R[2];
    h0 = t;
  }
  State[0] = h0;
  State[1] = h1;
  State[2] = h2;
  State[3] = h3;
}

void TRMD128Algorithm::Compress(uint32_t* State, const uint8_t* Blocks, size_t Count,
                                TScratch&) noexcept {
  RMD128Blocks(State, Blocks, Count);
}

}  // namespace detail

// clang-format off
uint32_t TVRXRIPEMD128::F(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDF(x, y, z); }
uint32_t TVRXRIPEMD128::G(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDG(x, y, z); }
uint32_t TVRXRIPEMD128::H(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDH(x, y, z); }
uint32_t TVRXRIPEMD128::I(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDI(x, y, z); }
// clang-format on

// clang-format off
void TVRXRIPEMD128::FF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const { detail::RMD128Step<detail::RMDF>(a, b, c, d, x, s, detail::kRMD128LeftK[0]); }
void TVRXRIPEMD128::GG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const { detail::RMD128Step<detail::RMDG>(a, b, c, d, x, s, detail::kRMD128LeftK[1]); }
void TVRXRIPEMD128::HH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const { detail::RMD128Step<detail::RMDH>(a, b, c, d, x, s, detail::kRMD128LeftK[2]); }
void TVRXRIPEMD128::II(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const { detail::RMD128Step<detail::RMDI>(a, b, c, d, x, s, detail::kRMD128LeftK[3]); }
void TVRXRIPEMD128::III(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const { detail::RMD128Step<detail::RMDI>(a, b, c, d, x, s, detail::kRMD128RightK[0]); }
void TVRXRIPEMD128::HHH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const { detail::RMD128Step<detail::RMDH>(a, b, c, d, x, s, detail::kRMD128RightK[1]); }
void TVRXRIPEMD128::GGG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const { detail::RMD128Step<detail::RMDG>(a, b, c, d, x, s, detail::kRMD128RightK[2]); }
void TVRXRIPEMD128::FFF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t x, int32_t s) const { detail::RMD128Step<detail::RMDF>(a, b, c, d, x, s, detail::kRMD128RightK[3]); }
// clang-format on

}  // namespace morvane
