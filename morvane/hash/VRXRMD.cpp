#include "morvane/hash/VRXRMD.h"

#include <utility>

#include "morvane/framework/Endian.h"
#include "morvane/hash/internal/DigestCores.h"

namespace morvane {

namespace detail {

namespace {

// Step I of both lines. The roles a..e move one word to the right each step (the next step's a
// is this step's e), so the words stay in place; the left and the right step are independent, so
// the processor overlaps them.
template <int I>
[[gnu::always_inline]] inline void Step(uint32_t (&L)[5], uint32_t (&R)[5], const uint8_t* block) {
  constexpr int r = I % 5;
  constexpr int ia = (5 - r) % 5, ib = (6 - r) % 5, ic = (7 - r) % 5, id = (8 - r) % 5,
                ie = (9 - r) % 5;
  constexpr int round = I / 16;
  const uint32_t xl = LoadLE32(block + 4 * kRMDLeftWord[I]);
  const uint32_t xr = LoadLE32(block + 4 * kRMDRightWord[I]);
  constexpr int sl = kRMDLeftShift[I], sr = kRMDRightShift[I];
  constexpr uint32_t kl = kRMD160LeftK[round], kr = kRMD160RightK[round];
  if constexpr (round == 0) {
    RMD160Step<RMDF>(L[ia], L[ib], L[ic], L[id], L[ie], xl, sl, kl);
    RMD160Step<RMDJ>(R[ia], R[ib], R[ic], R[id], R[ie], xr, sr, kr);
  } else if constexpr (round == 1) {
    RMD160Step<RMDG>(L[ia], L[ib], L[ic], L[id], L[ie], xl, sl, kl);
    RMD160Step<RMDI>(R[ia], R[ib], R[ic], R[id], R[ie], xr, sr, kr);
  } else if constexpr (round == 2) {
    RMD160Step<RMDH>(L[ia], L[ib], L[ic], L[id], L[ie], xl, sl, kl);
    RMD160Step<RMDH>(R[ia], R[ib], R[ic], R[id], R[ie], xr, sr, kr);
  } else if constexpr (round == 3) {
    RMD160Step<RMDI>(L[ia], L[ib], L[ic], L[id], L[ie], xl, sl, kl);
    RMD160Step<RMDG>(R[ia], R[ib], R[ic], R[id], R[ie], xr, sr, kr);
  } else {
    RMD160Step<RMDJ>(L[ia], L[ib], L[ic], L[id], L[ie], xl, sl, kl);
    RMD160Step<RMDF>(R[ia], R[ib], R[ic], R[id], R[ie], xr, sr, kr);
  }
}

template <size_t... I>
[[gnu::always_inline]] inline void Steps(uint32_t (&L)[5], uint32_t (&R)[5], const uint8_t* block,
                                         std::index_sequence<I...>) {
  (Step<static_cast<int>(I)>(L, R, block), ...);
}

}  // namespace

void RMD160Blocks(uint32_t* State, const uint8_t* Blocks, size_t Count) noexcept {
  uint32_t h0 = State[0], h1 = State[1], h2 = State[2], h3 = State[3], h4 = State[4];
  for (; Count > 0; --Count, Blocks += 64) {
    uint32_t L[5] = {h0, h1, h2, h3, h4};
    uint32_t R[5] = {h0, h1, h2, h3, h4};
    Steps(L, R, Blocks, std::make_index_sequence<80>{});
    // After 80 steps (a multiple of 5) the roles are back in their starting words.
    const uint32_t t = h1 + L[2] + R[3];
    h1 = h2 + L[3] + R[4];
    h2 = h3 + L[4] + R[0];
    h3 = h4 + L[0] + R[1];
    h4 = h0 + L[1] + R[2];
    h0 = t;
  }
  State[0] = h0;
  State[1] = h1;
  State[2] = h2;
  State[3] = h3;
  State[4] = h4;
}

void TRMD160Algorithm::Compress(uint32_t* State, const uint8_t* Blocks, size_t Count,
                                TScratch&) noexcept {
  RMD160Blocks(State, Blocks, Count);
}

}  // namespace detail

// clang-format off
uint32_t TVRXRIPEMD160::F(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDF(x, y, z); }
uint32_t TVRXRIPEMD160::G(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDG(x, y, z); }
uint32_t TVRXRIPEMD160::H(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDH(x, y, z); }
uint32_t TVRXRIPEMD160::I(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDI(x, y, z); }
uint32_t TVRXRIPEMD160::J(uint32_t x, uint32_t y, uint32_t z) const { return detail::RMDJ(x, y, z); }
// clang-format on

// clang-format off
void TVRXRIPEMD160::FF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDF>(a, b, c, d, e, x, s, detail::kRMD160LeftK[0]); }
void TVRXRIPEMD160::GG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDG>(a, b, c, d, e, x, s, detail::kRMD160LeftK[1]); }
void TVRXRIPEMD160::HH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDH>(a, b, c, d, e, x, s, detail::kRMD160LeftK[2]); }
void TVRXRIPEMD160::II(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDI>(a, b, c, d, e, x, s, detail::kRMD160LeftK[3]); }
void TVRXRIPEMD160::JJ(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDJ>(a, b, c, d, e, x, s, detail::kRMD160LeftK[4]); }
void TVRXRIPEMD160::JJJ(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDJ>(a, b, c, d, e, x, s, detail::kRMD160RightK[0]); }
void TVRXRIPEMD160::III(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDI>(a, b, c, d, e, x, s, detail::kRMD160RightK[1]); }
void TVRXRIPEMD160::HHH(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDH>(a, b, c, d, e, x, s, detail::kRMD160RightK[2]); }
void TVRXRIPEMD160::GGG(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDG>(a, b, c, d, e, x, s, detail::kRMD160RightK[3]); }
void TVRXRIPEMD160::FFF(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t x, int32_t s) const { detail::RMD160Step<detail::RMDF>(a, b, c, d, e, x, s, detail::kRMD160RightK[4]); }
// clang-format on

}  // namespace morvane
