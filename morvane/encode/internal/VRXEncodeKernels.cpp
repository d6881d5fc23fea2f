#include "morvane/encode/internal/VRXEncodeKernels.h"

#include <array>
#include <atomic>
#include <cstring>

#include "morvane/framework/internal/CpuFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#define MORVANE_ENCODE_X86 1
#include <immintrin.h>
#endif

namespace morvane::detail {

namespace {

// ---- Portable routines: tables derived at compile time from the two alphabets.

// RFC 4648, section 4, table 1 (the alphabet of RFC 2045).
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr uint8_t Base64Char(uint32_t x) {
  return static_cast<uint8_t>(kBase64Alphabet[x]);
}
// The uuencode mapping: 0 is the backquote so that no line carries blanks; 1..63 are x + 32.
constexpr uint8_t UUChar(uint32_t x) {
  return static_cast<uint8_t>(x == 0 ? 0x60 : x + 32);
}
constexpr uint32_t UUValue(uint8_t c) {
  return static_cast<uint32_t>(c - 32) & 63;
}

using TPairTable = std::array<std::array<uint8_t, 2>, 4096>;

// The two characters of every 12-bit value: one lookup serves half a group.
template <uint8_t (*Map)(uint32_t)>
constexpr TPairTable MakePairs() {
  TPairTable t{};
  for (uint32_t v = 0; v < 4096; ++v) t[v] = {Map(v >> 6), Map(v & 63)};
  return t;
}
constexpr TPairTable kBase64Pairs = MakePairs<Base64Char>();
constexpr TPairTable kUUPairs = MakePairs<UUChar>();
static_assert(kBase64Pairs[0][0] == 'A' && kBase64Pairs[4095][1] == '/');
static_assert(kUUPairs[0][0] == 0x60 && kUUPairs[64][0] == 0x21);

// Decoding tables: the value of a character already shifted to its place in the 24-bit group;
// every byte outside the 64 alphabet characters ("=" included) sets bit 24.
constexpr uint32_t kNotAlphabet = 0x01000000;
using TDecodeTable = std::array<uint32_t, 256>;
constexpr TDecodeTable MakeDecode(int Shift) {
  TDecodeTable t{};
  for (auto& e : t) e = kNotAlphabet;
  for (uint32_t v = 0; v < 64; ++v) t[Base64Char(v)] = v << Shift;
  return t;
}
constexpr TDecodeTable kDecode0 = MakeDecode(18);
constexpr TDecodeTable kDecode1 = MakeDecode(12);
constexpr TDecodeTable kDecode2 = MakeDecode(6);
constexpr TDecodeTable kDecode3 = MakeDecode(0);
static_assert(kDecode3['/'] == 63 && kDecode0['B'] == (1u << 18) && kDecode2['='] == kNotAlphabet);

template <const TPairTable& Pairs>
void EncodeGroupsPortable(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept {
  for (size_t i = 0; i < Groups; ++i, In += 3, Out += 4) {
    const uint32_t v = uint32_t{In[0]} << 16 | uint32_t{In[1]} << 8 | In[2];
    std::memcpy(Out, Pairs[v >> 12].data(), 2);
    std::memcpy(Out + 2, Pairs[v & 0xFFF].data(), 2);
  }
}

void Base64EncodePortable(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept {
  EncodeGroupsPortable<kBase64Pairs>(In, Groups, Out);
}

size_t Base64DecodePortable(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept {
  for (size_t i = 0; i < Groups; ++i, In += 4, Out += 3) {
    const uint32_t v = kDecode0[In[0]] | kDecode1[In[1]] | kDecode2[In[2]] | kDecode3[In[3]];
    if (v & kNotAlphabet) return i;
    Out[0] = static_cast<uint8_t>(v >> 16);
    Out[1] = static_cast<uint8_t>(v >> 8);
    Out[2] = static_cast<uint8_t>(v);
  }
  return Groups;
}

constexpr size_t kUULineBytes = 45;
constexpr size_t kUULineChars = 63;  // "M", 60 characters, CR LF
constexpr uint8_t kUUFullLength = UUChar(45);

void UUEncodeLinesPortable(const uint8_t* In, size_t Lines, uint8_t* Out) noexcept {
  for (size_t l = 0; l < Lines; ++l, In += kUULineBytes, Out += kUULineChars) {
    Out[0] = kUUFullLength;
    EncodeGroupsPortable<kUUPairs>(In, 15, Out + 1);
    Out[61] = '\r';
    Out[62] = '\n';
  }
}

size_t UUDecodeLinesPortable(const uint8_t* In, size_t Lines, uint8_t* Out) noexcept {
  for (size_t l = 0; l < Lines; ++l, In += kUULineChars, Out += kUULineBytes) {
    if (UUValue(In[0]) != 45) return l;
    const uint8_t* c = In + 1;
    for (size_t g = 0; g < 15; ++g, c += 4) {
      const uint32_t v =
          UUValue(c[0]) << 18 | UUValue(c[1]) << 12 | UUValue(c[2]) << 6 | UUValue(c[3]);
      Out[3 * g] = static_cast<uint8_t>(v >> 16);
      Out[3 * g + 1] = static_cast<uint8_t>(v >> 8);
      Out[3 * g + 2] = static_cast<uint8_t>(v);
    }
  }
  return Lines;
}

size_t RemoveLineBreaksPortable(const uint8_t* In, size_t N, uint8_t* Out) noexcept {
  size_t o = 0;
  for (size_t i = 0; i < N; ++i) {
    Out[o] = In[i];
    o += In[i] != '\r' && In[i] != '\n';
  }
  return o;
}

size_t LineFeedsToCrLfPortable(const uint8_t* In, size_t N, uint8_t* Out, uint8_t& Prev) noexcept {
  size_t o = 0;
  uint8_t prev = Prev;
  for (size_t i = 0; i < N; ++i) {
    if (In[i] == '\n' && prev != '\r') Out[o++] = '\r';
    Out[o++] = prev = In[i];
  }
  Prev = prev;
  return o;
}

constexpr TEncodeKernels kPortable{TEncodePath::Portable,    "portable",
                                   Base64EncodePortable,     Base64DecodePortable,
                                   UUEncodeLinesPortable,    UUDecodeLinesPortable,
                                   RemoveLineBreaksPortable, LineFeedsToCrLfPortable};

// The line-break routines of the vector paths, over a vector type V of the path: a vector free
// of the bytes sought is copied whole; otherwise the whole vector is stored too, its bytes up
// to the first one sought are kept and the next vector starts after it. Lines are long (76 or
// 62 characters), so a vector holds at most one break and this costs one extra step per line.
// Every store lies inside Out's room: the output never runs ahead of the input (of twice the
// input for the line feeds) by more than the vector the store writes.
template <size_t V, class TMask, class TStore>
[[gnu::always_inline]] inline size_t RemoveLineBreaksVector(const uint8_t* In, size_t N,
                                                            uint8_t* Out, TMask&& Mask,
                                                            TStore&& Store) noexcept {
  size_t i = 0, o = 0;
  while (i + V <= N) {
    const uint32_t m = Mask(In + i, '\r', '\n');
    Store(In + i, Out + o);
    if (m == 0) {
      i += V;
      o += V;
      continue;
    }
    const auto keep = static_cast<size_t>(__builtin_ctz(m));
    o += keep;
    i += keep + 1;
  }
  return o + RemoveLineBreaksPortable(In + i, N - i, Out + o);
}

template <size_t V, class TMask, class TStore>
[[gnu::always_inline]] inline size_t LineFeedsToCrLfVector(const uint8_t* In, size_t N,
                                                           uint8_t* Out, uint8_t& Prev,
                                                           TMask&& Mask, TStore&& Store) noexcept {
  size_t i = 0, o = 0;
  while (i + V <= N) {
    const uint32_t m = Mask(In + i, '\n', '\n');
    Store(In + i, Out + o);
    if (m == 0) {
      i += V;
      o += V;
      continue;
    }
    const auto at = static_cast<size_t>(__builtin_ctz(m));
    o += at;
    if ((at > 0 ? In[i + at - 1] : i > 0 ? In[i - 1] : Prev) != '\r') Out[o++] = '\r';
    Out[o++] = '\n';
    i += at + 1;
  }
  if (i > 0) Prev = In[i - 1];
  return o + LineFeedsToCrLfPortable(In + i, N - i, Out + o, Prev);
}

#ifdef MORVANE_ENCODE_X86

// ---- Vector routines, after W. Muła and D. Lemire, "Faster Base64 Encoding and Decoding
// Using AVX2 Instructions" (ACM TOIT 18(3), 2018): byte shuffles gather each 3-byte group into
// a 32-bit lane, two multiplies move the four 6-bit fields into four bytes, and a 16-entry
// shuffle table turns values into characters (and back, with range checks by nibble).

#define MORVANE_SSSE3 __attribute__((target("ssse3")))
#define MORVANE_AVX2 __attribute__((target("avx2")))

// Per 32-bit lane, the bytes b1 b0 b2 b1 of a group b0 b1 b2 (12 input bytes per 16), taken
// from positions 0..11 of the register, or 4..15 for a load that ends at the last input byte.
#define MORVANE_GATHER(o)                                                                   \
  1 + (o), 0 + (o), 2 + (o), 1 + (o), 4 + (o), 3 + (o), 5 + (o), 4 + (o), 7 + (o), 6 + (o), \
      8 + (o), 7 + (o), 10 + (o), 9 + (o), 11 + (o), 10 + (o)
// Value to character, indexed by a class of the 6-bit value: 0 for 26..51, 1..10 for 52..61,
// 11 for 62, 12 for 63, 13 for 0..25; each entry is the offset added to the value.
#define MORVANE_BASE64_OFFSETS 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0
// Character checks by nibble: a character is outside the alphabet exactly when the entry of
// its low nibble and the entry of its high nibble share a bit. High nibbles 2..7 carry one bit
// per group of columns that share their valid low nibbles; 0, 1 and 8..15 carry 0x10, which
// every low-nibble entry holds.
#define MORVANE_BASE64_CHECK_LO \
  0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A
#define MORVANE_BASE64_CHECK_HI \
  0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10
// Character to value, indexed by the high nibble ("/" moved to index 1 to set it apart from
// "+"): "/" + 16, "+" + 19, digits + 4, upper case − 65, lower case − 71.
#define MORVANE_BASE64_ROLL 0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0
// After the multiply-adds each 32-bit lane holds the 24 output bits, least significant first.
#define MORVANE_PACK -1, -1, -1, -1, 12, 13, 14, 8, 9, 10, 4, 5, 6, 0, 1, 2

// -- SSSE3

MORVANE_SSSE3 inline __m128i SixBits128(__m128i Gathered) {
  const __m128i t0 = _mm_and_si128(Gathered, _mm_set1_epi32(0x0FC0FC00));
  const __m128i t1 = _mm_mulhi_epu16(t0, _mm_set1_epi32(0x04000040));
  const __m128i t2 = _mm_and_si128(Gathered, _mm_set1_epi32(0x003F03F0));
  const __m128i t3 = _mm_mullo_epi16(t2, _mm_set1_epi32(0x01000010));
  return _mm_or_si128(t1, t3);
}

MORVANE_SSSE3 inline __m128i Base64Chars128(__m128i Values) {
  __m128i cls = _mm_subs_epu8(Values, _mm_set1_epi8(51));
  const __m128i low = _mm_cmpgt_epi8(_mm_set1_epi8(26), Values);
  cls = _mm_or_si128(cls, _mm_and_si128(low, _mm_set1_epi8(13)));
  return _mm_add_epi8(Values, _mm_shuffle_epi8(_mm_setr_epi8(MORVANE_BASE64_OFFSETS), cls));
}

MORVANE_SSSE3 inline __m128i UUChars128(__m128i Values) {
  const __m128i zero = _mm_cmpeq_epi8(Values, _mm_setzero_si128());
  return _mm_add_epi8(_mm_add_epi8(Values, _mm_set1_epi8(32)),
                      _mm_and_si128(zero, _mm_set1_epi8(64)));
}

// Twelve bytes from P (Offset 0) or from P + 4 (Offset 4); 16 bytes are read from P.
MORVANE_SSSE3 inline __m128i Gather128(const uint8_t* P, bool Shifted) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
  return _mm_shuffle_epi8(
      v, Shifted ? _mm_setr_epi8(MORVANE_GATHER(4)) : _mm_setr_epi8(MORVANE_GATHER(0)));
}

// Four values (one group per 32-bit lane, first character in the low byte) to 12 bytes at
// the start of the register.
MORVANE_SSSE3 inline __m128i Pack128(__m128i Values) {
  const __m128i merged = _mm_maddubs_epi16(Values, _mm_set1_epi32(0x01400140));
  const __m128i words = _mm_madd_epi16(merged, _mm_set1_epi32(0x00011000));
  return _mm_shuffle_epi8(words, _mm_set_epi8(MORVANE_PACK));
}

// The values of 16 Base64 characters; false when one is outside the alphabet (or "=").
MORVANE_SSSE3 inline bool Base64Values128(__m128i Chars, __m128i& Values) {
  const __m128i hiNibble = _mm_and_si128(_mm_srli_epi32(Chars, 4), _mm_set1_epi8(0x0F));
  const __m128i loNibble = _mm_and_si128(Chars, _mm_set1_epi8(0x0F));
  const __m128i lo = _mm_shuffle_epi8(_mm_setr_epi8(MORVANE_BASE64_CHECK_LO), loNibble);
  const __m128i hi = _mm_shuffle_epi8(_mm_setr_epi8(MORVANE_BASE64_CHECK_HI), hiNibble);
  const __m128i clash = _mm_cmpeq_epi8(_mm_and_si128(lo, hi), _mm_setzero_si128());
  if (_mm_movemask_epi8(clash) != 0xFFFF) return false;
  const __m128i slash = _mm_cmpeq_epi8(Chars, _mm_set1_epi8('/'));
  const __m128i roll =
      _mm_shuffle_epi8(_mm_setr_epi8(MORVANE_BASE64_ROLL), _mm_add_epi8(slash, hiNibble));
  Values = _mm_add_epi8(Chars, roll);
  return true;
}

MORVANE_SSSE3 inline __m128i UUValues128(__m128i Chars) {
  return _mm_and_si128(_mm_sub_epi8(Chars, _mm_set1_epi8(32)), _mm_set1_epi8(63));
}

MORVANE_SSSE3 inline void Store128(uint8_t* P, __m128i V) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(P), V);
}
MORVANE_SSSE3 inline __m128i Load128(const uint8_t* P) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
}
// The first 12 bytes of V, nothing more.
MORVANE_SSSE3 inline void Store12(uint8_t* P, __m128i V) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(P), V);
  const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(V, 8));
  std::memcpy(P + 8, &last, 4);
}

