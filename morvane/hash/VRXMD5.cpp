#include "morvane/hash/VRXMD5.h"

#include <utility>

#include "morvane/framework/Endian.h"
#include "morvane/hash/internal/DigestCores.h"

namespace morvane {

namespace detail {

namespace {

// clang-format off
// RFC 1321, section 3.4: T[i] is the integer part of 4294967296 * abs(sin(i + 1)).
inline constexpr std::array<uint32_t, 64> kMD5T = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391};
// RFC 1321, section 3.4: the shift amounts of the four steps of each round.
inline constexpr std::array<int, 16> kMD5Shift = {
    7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};
// clang-format on

// The message word of step I: round 1 in order, then 1 + 5i, 5 + 3i and 7i (mod 16).
constexpr int MD5Word(int I) {
  const int i = I % 16;
  switch (I / 16) {
    case 0:
      return i;
    case 1:
      return (1 + 5 * i) % 16;
    case 2:
      return (5 + 3 * i) % 16;
    default:
      return (7 * i) % 16;
  }
}

// Step I on the working words; the roles a, b, c, d move one word to the right each step, so the
// words stay in place and no copies are made.
template <int I>
[[gnu::always_inline]] inline void Step(uint32_t (&v)[4], const uint8_t* block) {
  constexpr int r = I % 4;
  uint32_t& a = v[(4 - r) % 4];
  const uint32_t b = v[(5 - r) % 4], c = v[(6 - r) % 4], d = v[(7 - r) % 4];
  constexpr int s = kMD5Shift[(I / 16) * 4 + r];
  const uint32_t x = LoadLE32(block + 4 * MD5Word(I));
  if constexpr (I < 16) {
    MD5Step<MD5F>(a, b, c, d, x, s, kMD5T[I]);
  } else if constexpr (I < 32) {
    MD5Step<MD5G>(a, b, c, d, x, s, kMD5T[I]);
  } else if constexpr (I < 48) {
    MD5Step<MD5H>(a, b, c, d, x, s, kMD5T[I]);
  } else {
    MD5Step<MD5I>(a, b, c, d, x, s, kMD5T[I]);
  }
}

template <size_t... I>
[[gnu::always_inline]] inline void Steps(uint32_t (&v)[4], const uint8_t* block,
                                         std::index_sequence<I...>) {
  (Step<static_cast<int>(I)>(v, block), ...);
}

}  // namespace

void MD5Blocks(uint32_t* State, const uint8_t* Blocks, size_t Count) noexcept {
  uint32_t a = State[0], b = State[1], c = State[2], d = State[3];
  for (; Count > 0; --Count, Blocks += 64) {
    uint32_t v[4] = {a, b, c, d};
    Steps(v, Blocks, std::make_index_sequence<64>{});
    a += v[0];
    b += v[1];
    c += v[2];
    d += v[3];
  }
  State[0] = a;
  State[1] = b;
  State[2] = c;
  State[3] = d;
}

void TMD5Algorithm::Compress(uint32_t* State, const uint8_t* Blocks, size_t Count,
                             TScratch&) noexcept {
  MD5Blocks(State, Blocks, Count);
}

}  // namespace detail

// clang-format off
uint32_t TVRXMD5::F(uint32_t x, uint32_t y, uint32_t z) const { return detail::MD5F(x, y, z); }
uint32_t TVRXMD5::G(uint32_t x, uint32_t y, uint32_t z) const { return detail::MD5G(x, y, z); }
uint32_t TVRXMD5::H(uint32_t x, uint32_t y, uint32_t z) const { return detail::MD5H(x, y, z); }
uint32_t TVRXMD5::I(uint32_t x, uint32_t y, uint32_t z) const { return detail::MD5I(x, y, z); }
void TVRXMD5::FF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s, uint32_t ac) const { detail::MD5Step<detail::MD5F>(a, b, c, d, x, s, ac); }
void TVRXMD5::GG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s, uint32_t ac) const { detail::MD5Step<detail::MD5G>(a, b, c, d, x, s, ac); }
void TVRXMD5::HH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s, uint32_t ac) const { detail::MD5Step<detail::MD5H>(a, b, c, d, x, s, ac); }
void TVRXMD5::II(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int32_t s, uint32_t ac) const { detail::MD5Step<detail::MD5I>(a, b, c, d, x, s, ac); }
// clang-format on

}  // namespace morvane
