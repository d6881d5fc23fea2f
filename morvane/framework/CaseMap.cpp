#include "morvane/framework/CaseMap.h"

#include <array>

namespace morvane {

namespace {

// Windows-1252 upper case, derived from the code page chart (the letters with diacritics of the
// 0xC0-0xFE block, and the three pairs of the 0x80 block).
constexpr std::array<uint8_t, 256> MakeUpper() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<uint8_t>(c - 32);
  for (int c = 0xE0; c <= 0xFE; ++c)
    if (c != 0xF7) t[c] = static_cast<uint8_t>(c - 32);
  t[0x9A] = 0x8A;
  t[0x9C] = 0x8C;
  t[0x9E] = 0x8E;
  t[0xFF] = 0x9F;
  return t;
}

constexpr std::array<uint8_t, 256> MakeLower() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<uint8_t>(c + 32);
  for (int c = 0xC0; c <= 0xDE; ++c)
    if (c != 0xD7) t[c] = static_cast<uint8_t>(c + 32);
  t[0x8A] = 0x9A;
  t[0x8C] = 0x9C;
  t[0x8E] = 0x9E;
  t[0x9F] = 0xFF;
  return t;
}

inline constexpr std::array<uint8_t, 256> kUpper = MakeUpper();
inline constexpr std::array<uint8_t, 256> kLower = MakeLower();

static_assert(kUpper[0xE9] == 0xC9 && kUpper[0xF7] == 0xF7 && kUpper[0xDF] == 0xDF);
static_assert(kUpper[0xB5] == 0xB5 && kUpper[0xFF] == 0x9F && kLower[0x9F] == 0xFF);
static_assert(kLower[0xD7] == 0xD7 && kLower[0xC9] == 0xE9);

}  // namespace

uint8_t UpperByte(uint8_t B) noexcept { return kUpper[B]; }
uint8_t LowerByte(uint8_t B) noexcept { return kLower[B]; }

void CharUpperA(std::string& S) noexcept {
  for (char& c : S) {
    if (c == '\0') break;
    c = static_cast<char>(kUpper[static_cast<uint8_t>(c)]);
  }
}

void CharLowerA(std::string& S) noexcept {
  for (char& c : S) {
    if (c == '\0') break;
    c = static_cast<char>(kLower[static_cast<uint8_t>(c)]);
  }
}

}  // namespace morvane