MORVANE_SSSE3 void Base64EncodeSSSE3(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept {
  size_t i = 0;
  // Four groups a step; the 16-byte load must end inside the input.
  for (; i + 6 <= Groups; i += 4) {
    Store128(Out + 4 * i, Base64Chars128(SixBits128(Gather128(In + 3 * i, false))));
  }
  if (i + 4 <= Groups && i > 0) {
    Store128(Out + 4 * i, Base64Chars128(SixBits128(Gather128(In + 3 * i - 4, true))));
    i += 4;
  }
  Base64EncodePortable(In + 3 * i, Groups - i, Out + 4 * i);
}

MORVANE_SSSE3 size_t Base64DecodeSSSE3(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept {
  size_t i = 0;
  for (; i + 4 <= Groups; i += 4) {
    __m128i values;
    if (!Base64Values128(Load128(In + 4 * i), values)) break;
    const __m128i bytes = Pack128(values);
    if (i + 6 <= Groups) {
      Store128(Out + 3 * i, bytes);  // the last 4 bytes are rewritten by the next step
    } else {
      Store12(Out + 3 * i, bytes);
    }
  }
  return i + Base64DecodePortable(In + 4 * i, Groups - i, Out + 3 * i);
}

MORVANE_SSSE3 void UUEncodeLinesSSSE3(const uint8_t* In, size_t Lines, uint8_t* Out) noexcept {
  for (size_t l = 0; l < Lines; ++l, In += kUULineBytes, Out += kUULineChars) {
    Out[0] = kUUFullLength;
    // Bytes 0..35 in three steps, then 33..44 read as 29..44.
    Store128(Out + 1, UUChars128(SixBits128(Gather128(In, false))));
    Store128(Out + 17, UUChars128(SixBits128(Gather128(In + 12, false))));
    Store128(Out + 33, UUChars128(SixBits128(Gather128(In + 24, false))));
    Store128(Out + 45, UUChars128(SixBits128(Gather128(In + 29, true))));
    Out[61] = '\r';
    Out[62] = '\n';
  }
}

MORVANE_SSSE3 size_t UUDecodeLinesSSSE3(const uint8_t* In, size_t Lines, uint8_t* Out) noexcept {
  for (size_t l = 0; l < Lines; ++l, In += kUULineChars, Out += kUULineBytes) {
    if (UUValue(In[0]) != 45) return l;
    // Characters 0..47 in three steps, then 44..59 (bytes 33..44).
    Store128(Out, Pack128(UUValues128(Load128(In + 1))));
    Store128(Out + 12, Pack128(UUValues128(Load128(In + 17))));
    Store128(Out + 24, Pack128(UUValues128(Load128(In + 33))));
    Store12(Out + 33, Pack128(UUValues128(Load128(In + 45))));
  }
  return Lines;
}

// Bit k set when byte k of the 16 at P is A or B.
MORVANE_SSSE3 inline uint32_t Match128(const uint8_t* P, char A, char B) {
  const __m128i v = Load128(P);
  return static_cast<uint32_t>(_mm_movemask_epi8(
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(A)), _mm_cmpeq_epi8(v, _mm_set1_epi8(B)))));
}
MORVANE_SSSE3 inline void Copy128(const uint8_t* From, uint8_t* To) {
  Store128(To, Load128(From));
}

