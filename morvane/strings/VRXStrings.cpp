#include "morvane/strings/VRXStrings.h"

#include <string.h>  // memmem
#include <algorithm>
#include <array>
#include <cstring>
#include <source_location>
#include <vector>

#include "morvane/framework/CaseMap.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Guid.h"
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

// Whether the bytes at P equal Needle (not empty) past its first byte. Short needles are compared
// inline: a library call per match would cost more than the search between dense matches.
inline bool SameBytes(const char* P, std::string_view Needle) noexcept {
  if (Needle.size() <= 16) {
    for (size_t k = 1; k < Needle.size(); ++k)
      if (P[k] != Needle[k]) return false;
    return true;
  }
  return P[Needle.size() - 1] == Needle.back() &&
         std::memcmp(P + 1, Needle.data() + 1, Needle.size() - 1) == 0;
}

// The first occurrence of Needle (not empty) in Hay at or after From, or npos. Candidates are
// found with memchr on the first byte and checked with memcmp, which is fastest when matches are
// dense; after a few false candidates in one call the search hands over to glibc's memmem, which is
// linear in the worst case (two-way algorithm). A call thus wastes at most kFalseCandidates
// comparisons of Needle's length, and as each call but the last consumes a whole match, repeated
// searches stay linear in Hay.
size_t FindFrom(std::string_view Hay, std::string_view Needle, size_t From) noexcept {
  constexpr int kFalseCandidates = 8;
  if (From > Hay.size() || Needle.size() > Hay.size() - From) return std::string_view::npos;
  const char* const base = Hay.data();
  const char* p = base + From;
  const char* const last = base + (Hay.size() - Needle.size());  // last possible start
  const char first = Needle.front();
  for (int misses = 0; misses < kFalseCandidates; ++misses) {
    const void* hit =
        std::memchr(p, static_cast<unsigned char>(first), static_cast<size_t>(last - p) + 1);
    if (hit == nullptr) return std::string_view::npos;
    p = static_cast<const char*>(hit);
    if (SameBytes(p, Needle)) return static_cast<size_t>(p - base);
    if (p == last) return std::string_view::npos;
    ++p;
  }
  const void* hit =
      ::memmem(p, static_cast<size_t>(base + Hay.size() - p), Needle.data(), Needle.size());
  return hit ? static_cast<size_t>(static_cast<const char*>(hit) - base) : std::string_view::npos;
}

// The length of the file name's extension, its dot included; 0 when there is none.
size_t ExtLength(std::string_view cFile) noexcept {
  const size_t at = cFile.find_last_of(".\\:");
  return at == std::string_view::npos || cFile[at] != '.' ? 0 : cFile.size() - at;
}

std::string_view WithoutDot(std::string_view cExt) noexcept {
  if (!cExt.empty() && cExt.front() == '.') cExt.remove_prefix(1);
  return cExt;
}

// What MakeID writes for each byte of the trimmed text (Windows-1252 letters to their base
// letter, ASCII letters and digits kept, everything else "_").
constexpr std::array<char, 256> MakeIdentifierMap() {
  std::array<char, 256> t{};
  for (auto& c : t) c = '_';
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<char>(c);
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<char>(c);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<char>(c);
  auto set = [&t](std::initializer_list<int> bytes, char to) {
    for (int b : bytes) t[b] = to;
  };
  set({170, 224, 225, 226, 228}, 'a');
  set({186, 242, 243, 244, 246}, 'o');
  set({192, 193, 194, 196}, 'A');
  set({199}, 'C');
  set({200, 201, 202, 203}, 'E');
  set({204, 205, 206, 207}, 'I');
  set({209}, 'N');
  set({210, 211, 212, 214}, 'O');
  set({217, 218, 219, 220}, 'U');
  set({231}, 'c');
  set({232, 233, 234, 235}, 'e');
  set({236, 237, 238, 239}, 'i');
  set({241}, 'n');
  set({249, 250, 251, 252}, 'u');
  return t;
}
inline constexpr std::array<char, 256> kIdentifierMap = MakeIdentifierMap();
static_assert(kIdentifierMap[0xE3] == '_' && kIdentifierMap[0xF1] == 'n' &&
              kIdentifierMap[' '] == '_');

// The HTML entities of StringToHTML. They were once applied as seventeen successive
// replacements; no entity holds a byte that has an entity, so one pass gives the same text.
constexpr std::array<std::string_view, 256> MakeEntityMap() {
  std::array<std::string_view, 256> t{};
  t[225] = "&aacute;";
  t[233] = "&eacute;";
  t[237] = "&iacute;";
  t[243] = "&oacute;";
  t[250] = "&uacute;";
  t[193] = "&Aacute;";
  t[201] = "&Eacute;";
  t[205] = "&Iacute;";
  t[211] = "&Oacute;";
  t[218] = "&Uacute;";
  t['<'] = "&lt;";
  t['>'] = "&gt;";
  t['"'] = "&quot;";
  t[241] = "&ntilde;";
  t[209] = "&Ntilde;";
  t[252] = "&uuml;";
  t[220] = "&Uuml;";
  return t;
}
inline constexpr std::array<std::string_view, 256> kEntity = MakeEntityMap();

