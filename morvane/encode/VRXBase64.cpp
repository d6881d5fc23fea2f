#include "morvane/encode/VRXBase64.h"

#include <algorithm>
#include <array>

#include "morvane/encode/internal/VRXEncodeKernels.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"

namespace morvane {

namespace {

constexpr const char* kInvalidValue = "Invalid value in Base64 Decoding Table";

// RFC 4648, section 4, table 1, with the pad character at index 64.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
constexpr uint8_t kPad = 64;
constexpr uint8_t kInvalid = 0xFF;

// The inverse table: the value of each byte, 64 for "=", kInvalid for every other byte.
constexpr std::array<uint8_t, 256> MakeValues() {
  std::array<uint8_t, 256> t{};
  t.fill(kInvalid);
  for (uint8_t v = 0; v <= kPad; ++v) t[static_cast<uint8_t>(kAlphabet[v])] = v;
  return t;
}
constexpr std::array<uint8_t, 256> kValues = MakeValues();
static_assert(kValues['A'] == 0 && kValues['/'] == 63 && kValues['='] == 64 &&
              kValues['-'] == kInvalid && kValues['\r'] == kInvalid && kValues[0] == kInvalid);

uint32_t Char(uint32_t Value) {
  return static_cast<uint8_t>(kAlphabet[Value]);
}

}  // namespace

TVRXBase64::TVRXBase64(TComponent* AOwner) : TCustomVRXCipher(AOwner) {
  SetGeometry(3, 4);
}

// ---- Encoding: whole groups in bulk; the group that holds the last byte, with its "=", alone.

void TVRXBase64::EncryptBuffer() {
  int32_t m = DirectBytes(btPlainText);
  const int32_t groups = m / 3;
  if (groups > 0) {
    uint8_t* out = PutDirect(btCipherText, 4 * groups);
    detail::ActiveEncodeKernels().Base64Encode(TakeDirect(btPlainText, 3 * groups),
                                               static_cast<size_t>(groups), out);
    m -= 3 * groups;
  }
  if (m > 0) {
    // One or two bytes left: the third comes from the padding buffer as a zero byte.
    const uint32_t b0 = ExtractByte(btPlainText);
    const uint32_t b1 = ExtractByte(btPlainText);
    const uint32_t b2 = ExtractByte(btPlainText);
    const uint32_t s0 = b0 >> 2;
    const uint32_t s1 = (b0 & 3) << 4 | b1 >> 4;
    const uint32_t s2 = m == 1 ? kPad : (b1 & 15) << 2 | b2 >> 6;
    Insert32Bits(btCipherText, Char(s0) << 24 | Char(s1) << 16 | Char(s2) << 8 | Char(kPad));
  }
}

// ---- Decoding: runs of plain groups in bulk; a group with "=", an invalid byte or a cut end
// goes through the byte-wise decoder, which has the last word on it.

void TVRXBase64::DecodeGroupBytewise() {
  uint32_t d[4];
  for (uint32_t& v : d) {
    v = kValues[ExtractByte(btCipherText)];
    if (v == kInvalid) throw Exception(kInvalidValue);
  }
  // "=" counts as padding only in the third and fourth place; before that it reads as 0.
  InsertByte(btPlainText, static_cast<uint8_t>((d[0] & 63) << 2 | (d[1] & 48) >> 4));
  if (d[2] == kPad) return;
  InsertByte(btPlainText, static_cast<uint8_t>((d[1] & 15) << 4 | (d[2] & 60) >> 2));
  if (d[3] == kPad) return;
  InsertByte(btPlainText, static_cast<uint8_t>((d[2] & 3) << 6 | (d[3] & 63)));
}

void TVRXBase64::DecryptBuffer() {
  const auto& kernels = detail::ActiveEncodeKernels();
  TChunkView chunk = ChunkView(btCipherText, btPlainText);
  while (!chunk.In().empty()) {
    const std::span<const uint8_t> in = chunk.In();
    const std::span<uint8_t> out = chunk.Out();
    const size_t groups = std::min(in.size() / 4, out.size() / 3);
    if (groups > 0) {
      const auto done = static_cast<int32_t>(kernels.Base64Decode(in.data(), groups, out.data()));
      chunk.Take(4 * done);
      chunk.Put(3 * done);
      if (chunk.In().empty()) break;
    }
    DecodeGroupBytewise();
  }
}

// ---- Drivers: the text alone, no framing.

std::string TVRXBase64::EncryptString(std::string_view S) {
  CheckLayoutSize(static_cast<int64_t>(S.size()), "string");
  TReadOnlyMemoryStream source(S);
  std::string text;
  text.reserve((S.size() + 2) / 3 * 4);
  TMemoryStream dest(std::move(text));
  EncryptStream(source, dest, static_cast<int32_t>(S.size()));
  return dest.TakeData();
}

std::string TVRXBase64::DecryptString(std::string_view S) {
  CheckLayoutSize(static_cast<int64_t>(S.size()), "Base64 text");
  TReadOnlyMemoryStream source(S);
  std::string bytes;
  bytes.reserve(S.size() / 4 * 3);
  TMemoryStream dest(std::move(bytes));
  DecryptStream(source, dest, static_cast<int32_t>(S.size()));
  return dest.TakeData();
}

void TVRXBase64::DecryptFile(const std::string& SourceFile, const std::string& DestFile) {
  CheckDistinctFiles(SourceFile, DestFile);
  int64_t n = 0;
  {
    TFileStream source(SourceFile, fmOpenReadShared);
    n = source.GetSize();
  }
  CheckLayoutSize(n, "Base64 file");
  DecryptFileRange(SourceFile, DestFile, 0, static_cast<int32_t>(n));
}

}  // namespace morvane