MORVANE_SSSE3 size_t RemoveLineBreaksSSSE3(const uint8_t* In, size_t N, uint8_t* Out) noexcept {
  return RemoveLineBreaksVector<16>(In, N, Out, Match128, Copy128);
}
MORVANE_SSSE3 size_t LineFeedsToCrLfSSSE3(const uint8_t* In, size_t N, uint8_t* Out,
                                          uint8_t& Prev) noexcept {
  return LineFeedsToCrLfVector<16>(In, N, Out, Prev, Match128, Copy128);
}

constexpr TEncodeKernels kSSSE3{TEncodePath::SSSE3,    "ssse3",
                                Base64EncodeSSSE3,     Base64DecodeSSSE3,
                                UUEncodeLinesSSSE3,    UUDecodeLinesSSSE3,
                                RemoveLineBreaksSSSE3, LineFeedsToCrLfSSSE3};

// -- AVX2: the same steps on two 128-bit lanes.

MORVANE_AVX2 inline __m256i SixBits256(__m256i Gathered) {
  const __m256i t0 = _mm256_and_si256(Gathered, _mm256_set1_epi32(0x0FC0FC00));
  const __m256i t1 = _mm256_mulhi_epu16(t0, _mm256_set1_epi32(0x04000040));
  const __m256i t2 = _mm256_and_si256(Gathered, _mm256_set1_epi32(0x003F03F0));
  const __m256i t3 = _mm256_mullo_epi16(t2, _mm256_set1_epi32(0x01000010));
  return _mm256_or_si256(t1, t3);
}

