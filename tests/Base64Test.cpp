// TVRXBase64: published vectors, chunk boundaries, strict decoding, files, and the vector paths
// against the portable one (every suite that names a path runs once per path this CPU offers).
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <random>
#include <typeinfo>

#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXEncodeKernels.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "support/Vectors.h"

#ifdef MORVANE_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

using namespace morvane;
using morvane::detail::TEncodePath;
using morvane::test::FromHex;
using morvane::test::RandomBytes;
using morvane::test::TempPath;

namespace {

constexpr const char* kInvalid = "Invalid value in Base64 Decoding Table";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// An independent encoder: a bit accumulator, one character per six bits, then "=" to a
// multiple of four.
std::string ReferenceEncode(std::string_view in) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (unsigned char c : in) {
    acc = acc << 8 | c;
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += alphabet[(acc >> bits) & 63];
    }
  }
  if (bits > 0) out += alphabet[(acc << (6 - bits)) & 63];
  while (out.size() % 4 != 0) out += '=';
  return out;
}

// Runs F and returns the message of the framework's base Exception it raised ("" when none);
// a subclass (one of the package's own exceptions) fails the test.
template <class F>
std::string BaseExceptionOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    EXPECT_EQ(typeid(e), typeid(Exception)) << "raised " << typeid(e).name();
    return e.Message();
  }
  return "";
}

std::string EncodeStream(TVRXBase64& c, const std::string& plain) {
  TMemoryStream src(plain), dst;
  c.EncryptStream(src, dst, static_cast<int32_t>(plain.size()));
  EXPECT_EQ(dst.GetPosition(), 0);
  return dst.Data();
}

std::string DecodeStream(TVRXBase64& c, const std::string& text) {
  TMemoryStream src(text), dst;
  c.DecryptStream(src, dst, static_cast<int32_t>(text.size()));
  return dst.Data();
}

// Every suite below runs once per encoder path; a path this CPU lacks is skipped.
class Base64Path : public ::testing::TestWithParam<TEncodePath> {
 protected:
  void SetUp() override {
    if (!detail::SelectEncodePath(GetParam())) GTEST_SKIP() << "path not available here";
  }
  void TearDown() override {
    for (auto p : {TEncodePath::AVX2, TEncodePath::SSSE3, TEncodePath::Portable}) {
      if (detail::SelectEncodePath(p)) break;
    }
  }
};

std::string PathName(const ::testing::TestParamInfo<TEncodePath>& info) {
  switch (info.param) {
    case TEncodePath::Portable:
      return "Portable";
    case TEncodePath::SSSE3:
      return "SSSE3";
    default:
      return "AVX2";
  }
}

}  // namespace

TEST_P(Base64Path, Rfc4648Section10) {
  const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  TVRXBase64 c;
  for (auto [plain, text] : vectors) {
    EXPECT_EQ(c.EncryptString(plain), text);
    EXPECT_EQ(c.DecryptString(text), plain);
  }
}

