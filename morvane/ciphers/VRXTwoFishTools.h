// Free routines of the Twofish key schedule (Schneier et al., "Twofish: A 128-Bit Block
// Cipher", 1998, and its reference code): the Galois-field arithmetic of the MDS matrix and of
// the Reed-Solomon code, byte extraction, byte-order reversal, 128-bit exclusive or and the
// parser that turns a key string into key words. No state; safe from any thread.
//
// The MDS field is GF(2^8) modulo x^8+x^6+x^5+x^3+1 (0x169; 0xB4 and 0x5A are 0x169 shifted
// right by one and two); the Reed-Solomon field is GF(2^8) modulo x^8+x^6+x^3+x^2+1 (0x14D).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace morvane {

// A block of 128 bits: four words, word 0 first.
using TBlock128 = std::array<uint32_t, 4>;

// One step of the Reed-Solomon remainder: shifts the top byte b out of x and folds in the
// generator multiples of b.
constexpr uint32_t RS_rem(uint32_t x) {
  const uint32_t b = x >> 24;
  const uint32_t g2 = ((b << 1) ^ ((b & 0x80) ? 0x14Du : 0u)) & 0xFFu;
  const uint32_t g3 = ((b >> 1) & 0x7Fu) ^ ((b & 1) ? 0xA6u : 0u) ^ g2;
  return (x << 8) ^ (g3 << 24) ^ (g2 << 16) ^ (g3 << 8) ^ b;
}

// Division by x in the MDS field.
constexpr uint32_t LFSR1(uint32_t x) {
  return (x >> 1) ^ ((x & 1) ? 0xB4u : 0u);
}

// Division by x^2 in the MDS field.
constexpr uint32_t LFSR2(uint32_t x) {
  return (x >> 2) ^ ((x & 2) ? 0xB4u : 0u) ^ ((x & 1) ? 0x5Au : 0u);
}

// Multiplication by the three entries of the MDS matrix: 01, 5B and EF.
constexpr uint32_t Mx_1(uint32_t x) {
  return x;
}
constexpr uint32_t Mx_X(uint32_t x) {
  return x ^ LFSR2(x);
}
constexpr uint32_t Mx_Y(uint32_t x) {
  return x ^ LFSR1(x) ^ LFSR2(x);
}

// The Reed-Solomon code of the 64-bit key piece (k0 the even word, k1 the odd one): one S-box
// key word of the Twofish key schedule.
constexpr uint32_t RS_MDS_Encode(uint32_t k0, uint32_t k1) {
  uint32_t r = k1;
  for (int i = 0; i < 4; ++i) r = RS_rem(r);
  r ^= k0;
  for (int i = 0; i < 4; ++i) r = RS_rem(r);
  return r;
}

// Byte n of x, byte 0 the least significant; only the low two bits of n count.
constexpr uint8_t EBFDW(uint32_t x, int32_t n) {
  return static_cast<uint8_t>(x >> (8 * (n & 3)));
}

// x with its four bytes in reverse order.
constexpr uint32_t BSwap(uint32_t x) {
  return (x >> 24) | ((x >> 8) & 0x0000FF00u) | ((x << 8) & 0x00FF0000u) | (x << 24);
}

// Every word of X byte-reversed: turns a block between its stored and its cipher form.
constexpr TBlock128 BSwap128(TBlock128 X) {
  return {BSwap(X[0]), BSwap(X[1]), BSwap(X[2]), BSwap(X[3])};
}

constexpr TBlock128 XOR128(TBlock128 X, TBlock128 Y) {
  return {X[0] ^ Y[0], X[1] ^ Y[1], X[2] ^ Y[2], X[3] ^ Y[3]};
}

// Fills Words from the key: nBits is clamped to 128..256 and N = nBits / 8 key bytes are read,
// the key repeated from its start when shorter; each whole group of four bytes becomes one word,
// its first byte least significant (bytes of a last incomplete group are not stored). Every
// other word is 0. Returns N. An empty key fills zero words and returns 16. Words beyond the
// span's end are never written.
int32_t ParseKey(int32_t nBits, std::string_view Key, std::span<uint32_t> Words);

}  // namespace morvane