MORVANE_AVX2 inline __m256i Base64Chars256(__m256i Values) {
  __m256i cls = _mm256_subs_epu8(Values, _mm256_set1_epi8(51));
  const __m256i low = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), Values);
  cls = _mm256_or_si256(cls, _mm256_and_si256(low, _mm256_set1_epi8(13)));
  const __m256i offsets = _mm256_setr_epi8(MORVANE_BASE64_OFFSETS, MORVANE_BASE64_OFFSETS);
  return _mm256_add_epi8(Values, _mm256_shuffle_epi8(offsets, cls));
}

MORVANE_AVX2 inline __m256i UUChars256(__m256i Values) {
  const __m256i zero = _mm256_cmpeq_epi8(Values, _mm256_setzero_si256());
  return _mm256_add_epi8(_mm256_add_epi8(Values, _mm256_set1_epi8(32)),
                         _mm256_and_si256(zero, _mm256_set1_epi8(64)));
}

// Twenty-four bytes from P, read exactly: bytes 0..15 into the low lane, 8..23 into the high.
MORVANE_AVX2 inline __m256i Gather256(const uint8_t* P) {
  const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(P)), Load128(P + 8), 1);
  return _mm256_shuffle_epi8(v, _mm256_setr_epi8(MORVANE_GATHER(0), MORVANE_GATHER(4)));
}

