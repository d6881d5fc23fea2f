#include "morvane/strings/VRXStrings.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "morvane/framework/CaseMap.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/TextServices.h"
#include "morvane/strings/VRXMsg.h"

namespace morvane {

namespace {

constexpr const char* kUnit = "VRXStrings";

// The digit alphabet of the base conversions. There is no K: the digit worth 20 is L. Bases run
// up to 34, one less than the table's length, so the last byte (Z) is never used.
constexpr std::string_view kBaseDigits = "0123456789ABCDEFGHIJLMNOPQRSTUVWXYZ";
static_assert(kBaseDigits.size() == 35 && kBaseDigits[20] == 'L' && kBaseDigits[33] == 'Y');

constexpr int32_t kMaxBase = static_cast<int32_t>(kBaseDigits.size()) - 1;

// Digit value + 1 of each upper-case byte in kBaseDigits, 0 for the other bytes.
constexpr std::array<uint8_t, 256> MakeDigitPositions() {
  std::array<uint8_t, 256> t{};
  for (size_t i = 0; i < kBaseDigits.size(); ++i)
    t[static_cast<uint8_t>(kBaseDigits[i])] = static_cast<uint8_t>(i + 1);
  return t;
}
inline constexpr std::array<uint8_t, 256> kDigitPosition = MakeDigitPositions();

void CheckBase(int32_t nBase, std::source_location where = std::source_location::current()) {
  if (nBase < 2 || nBase > kMaxBase)
    AssertionFailure("La base de conversi\xF3n es incorrecta", kUnit, where);
}

inline bool IsWhiteByte(unsigned char c) noexcept {
  return c == 0 || c == 9 || c == 32 || c == 127;
}

// The bounds of the text without its leading and trailing white space.
std::string_view TrimView(std::string_view s) noexcept {
  size_t b = 0, e = s.size();
  while (e > 0 && IsWhiteByte(static_cast<unsigned char>(s[e - 1]))) --e;
  while (b < e && IsWhiteByte(static_cast<unsigned char>(s[b]))) ++b;
  return s.substr(b, e - b);
}

// The text up to its first zero byte, as a zero-terminated buffer would hold it.
std::string_view UpToZero(std::string_view s) noexcept {
  const void* z = s.empty() ? nullptr : std::memchr(s.data(), 0, s.size());
  return z ? s.substr(0, static_cast<size_t>(static_cast<const char*>(z) - s.data())) : s;
}

}  // namespace

// ---- Case

std::string Upper(std::string_view cString) {
  std::string r(UpToZero(cString));
  CharUpperA(r);
  return r;
}

std::string Lower(std::string_view cString) {
  std::string r(UpToZero(cString));
  CharLowerA(r);
  return r;
}

// ---- White space and trimming

bool IsWhite(char cChar) noexcept {
  return IsWhiteByte(static_cast<unsigned char>(cChar));
}

std::string RTrim(std::string_view cString) {
  size_t e = cString.size();
  while (e > 0 && IsWhiteByte(static_cast<unsigned char>(cString[e - 1]))) --e;
  return std::string(cString.substr(0, e));
}

std::string LTrim(std::string_view cString) {
  size_t b = 0;
  while (b < cString.size() && IsWhiteByte(static_cast<unsigned char>(cString[b]))) ++b;
  return std::string(cString.substr(b));
}

std::string AllTrim(std::string_view cString) {
  return std::string(TrimView(cString));
}

bool Empty(std::string_view cString) noexcept {
  return TrimView(cString).empty();
}

// ---- Pieces

std::string ToEnd(std::string_view cString, int32_t nFromPos) {
  Assert(nFromPos >= 0, "Valor negativo de nFromPos", kUnit);
  const size_t from = nFromPos == 0 ? 0 : static_cast<size_t>(nFromPos) - 1;
  return from >= cString.size() ? std::string() : std::string(cString.substr(from));
}

std::string DeleteEnd(std::string_view cString, int32_t nCharacters) {
  Assert(nCharacters >= 0, "Valor negativo de nCharacters", kUnit);
  const auto n = static_cast<size_t>(nCharacters);
  return n >= cString.size() ? std::string() : std::string(cString.substr(0, cString.size() - n));
}

std::string Invert(std::string_view cString) {
  return std::string(cString.rbegin(), cString.rend());
}

// ---- Number conversion

std::string DecToBase(int32_t nValue, int32_t nBase) {
  // The magnitude is taken unsigned so that -2147483648 has one too.
  const bool negative = nValue < 0;
  uint32_t n = negative ? 0u - static_cast<uint32_t>(nValue) : static_cast<uint32_t>(nValue);
  CheckBase(nBase);
  const auto base = static_cast<uint32_t>(nBase);
  char digits[33];  // 32 binary digits and the sign at most
  char* p = digits + sizeof digits;
  do {
    *--p = kBaseDigits[n % base];
    n /= base;
  } while (n != 0);
  if (negative) *--p = '-';
  return std::string(p, static_cast<size_t>(digits + sizeof digits - p));
}

int32_t BaseToDec(std::string_view cValue, int32_t nBase) {
  CheckBase(nBase);
  const std::string text = Upper(TrimView(cValue));
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && digits.front() == '-') {
    negative = true;
    digits.remove_prefix(1);
  }
  // Wrap-around arithmetic modulo 2^32: digits beyond the 32-bit range wrap silently.
  uint32_t total = 0, weight = 1;
  const auto base = static_cast<uint32_t>(nBase);
  for (size_t i = digits.size(); i-- > 0;) {
    const uint32_t p = kDigitPosition[static_cast<uint8_t>(digits[i])];
    if (p == 0 || p > base)
      throw EConvertError(FormatRes(SMsgConversionDigit, {digits.substr(i, 1)}));
    total += (p - 1) * weight;
    weight *= base;
  }
  if (negative) total = 0u - total;
  return static_cast<int32_t>(total);
}

std::string FormatRes(int32_t nId, std::initializer_list<std::string_view> Args) {
  return Format(LoadStr(nId), Args);
}

// ---- Taking pieces off the front

void ExtractTo(std::string& cWord, std::string& cString, char cChar) {
  const size_t at = cString.find(cChar);
  if (at == std::string::npos) {
    std::string word = std::move(cString);
    cString.clear();
    cWord = std::move(word);
    return;
  }
  std::string word = cString.substr(0, at);
  cString.erase(0, at + 1);
  cWord = std::move(word);
}

}  // namespace morvane