constexpr bool EntitiesAreFinal() {
  const std::array<std::string_view, 256> t = MakeEntityMap();
  for (size_t b = 0; b < t.size(); ++b)
    for (size_t k = 0; k < t[b].size(); ++k)
      if (!t[static_cast<uint8_t>(t[b][k])].empty()) return false;
  return true;
}
static_assert(EntitiesAreFinal());

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

std::string UpperTrim(std::string_view cString) {
  return Upper(TrimView(cString));
}

std::string LowerTrim(std::string_view cString) {
  return Lower(TrimView(cString));
}

std::string CapitalizeWords(std::string_view cString) {
  std::string r = Lower(cString);
  bool wordStart = true;
  for (char& c : r) {
    if (wordStart && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    wordStart = c == ' ';
  }
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

// ---- Pieces and building

std::string Replicate(std::string_view cString, int32_t nTimes) {
  std::string r;
  if (nTimes <= 0 || cString.empty()) return r;
  r.reserve(cString.size() * static_cast<size_t>(nTimes));
  for (int32_t i = 0; i < nTimes; ++i) r.append(cString);
  return r;
}

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

int32_t SPos(std::string_view cSubStr, std::string_view cString, int32_t nStart) {
  if (cSubStr.empty()) return 0;
  const size_t from = nStart < 1 ? 0 : static_cast<size_t>(nStart) - 1;
  const size_t at = FindFrom(cString, cSubStr, from);
  return at == std::string_view::npos ? 0 : static_cast<int32_t>(at + 1);
}

std::string Replace(std::string_view cString, std::string_view cOld, std::string_view cNew) {
  if (cOld.empty()) return std::string(cString);
  std::string r;
  r.reserve(cString.size());
  size_t from = 0;
  for (size_t at; (at = FindFrom(cString, cOld, from)) != std::string_view::npos;
       from = at + cOld.size()) {
    r.append(cString.substr(from, at - from));
    r.append(cNew);
  }
  r.append(cString.substr(from));
  return r;
}

std::string PadL(std::string_view cString, int32_t nLen, char cChar) {
  if (nLen <= 0) return std::string();
  const auto len = static_cast<size_t>(nLen);
  if (cString.size() >= len) return std::string(cString.substr(0, len));
  std::string r(len - cString.size(), cChar);
  r.append(cString);
  return r;
}

std::string PadR(std::string_view cString, int32_t nLen, char cChar) {
  if (nLen <= 0) return std::string();
  const auto len = static_cast<size_t>(nLen);
  if (cString.size() >= len) return std::string(cString.substr(0, len));
  std::string r(cString);
  r.append(len - cString.size(), cChar);
  return r;
}

std::string FldStr(std::string_view cString, int32_t nLen) {
  return PadR(cString, nLen, ' ');
}

std::string LimitString(std::string_view cString, int32_t nLen) {
  if (static_cast<int64_t>(cString.size()) <= nLen) return std::string(cString);
  if (nLen < 3) return "...";
  std::string r(cString.substr(0, static_cast<size_t>(nLen) - 3));
  r.append("...");
  return r;
}

std::string QuoteString(std::string_view cString) {
  std::string r;
  r.reserve(cString.size() + 2);
  r += '\'';
  for (char c : cString) {
    r += c;
    if (c == '\'') r += '\t';
  }
  r += '\'';
  return r;
}

std::string RemoveChars(std::string_view cString, const TCharSet& Chars) {
  std::array<bool, 256> drop{};
  for (size_t b = 0; b < drop.size(); ++b) drop[b] = Chars[b];
  std::string r(cString.size(), '\0');
  size_t n = 0;
  for (char c : cString) {
    r[n] = c;
    n += drop[static_cast<uint8_t>(c)] ? 0 : 1;
  }
  r.resize(n);
  return r;
}

// ---- File names

std::string AddSlash(std::string_view cPath) {
  std::string r(cPath);
  if (!r.empty() && r.back() != '\\') r += '\\';
  return r;
}

std::string RemoveSlash(std::string_view cPath) {
  if (!cPath.empty() && cPath.back() == '\\') cPath.remove_suffix(1);
  return std::string(cPath);
}

std::string AddExt(std::string_view cFile, std::string_view cExt) {
  std::string r(cFile);
  if (ExtLength(cFile) == 0) {
    r += '.';
    r.append(WithoutDot(cExt));
  }
  return r;
}

std::string SetExt(std::string_view cFile, std::string_view cExt) {
  std::string_view name = TrimView(cFile);
  name.remove_suffix(ExtLength(name));
  std::string r(name);
  r += '.';
  r.append(WithoutDot(cExt));
  return r;
}

std::string DelExt(std::string_view cFile) {
  std::string_view name = TrimView(cFile);
  name.remove_suffix(ExtLength(name));
  return std::string(name);
}

// ---- Number and value conversion

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

std::string ZStr(int32_t nValue, int32_t nLen) {
  const bool negative = nValue < 0;
  const uint32_t magnitude =
      negative ? 0u - static_cast<uint32_t>(nValue) : static_cast<uint32_t>(nValue);
  std::string digits = std::to_string(magnitude);
  if (nLen != 0) {
    // One place of the width goes to the sign; the width is a 16-bit count.
    const auto width = static_cast<uint16_t>(static_cast<uint32_t>(nLen) - (negative ? 1u : 0u));
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  }
  if (negative) digits.insert(0, 1, '-');
  return digits;
}

long double EvalAsFloat(std::string_view cString) noexcept {
  long double v = 0;
  return TryStrToExtended(cString, v) ? v : 0;
}

int32_t EvalAsInteger(std::string_view cString) noexcept {
  // Only a sign and decimal digits: the framework's "$" hexadecimal form is no number here.
  if (cString.find('$') != std::string_view::npos) return 0;
  int32_t v = 0;
  return TryStrToInt(cString, v) ? v : 0;
}

std::string BooleanToYN(bool lValue) {
  return LoadStr(lValue ? SMsgYes : SMsgNo);
}

std::string BooleanToYNCode(bool lValue) {
  return lValue ? "X" : "-";
}

bool YNToBoolean(std::string_view cString) {
  const std::string text = Upper(TrimView(cString));
  return text == "X" || text == Upper(LoadStr(SMsgYes));
}

std::string StringToHex(std::string_view cString) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string r;
  if (cString.empty()) return r;
  r.resize(cString.size() * 3 - 1, ' ');
  for (size_t i = 0; i < cString.size(); ++i) {
    const auto b = static_cast<uint8_t>(cString[i]);
    r[3 * i] = kHex[b >> 4];
    r[3 * i + 1] = kHex[b & 15];
  }
  return r;
}

std::string FormatRes(int32_t nId, std::initializer_list<std::string_view> Args) {
  return Format(LoadStr(nId), Args);
}

// ---- Identifiers, buffers, hashing, time stamps and HTML

std::string MakeID(std::string_view cString) {
  const std::string_view text = TrimView(cString);
  std::string r;
  if (text.empty()) return r;
  r.reserve(text.size() + 1);
  if (text.front() >= '0' && text.front() <= '9') r += '_';
  for (char c : text) r += kIdentifierMap[static_cast<uint8_t>(c)];
  return r;
}

std::string UniqueID() {
  const TGUID g = CreateGuid();
  // D1 is read as a signed value: a set top bit gives "-" and the two's-complement magnitude.
  std::string r = DecToBase(static_cast<int32_t>(g.D1), 16);
  r += DecToBase(g.D2, 16);
  r += DecToBase(g.D3, 16);
  for (uint8_t b : g.D4) r += DecToBase(b, 16);
  return r;
}

std::string UniqueComponentID(const TComponent* AComponent) {
  if (AComponent == nullptr) return std::string();
  std::string r = AComponent->GetName();
  for (const TComponent* owner = AComponent->GetOwner(); owner; owner = owner->GetOwner()) {
    r += '_';
    r += owner->GetName();
  }
  return r;
}

std::string TimeStamp() {
  return FormatDateTime("yyyymmddhhnnss", Now());
}

int32_t GetHashCode(const void* Buffer, int32_t Count) noexcept {
  if (Count < 1 || Buffer == nullptr) return 0;
  const auto* p = static_cast<const uint8_t*>(Buffer);
  uint32_t h = 0;
  for (int32_t i = 0; i < Count; ++i) h = (((h << 5) | (h >> 11)) & 0xFFFF) ^ p[i];
  return static_cast<int32_t>(h);
}

bool CompareBuffers(const void* Buffer1, const void* Buffer2, int32_t Count) noexcept {
  if (Count <= 0 || Buffer1 == Buffer2) return true;
  if (Buffer1 == nullptr || Buffer2 == nullptr) return false;
  return std::memcmp(Buffer1, Buffer2, static_cast<size_t>(Count)) == 0;
}

int32_t FindChar(const void* Buffer, char cChar, int32_t Count) noexcept {
  if (Count <= 0 || Buffer == nullptr) return -1;
  const void* hit =
      std::memchr(Buffer, static_cast<unsigned char>(cChar), static_cast<size_t>(Count));
  return hit ? static_cast<int32_t>(static_cast<const char*>(hit) -
                                    static_cast<const char*>(Buffer))
             : -1;
}

std::string StringToHTML(std::string_view cString) {
  std::string r;
  r.reserve(cString.size() + cString.size() / 8);
  size_t run = 0;  // start of the bytes not yet copied
  for (size_t i = 0; i < cString.size(); ++i) {
    const std::string_view entity = kEntity[static_cast<uint8_t>(cString[i])];
    if (entity.empty()) continue;
    r.append(cString.substr(run, i - run));
    r.append(entity);
    run = i + 1;
  }
  r.append(cString.substr(run));
  return r;
}

// ---- Lists and separated strings

int32_t AScan(std::string_view cString, std::span<const std::string> Items) noexcept {
  for (size_t i = 0; i < Items.size(); ++i)
    if (Items[i] == cString) return static_cast<int32_t>(i);
  return -1;
}

int32_t slScan(std::string_view cString, const TStrings& List) noexcept {
  return AScan(cString, List.Items());
}

std::unique_ptr<TStringList> ArrayToList(std::span<const std::string> Items) {
  auto list = std::make_unique<TStringList>();
  list->SetCapacity(static_cast<int32_t>(Items.size()));
  for (const std::string& item : Items) list->Add(item);
  return list;
}

std::string StringListToString(const TStrings& List, std::string_view cSeparator) {
  const std::vector<std::string>& items = List.Items();
  if (items.empty()) return std::string();
  size_t size = cSeparator.size() * (items.size() - 1);
  for (const std::string& item : items) size += item.size();
  std::string r;
  r.reserve(size);
  r.append(items.front());
  for (size_t i = 1; i < items.size(); ++i) {
    r.append(cSeparator);
    r.append(items[i]);
  }
  return r;
}

std::unique_ptr<TStringList> StringToStringList(std::string_view cString,
                                                std::string_view cSeparator) {
  auto list = std::make_unique<TStringList>();
  size_t from = 0;
  if (!cSeparator.empty()) {
    // Counting first lets the list be sized once: regrowing a list of a million strings costs
    // more than a second search.
    size_t pieces = 1;
    for (size_t at = 0; (at = FindFrom(cString, cSeparator, at)) != std::string_view::npos;
         at += cSeparator.size())
      ++pieces;
    list->SetCapacity(static_cast<int32_t>(std::min<size_t>(pieces, INT32_MAX)));
    for (size_t at; (at = FindFrom(cString, cSeparator, from)) != std::string_view::npos;
         from = at + cSeparator.size())
      list->Add(std::string(cString.substr(from, at - from)));
  }
  if (from < cString.size()) list->Add(std::string(cString.substr(from)));
  return list;
}

// ---- Item lists

namespace {
std::string ItemKey(std::string_view cItem) {
  std::string key;
  key.reserve(cItem.size() + 1);
  key.append(cItem);
  key += ';';
  return key;
}
}  // namespace

bool StrBelongs(std::string_view cItem, std::string_view cList) {
  return FindFrom(cList, ItemKey(cItem), 0) != std::string_view::npos;
}

std::string StrInclude(std::string_view cItem, std::string_view cList) {
  const std::string key = ItemKey(cItem);
  std::string r(cList);
  if (FindFrom(cList, key, 0) == std::string_view::npos) r.append(key);
  return r;
}

std::string StrExclude(std::string_view cItem, std::string_view cList) {
  const std::string key = ItemKey(cItem);
  std::string r(cList);
  const size_t at = FindFrom(cList, key, 0);
  if (at != std::string_view::npos) r.erase(at, key.size());
  return r;
}

// ---- Taking pieces off the front

void ExtractWord(std::string& cWord, std::string& cString) {
  const std::string_view text = TrimView(cString);
  size_t end = 0;
  while (end < text.size() && !IsWhiteByte(static_cast<unsigned char>(text[end]))) ++end;
  std::string word(text.substr(0, end));
  std::string rest(TrimView(text.substr(end)));
  cString = std::move(rest);
  cWord = std::move(word);
}

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

bool RecognizeToken(const TCharSet& Chars, std::string& cString, char& cChar) {
  if (cString.empty() || !Chars[static_cast<uint8_t>(cString.front())]) return false;
  cChar = cString.front();
  cString.erase(0, 1);
  return true;
}

bool RecognizeExcept(const TCharSet& Chars, std::string& cString, char& cChar) {
  if (cString.empty() || Chars[static_cast<uint8_t>(cString.front())]) return false;
  cChar = cString.front();
  cString.erase(0, 1);
  return true;
}

}  // namespace morvane