// Eight groups of values to 24 bytes at the start of the register.
MORVANE_AVX2 inline __m256i Pack256(__m256i Values) {
  const __m256i merged = _mm256_maddubs_epi16(Values, _mm256_set1_epi32(0x01400140));
  const __m256i words = _mm256_madd_epi16(merged, _mm256_set1_epi32(0x00011000));
  const __m256i lanes = _mm256_shuffle_epi8(words, _mm256_set_epi8(MORVANE_PACK, MORVANE_PACK));
  return _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
}

MORVANE_AVX2 inline bool Base64Values256(__m256i Chars, __m256i& Values) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i hiNibble = _mm256_and_si256(_mm256_srli_epi32(Chars, 4), nibble);
  const __m256i loNibble = _mm256_and_si256(Chars, nibble);
  const __m256i lo = _mm256_shuffle_epi8(
      _mm256_setr_epi8(MORVANE_BASE64_CHECK_LO, MORVANE_BASE64_CHECK_LO), loNibble);
  const __m256i hi = _mm256_shuffle_epi8(
      _mm256_setr_epi8(MORVANE_BASE64_CHECK_HI, MORVANE_BASE64_CHECK_HI), hiNibble);
  if (!_mm256_testz_si256(lo, hi)) return false;
  const __m256i slash = _mm256_cmpeq_epi8(Chars, _mm256_set1_epi8('/'));
  const __m256i roll = _mm256_shuffle_epi8(
      _mm256_setr_epi8(MORVANE_BASE64_ROLL, MORVANE_BASE64_ROLL), _mm256_add_epi8(slash, hiNibble));
  Values = _mm256_add_epi8(Chars, roll);
  return true;
}