// Every record of the vector file, through strings, streams and files, with BufferSize 1 and
// the default.
TEST_P(Base64Path, VectorFile) {
  const auto records = test::LoadVectors("base64.txt");
  ASSERT_FALSE(records.empty());
  int checked = 0;
  for (int32_t bufferSize : {1000, 1}) {
    TVRXBase64 c;
    c.SetBufferSize(bufferSize);
    for (const auto& r : records) {
      SCOPED_TRACE(r.Where() + " BufferSize " + std::to_string(bufferSize));
      const std::string text = r.Bytes("Encoded");
      if (r.Has("Error")) {
        EXPECT_EQ(BaseExceptionOf([&] { c.DecryptString(text); }), r.Get("Error"));
        EXPECT_EQ(BaseExceptionOf([&] { DecodeStream(c, text); }), r.Get("Error"));
        ++checked;
        continue;
      }
      const std::string plain = r.Bytes("Plain");
      EXPECT_EQ(c.DecryptString(text), plain);
      EXPECT_EQ(DecodeStream(c, text), plain);
      if (r.Has("Direction") && r.Get("Direction") == "decode") {
        ++checked;
        continue;
      }
      EXPECT_EQ(c.EncryptString(plain), text);
      EXPECT_EQ(EncodeStream(c, plain), text);
      const std::string src = TempPath("v-plain"), enc = TempPath("v-enc"), dec = TempPath("v-dec");
      WriteFile(src, plain);
      c.EncryptFile(src, enc);
      EXPECT_EQ(ReadFile(enc), text);
      c.DecryptFile(enc, dec);
      EXPECT_EQ(ReadFile(dec), plain);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 2 * static_cast<int>(records.size()));
}

// One byte under, at and over an encoding chunk (3000 bytes by default) and two chunks plus
// one: one unbroken text, "=" only at its very end; the same through the smallest chunks.
TEST_P(Base64Path, ChunkBoundaries) {
  for (int32_t bufferSize : {1000, 1, 2, 7}) {
    TVRXBase64 c;
    c.SetBufferSize(bufferSize);
    const size_t chunk = 3 * static_cast<size_t>(bufferSize);
    for (size_t n : {chunk - 1, chunk, chunk + 1, 2 * chunk + 1, size_t{3001}, size_t{6001}}) {
      const std::string plain = RandomBytes(n, n * 31 + bufferSize);
      const std::string text = c.EncryptString(plain);
      ASSERT_EQ(text.size(), 4 * ((n + 2) / 3)) << n;
      EXPECT_EQ(text, ReferenceEncode(plain)) << n << " BufferSize " << bufferSize;
      EXPECT_EQ(text.find('='), n % 3 == 0 ? std::string::npos : text.size() - (3 - n % 3)) << n;
      EXPECT_EQ(c.DecryptString(text), plain) << n << " BufferSize " << bufferSize;
    }
  }
}

TEST_P(Base64Path, StrictDecoding) {
  TVRXBase64 c;
  const std::string good = c.EncryptString(RandomBytes(4500, 7));  // 6000 characters: 2 chunks
  // Every byte that is not an alphabet character or "=" fails, wherever it stands, in the
  // first chunk, the second, and inside a run long enough for the bulk decoder.
  for (int b = 0; b < 256; ++b) {
    const char ch = static_cast<char>(b);
    const bool alphabet = std::isalnum(b) && b < 128;
    if (alphabet || ch == '+' || ch == '/' || ch == '=') continue;
    for (size_t pos : {size_t{0}, size_t{37}, size_t{3999}, size_t{4000}, good.size() - 1}) {
      std::string bad = good;
      bad[pos] = ch;
      EXPECT_EQ(BaseExceptionOf([&] { c.DecryptString(bad); }), kInvalid) << b << " at " << pos;
    }
  }
  // Cut groups, and line breaks after a valid text.
  for (size_t cut : {1, 2, 3}) {
    EXPECT_EQ(BaseExceptionOf([&] { c.DecryptString(good.substr(0, good.size() - cut)); }),
              kInvalid);
  }
  EXPECT_EQ(BaseExceptionOf([&] { c.DecryptString(good + "\r\n"); }), kInvalid);
  // The component stays usable after a failure.
  EXPECT_EQ(c.DecryptString("Zm9v"), "foo");
}

// "=" in a group of its own anywhere in a long text: the groups around it decode in bulk, the
// padded group alone, and decoding goes on after it.
TEST_P(Base64Path, PaddedGroupsInsideLongTexts) {
  TVRXBase64 c;
  const std::string a = RandomBytes(301, 1), b = RandomBytes(299, 2);
  const std::string ta = ReferenceEncode(a);  // ends in "=="
  EXPECT_EQ(c.DecryptString(ta + ReferenceEncode(b) + ta), a + b + a);
  // "=" in the first or second place reads as 0.
  std::string t = ReferenceEncode(b);
  t[100] = '=';
  t[205] = '=';
  std::string expect =
      c.DecryptString(t.substr(0, 100) + "A" + t.substr(101, 104) + "A" + t.substr(206));
  EXPECT_EQ(c.DecryptString(t), expect);
}

TEST_P(Base64Path, FilesRoundTripAndKeepDestinations) {
  TVRXBase64 c;
  const std::string src = TempPath("b-src"), enc = TempPath("b-enc"), dec = TempPath("b-dec");
  for (size_t n : {size_t{0}, size_t{1}, size_t{3000}, size_t{10001}}) {
    const std::string plain = RandomBytes(n, n + 5);
    WriteFile(src, plain);
    WriteFile(dec, "old content that must go");
    c.EncryptFile(src, enc);
    EXPECT_EQ(ReadFile(enc), ReferenceEncode(plain));
    c.DecryptFile(enc, dec);
    EXPECT_EQ(ReadFile(dec), plain);
  }
  // A source that cannot be opened leaves an existing destination as it was.
  WriteFile(dec, "keep me");
  EXPECT_THROW(c.DecryptFile(TempPath("b-missing"), dec), EFOpenError);
  EXPECT_EQ(ReadFile(dec), "keep me");
  EXPECT_THROW(c.EncryptFile(TempPath("b-missing"), dec), EFOpenError);
  EXPECT_EQ(ReadFile(dec), "keep me");
  // Source and destination the same file, whatever the names: refused, source intact.
  WriteFile(src, "Zm9v");
  EXPECT_THROW(c.DecryptFile(src, src), EFCreateError);
  EXPECT_THROW(c.EncryptFile(src, TempPath("./b-src")), EFCreateError);
  EXPECT_EQ(ReadFile(src), "Zm9v");
  // An invalid file raises the decoding error.
  WriteFile(src, "Zm9v\n");
  EXPECT_EQ(BaseExceptionOf([&] { c.DecryptFile(src, dec); }), kInvalid);
}

TEST_P(Base64Path, CancelStopsTheRunAndLeavesTheComponentUsable) {
  TVRXBase64 c;
  c.SetBufferSize(10);
  int calls = 0;
  c.SetOnProgress([&](uint8_t, bool& abort) { abort = ++calls == 2; });
  EXPECT_THROW(c.EncryptString(RandomBytes(100, 3)), EVRXEncryptCancel);
  calls = 0;
  EXPECT_THROW(c.DecryptString(ReferenceEncode(RandomBytes(100, 3))), EVRXDecryptCancel);
  c.SetOnProgress(nullptr);
  EXPECT_EQ(c.EncryptString("foobar"), "Zm9vYmFy");
}

// The bulk routines of this path against the portable ones on the same seeded inputs: the same
// characters, and for decoding the same count of clean groups and the same bytes.
TEST_P(Base64Path, KernelsMatchPortable) {
  const auto& fast = *detail::EncodeKernels(GetParam());
  const auto& portable = *detail::EncodeKernels(TEncodePath::Portable);
  std::mt19937_64 rng(20240611);
  const std::string noise = std::string("=-_ \r\n\t.", 8) + std::string(1, '\0') + "\x80\xff";
  for (int round = 0; round < 400; ++round) {
    const size_t groups = rng() % 90;
    const std::string plain = RandomBytes(3 * groups, rng());
    std::string a(4 * groups + 8, '#'), b = a;
    fast.Base64Encode(reinterpret_cast<const uint8_t*>(plain.data()), groups,
                      reinterpret_cast<uint8_t*>(a.data()));
    portable.Base64Encode(reinterpret_cast<const uint8_t*>(plain.data()), groups,
                          reinterpret_cast<uint8_t*>(b.data()));
    ASSERT_EQ(a, b) << "groups " << groups;
    ASSERT_EQ(a.substr(0, 4 * groups), ReferenceEncode(plain));

    std::string text = a.substr(0, 4 * groups);
    if (groups > 0 && rng() % 3 != 0) text[rng() % text.size()] = noise[rng() % noise.size()];
    std::string outA(3 * groups + 8, '#'), outB = outA;
    const size_t doneA = fast.Base64Decode(reinterpret_cast<const uint8_t*>(text.data()), groups,
                                           reinterpret_cast<uint8_t*>(outA.data()));
    const size_t doneB = portable.Base64Decode(reinterpret_cast<const uint8_t*>(text.data()),
                                               groups, reinterpret_cast<uint8_t*>(outB.data()));
    ASSERT_EQ(doneA, doneB) << "groups " << groups;
    ASSERT_EQ(outA.substr(0, 3 * doneA), outB.substr(0, 3 * doneB));
    ASSERT_EQ(outA.substr(3 * groups), std::string(8, '#')) << "wrote past its groups";
    if (doneA == groups) {
      ASSERT_EQ(outA.substr(0, 3 * groups), plain);
    }
  }
}

// The whole component on this path against the portable path, on seeded texts with damage.
TEST_P(Base64Path, ComponentMatchesPortable) {
  std::mt19937_64 rng(77);
  for (int round = 0; round < 150; ++round) {
    const std::string plain = RandomBytes(rng() % 9000, rng());
    std::string text = ReferenceEncode(plain);
    const int kind = static_cast<int>(rng() % 4);
    if (kind == 1 && !text.empty()) text[rng() % text.size()] = '=';
    if (kind == 2 && !text.empty()) text[rng() % text.size()] = static_cast<char>(rng());
    auto run = [&](TEncodePath p) {
      detail::SelectEncodePath(p);
      TVRXBase64 c;
      c.SetBufferSize(static_cast<int32_t>(1 + rng() % 1200));
      std::string out;
      std::string err = BaseExceptionOf([&] { out = c.DecryptString(text); });
      return std::make_pair(err, out + "|" + c.EncryptString(plain));
    };
    const auto seed = rng();
    rng.seed(seed);
    const auto fast = run(GetParam());
    rng.seed(seed);
    const auto portable = run(TEncodePath::Portable);
    ASSERT_EQ(fast, portable) << "round " << round;
  }
}

#ifdef MORVANE_HAVE_OPENSSL
// OpenSSL's block encoder writes the same alphabet and padding without line breaks.
TEST_P(Base64Path, AgreesWithOpenSsl) {
  TVRXBase64 c;
  std::mt19937_64 rng(4648);
  for (int round = 0; round < 100; ++round) {
    const std::string plain = RandomBytes(rng() % 20000, rng());
    std::string peer(4 * ((plain.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(peer.data()),
                                  reinterpret_cast<const unsigned char*>(plain.data()),
                                  static_cast<int>(plain.size()));
    peer.resize(static_cast<size_t>(n));
    ASSERT_EQ(c.EncryptString(plain), peer) << plain.size();
    ASSERT_EQ(c.DecryptString(peer), plain) << plain.size();
  }
}
#endif

INSTANTIATE_TEST_SUITE_P(Paths, Base64Path,
                         ::testing::Values(TEncodePath::Portable, TEncodePath::SSSE3,
                                           TEncodePath::AVX2),
                         PathName);

TEST(Base64, ComponentIdentity) {
  TVRXBase64 c;
  EXPECT_EQ(c.ClassName(), "TVRXBase64");
  EXPECT_EQ(c.GetLeadingDataSize(), 0);
  EXPECT_EQ(c.CipherTextLength(4), 6);  // inherited: whole 3-byte plaintext blocks
}
