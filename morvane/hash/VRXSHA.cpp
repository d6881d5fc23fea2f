#include "morvane/hash/VRXSHA.h"

#include <atomic>
#include <bit>
#include <utility>

#include "morvane/framework/Endian.h"
#include "morvane/framework/internal/CpuFeatures.h"
#include "morvane/hash/internal/DigestCores.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MORVANE_SHA1_SHANI 1
#endif

namespace morvane {

namespace detail {

namespace {

// FIPS 180-1, section 6: the additive constants of steps 0-19, 20-39, 40-59 and 60-79.
inline constexpr uint32_t kSHAK[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};

// Step I: TEMP = (A <<< 5) + f(B, C, D) + E + W[I] + K; E = D; D = C; C = B <<< 30; B = A;
// A = TEMP. The roles move one word to the right each step, so TEMP lands where E was.
template <int I>
[[gnu::always_inline]] inline void Step(uint32_t (&v)[5], uint32_t* w) {
  // The schedule word is made in its step, so that its scalar work overlaps the rounds (a
  // separate expansion loop gets vectorised into loads that straddle its own recent stores).
  // The one-bit rotation is the revision of FIPS 180-1 over the withdrawn first standard.
  if constexpr (I >= 16) w[I] = std::rotl(w[I - 3] ^ w[I - 8] ^ w[I - 14] ^ w[I - 16], 1);
  constexpr int r = I % 5;
  const uint32_t a = v[(5 - r) % 5];
  uint32_t& b = v[(6 - r) % 5];
  const uint32_t c = v[(7 - r) % 5], d = v[(8 - r) % 5];
  uint32_t& e = v[(9 - r) % 5];
  e += w[I] + kSHAK[I / 20];
  if constexpr (I < 20) {
    e += SHAChoose(b, c, d);
  } else if constexpr (I < 40 || I >= 60) {
    e += SHAParity(b, c, d);
  } else {
    e += SHAMajority(b, c, d);
  }
  e += std::rotl(a, 5);
  b = std::rotl(b, 30);
}

template <size_t... I>
[[gnu::always_inline]] inline void Steps(uint32_t (&v)[5], uint32_t* w, std::index_sequence<I...>) {
  (Step<static_cast<int>(I)>(v, w), ...);
}

}  // namespace

void SHA1BlocksPortable(uint32_t* State, const uint8_t* Blocks, size_t Count,
                        uint32_t* Schedule) noexcept {
  uint32_t* const w = Schedule;
  for (; Count > 0; --Count, Blocks += 64) {
    for (int t = 0; t < 16; ++t) w[t] = LoadBE32(Blocks + 4 * t);
    uint32_t v[5] = {State[0], State[1], State[2], State[3], State[4]};
    Steps(v, w, std::make_index_sequence<80>{});
    // After 80 steps (a multiple of 5) the roles are back in their starting words.
    for (int i = 0; i < 5; ++i) State[i] += v[i];
  }
}

#if MORVANE_SHA1_SHANI

namespace {

// One group of four steps with the SHA extensions. ABCD holds A in its high lane; the E input of
// group G is E plus W[4G..4G+3], made by SHA1NEXTE from the ABCD that entered the previous group.
// Alongside, the schedule words of later groups are prepared: group G + 3 takes SHA1MSG1 of
// groups G - 1 and G, group G + 2 takes group G in by xor, and group G + 1 is finished by SHA1MSG2
// with group G (W[t] = (W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]) <<< 1 over four words at a time).
template <int G>
[[gnu::always_inline, gnu::target("sha,sse4.1")]] inline void ShaNiGroup(__m128i& abcd,
                                                                         __m128i (&e)[2],
                                                                         __m128i (&m)[4]) {
  __m128i& cur = m[G % 4];
  if constexpr (G > 0) e[G % 2] = _mm_sha1nexte_epu32(e[G % 2], cur);
  e[(G + 1) % 2] = abcd;
  if constexpr (G >= 3 && G <= 18) m[(G + 1) % 4] = _mm_sha1msg2_epu32(m[(G + 1) % 4], cur);
  abcd = _mm_sha1rnds4_epu32(abcd, e[G % 2], G / 5);
  if constexpr (G >= 1 && G <= 16) m[(G + 3) % 4] = _mm_sha1msg1_epu32(m[(G + 3) % 4], cur);
  if constexpr (G >= 2 && G <= 17) m[(G + 2) % 4] = _mm_xor_si128(m[(G + 2) % 4], cur);
}

template <size_t... G>
[[gnu::always_inline, gnu::target("sha,sse4.1")]] inline void ShaNiGroups(
    __m128i& abcd, __m128i (&e)[2], __m128i (&m)[4], std::index_sequence<G...>) {
  (ShaNiGroup<static_cast<int>(G)>(abcd, e, m), ...);
}

}  // namespace

[[gnu::target("sha,sse4.1")]] void SHA1BlocksShaNi(uint32_t* State, const uint8_t* Blocks,
                                                   size_t Count, uint32_t*) noexcept {
  // Reverses the sixteen bytes of a lane group: four big-endian words, W0 into the high lane.
  const __m128i reverse = _mm_set_epi64x(0x0001020304050607, 0x08090A0B0C0D0E0F);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(State)), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(State[4]), 0, 0, 0);
  for (; Count > 0; --Count, Blocks += 64) {
    const __m128i abcdSaved = abcd;
    const __m128i eSaved = e0;
    __m128i m[4];
    for (int i = 0; i < 4; ++i) {
      m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Blocks + 16 * i)),
                              reverse);
    }
    __m128i e[2] = {_mm_add_epi32(e0, m[0]), abcd};
    ShaNiGroups(abcd, e, m, std::make_index_sequence<20>{});
    // e[0] holds the ABCD that entered group 19: its A rotated is the final E.
    e0 = _mm_sha1nexte_epu32(e[0], eSaved);
    abcd = _mm_add_epi32(abcd, abcdSaved);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(State), _mm_shuffle_epi32(abcd, 0x1B));
  State[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

bool SHA1HaveShaNi() noexcept {
  return CpuFeatures().sha;
}

#else

void SHA1BlocksShaNi(uint32_t* State, const uint8_t* Blocks, size_t Count, uint32_t*) noexcept {
  uint32_t schedule[80];
  SHA1BlocksPortable(State, Blocks, Count, schedule);
}

bool SHA1HaveShaNi() noexcept {
  return false;
}

#endif

namespace {

using TSHA1Blocks = void (*)(uint32_t*, const uint8_t*, size_t, uint32_t*) noexcept;

// Chosen on first use. A relaxed atomic rather than a guarded static: a call pays one load, and
// racing first calls store the same value.
std::atomic<TSHA1Blocks> gChosen{nullptr};

TSHA1Blocks Choose() noexcept {
  const TSHA1Blocks chosen = SHA1HaveShaNi() ? SHA1BlocksShaNi : SHA1BlocksPortable;
  gChosen.store(chosen, std::memory_order_relaxed);
  return chosen;
}

}  // namespace

void SHA1Blocks(uint32_t* State, const uint8_t* Blocks, size_t Count, uint32_t* Schedule) noexcept {
  TSHA1Blocks f = gChosen.load(std::memory_order_relaxed);
  if (f == nullptr) f = Choose();
  f(State, Blocks, Count, Schedule);
}

void TSHA1Algorithm::Compress(uint32_t* State, const uint8_t* Blocks, size_t Count,
                              TScratch& Schedule) noexcept {
  SHA1Blocks(State, Blocks, Count, Schedule.data());
}

}  // namespace detail

// clang-format off
uint32_t TVRXSHA::F(uint32_t b, uint32_t c, uint32_t d) const { return detail::SHAChoose(b, c, d); }
uint32_t TVRXSHA::G(uint32_t b, uint32_t c, uint32_t d) const { return detail::SHAParity(b, c, d); }
uint32_t TVRXSHA::H(uint32_t b, uint32_t c, uint32_t d) const { return detail::SHAMajority(b, c, d); }
uint32_t TVRXSHA::I(uint32_t b, uint32_t c, uint32_t d) const { return detail::SHAParity(b, c, d); }
// clang-format on

std::string_view SHA1Implementation() noexcept {
  return detail::SHA1HaveShaNi() ? "sha-ni" : "portable";
}

}  // namespace morvane