MORVANE_AVX2 inline __m256i UUValues256(__m256i Chars) {
  return _mm256_and_si256(_mm256_sub_epi8(Chars, _mm256_set1_epi8(32)), _mm256_set1_epi8(63));
}

MORVANE_AVX2 inline __m256i Load256(const uint8_t* P) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P));
}
MORVANE_AVX2 inline void Store256(uint8_t* P, __m256i V) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(P), V);
}
// The first 24 bytes of V, nothing more.
MORVANE_AVX2 inline void Store24(uint8_t* P, __m256i V) {
  Store128(P, _mm256_castsi256_si128(V));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(P + 16), _mm256_extracti128_si256(V, 1));
}

MORVANE_AVX2 void Base64EncodeAVX2(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept {
  size_t i = 0;
  for (; i + 16 <= Groups; i += 16) {
    Store256(Out + 4 * i, Base64Chars256(SixBits256(Gather256(In + 3 * i))));
    Store256(Out + 4 * i + 32, Base64Chars256(SixBits256(Gather256(In + 3 * i + 24))));
  }
  for (; i + 8 <= Groups; i += 8) {
    Store256(Out + 4 * i, Base64Chars256(SixBits256(Gather256(In + 3 * i))));
  }
  // The tail runs legacy SSE code: leave the upper halves clean first, or every SSE
  // instruction after this one waits on them (the compiler does not do it for a tail call).
  _mm256_zeroupper();
  Base64EncodeSSSE3(In + 3 * i, Groups - i, Out + 4 * i);
}

MORVANE_AVX2 size_t Base64DecodeAVX2(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept {
  size_t i = 0;
  for (; i + 8 <= Groups; i += 8) {
    __m256i values;
    if (!Base64Values256(Load256(In + 4 * i), values)) break;
    const __m256i bytes = Pack256(values);
    if (i + 16 <= Groups) {
      Store256(Out + 3 * i, bytes);  // the last 8 bytes are rewritten by the next step
    } else {
      Store24(Out + 3 * i, bytes);
    }
  }
  _mm256_zeroupper();  // as in Base64EncodeAVX2
  return i + Base64DecodeSSSE3(In + 4 * i, Groups - i, Out + 3 * i);
}

MORVANE_AVX2 void UUEncodeLinesAVX2(const uint8_t* In, size_t Lines, uint8_t* Out) noexcept {
  for (size_t l = 0; l < Lines; ++l, In += kUULineBytes, Out += kUULineChars) {
    Out[0] = kUUFullLength;
    // Bytes 0..23 give characters 0..31, bytes 21..44 characters 28..59.
    Store256(Out + 1, UUChars256(SixBits256(Gather256(In))));
    Store256(Out + 29, UUChars256(SixBits256(Gather256(In + 21))));
    Out[61] = '\r';
    Out[62] = '\n';
  }
}

MORVANE_AVX2 size_t UUDecodeLinesAVX2(const uint8_t* In, size_t Lines, uint8_t* Out) noexcept {
  for (size_t l = 0; l < Lines; ++l, In += kUULineChars, Out += kUULineBytes) {
    if (UUValue(In[0]) != 45) return l;
    // Characters 0..31 give bytes 0..23 (8 more bytes are rewritten next), 28..59 bytes 21..44.
    Store256(Out, Pack256(UUValues256(Load256(In + 1))));
    Store24(Out + 21, Pack256(UUValues256(Load256(In + 29))));
  }
  return Lines;
}

MORVANE_AVX2 inline uint32_t Match256(const uint8_t* P, char A, char B) {
  const __m256i v = Load256(P);
  return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(
      _mm256_cmpeq_epi8(v, _mm256_set1_epi8(A)), _mm256_cmpeq_epi8(v, _mm256_set1_epi8(B)))));
}
MORVANE_AVX2 inline void Copy256(const uint8_t* From, uint8_t* To) {
  Store256(To, Load256(From));
}

MORVANE_AVX2 size_t RemoveLineBreaksAVX2(const uint8_t* In, size_t N, uint8_t* Out) noexcept {
  const size_t n = RemoveLineBreaksVector<32>(In, N, Out, Match256, Copy256);
  _mm256_zeroupper();
  return n;
}
MORVANE_AVX2 size_t LineFeedsToCrLfAVX2(const uint8_t* In, size_t N, uint8_t* Out,
                                        uint8_t& Prev) noexcept {
  const size_t n = LineFeedsToCrLfVector<32>(In, N, Out, Prev, Match256, Copy256);
  _mm256_zeroupper();
  return n;
}

constexpr TEncodeKernels kAVX2{TEncodePath::AVX2,    "avx2",
                               Base64EncodeAVX2,     Base64DecodeAVX2,
                               UUEncodeLinesAVX2,    UUDecodeLinesAVX2,
                               RemoveLineBreaksAVX2, LineFeedsToCrLfAVX2};

#endif  // MORVANE_ENCODE_X86

const TEncodeKernels* Best() noexcept {
  if (const TEncodeKernels* k = EncodeKernels(TEncodePath::AVX2)) return k;
  if (const TEncodeKernels* k = EncodeKernels(TEncodePath::SSSE3)) return k;
  return &kPortable;
}

std::atomic<const TEncodeKernels*> gActive{nullptr};

}  // namespace

const TEncodeKernels* EncodeKernels(TEncodePath Path) noexcept {
  switch (Path) {
    case TEncodePath::Portable:
      return &kPortable;
#ifdef MORVANE_ENCODE_X86
    case TEncodePath::SSSE3:
      return CpuFeatures().ssse3 ? &kSSSE3 : nullptr;
    case TEncodePath::AVX2:
      // The AVX2 routines finish their tails with the SSSE3 ones.
      return CpuFeatures().avx2 && CpuFeatures().ssse3 ? &kAVX2 : nullptr;
#endif
    default:
      return nullptr;
  }
}

const TEncodeKernels& ActiveEncodeKernels() noexcept {
  const TEncodeKernels* k = gActive.load(std::memory_order_acquire);
  if (k == nullptr) {
    k = Best();
    gActive.store(k, std::memory_order_release);
  }
  return *k;
}

bool SelectEncodePath(TEncodePath Path) noexcept {
  const TEncodeKernels* k = EncodeKernels(Path);
  if (k == nullptr) return false;
  gActive.store(k, std::memory_order_release);
  return true;
}

}  // namespace morvane::detail
