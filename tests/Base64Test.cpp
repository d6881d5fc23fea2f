// TVRXBase64: the vector file (RFC 4648 section 10 and more), chunk boundaries, strict decoding
// and files, once per encoder path; the vector paths against the portable one and OpenSSL.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <random>
#include <typeinfo>
#include <utility>
#include <vector>

#include "morvane/encode/VRXBase64.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "support/CipherRecords.h"
#include "support/EncodePaths.h"
#include "support/Vectors.h"

#ifdef MORVANE_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

using namespace morvane;
using namespace morvane::test;
using morvane::detail::TEncodePath;

namespace {

constexpr const char* kInvalid = "Invalid value in Base64 Decoding Table";

// An independent encoder: a bit accumulator, one character per six bits, "=" to a multiple of 4.
std::string ReferenceEncode(std::string_view in) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (unsigned char c : in) {
    acc = acc << 8 | c;
    for (bits += 8; bits >= 6;) out += alphabet[(acc >> (bits -= 6)) & 63];
  }
  if (bits > 0) out += alphabet[(acc << (6 - bits)) & 63];
  while (out.size() % 4 != 0) out += '=';
  return out;
}

// The message of the framework's base Exception that F raised ("" when none); a subclass (one
// of the package's own exceptions) fails the test.
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

std::string RunStream(TVRXBase64& c, const std::string& in, bool encode) {
  TMemoryStream src(in), dst;
  if (encode) {
    c.EncryptStream(src, dst, static_cast<int32_t>(in.size()));
  } else {
    c.DecryptStream(src, dst, static_cast<int32_t>(in.size()));
  }
  return dst.Data();
}

using Base64Path = EncodePathTest;

}  // namespace

// Every record through strings, streams and files, with BufferSize 1 and the default.
TEST_P(Base64Path, VectorFile) {
  const auto records = LoadVectors("base64.txt");
  ASSERT_GT(records.size(), 30u);
  const std::string plainFile = TempPath("v-plain"), textFile = TempPath("v-text"),
                    outFile = TempPath("v-out");
  for (int32_t bufferSize : {1000, 1}) {
    TVRXBase64 c;
    c.SetBufferSize(bufferSize);
    for (const auto& r : records) {
      SCOPED_TRACE(r.Where() + " BufferSize " + std::to_string(bufferSize));
      const std::string text = r.Bytes("Encoded");
      if (r.Has("Error")) {
        EXPECT_EQ(BaseExceptionOf([&] { c.DecryptString(text); }), r.Get("Error"));
        EXPECT_EQ(BaseExceptionOf([&] { RunStream(c, text, false); }), r.Get("Error"));
        continue;
      }
      const std::string plain = r.Bytes("Plain");
      EXPECT_EQ(c.DecryptString(text), plain);
      EXPECT_EQ(RunStream(c, text, false), plain);
      if (r.Has("Direction") && r.Get("Direction") == "decode") continue;
      EXPECT_EQ(c.EncryptString(plain), text);
      EXPECT_EQ(RunStream(c, plain, true), text);
      WriteWholeFile(plainFile, plain);
      c.EncryptFile(plainFile, textFile);
      EXPECT_EQ(ReadWholeFile(textFile), text);
      c.DecryptFile(textFile, outFile);
      EXPECT_EQ(ReadWholeFile(outFile), plain);
    }
  }
}

// One byte under, at and over an encoding chunk (3 × BufferSize bytes) and two chunks plus
// one: one unbroken text, "=" only at its very end.
TEST_P(Base64Path, ChunkBoundaries) {
  for (int32_t bufferSize : {1000, 1, 2, 7}) {
    TVRXBase64 c;
    c.SetBufferSize(bufferSize);
    const size_t chunk = 3 * static_cast<size_t>(bufferSize);
    for (size_t n : {chunk - 1, chunk, chunk + 1, 2 * chunk + 1, size_t{6001}}) {
      const std::string plain = RandomBytes(n, n * 31 + bufferSize);
      const std::string text = c.EncryptString(plain);
      EXPECT_EQ(text, ReferenceEncode(plain)) << n << " BufferSize " << bufferSize;
      EXPECT_EQ(c.DecryptString(text), plain) << n << " BufferSize " << bufferSize;
    }
  }
}

TEST_P(Base64Path, StrictDecoding) {
  TVRXBase64 c;
  EXPECT_EQ(c.ClassName(), "TVRXBase64");
  const std::string good = c.EncryptString(RandomBytes(4500, 7));  // 6000 characters: 2 chunks
  // Every byte outside the alphabet and "=" fails wherever it stands: in the first chunk, the
  // second, inside a run long enough for the bulk decoder.
  for (int b = 0; b < 256; ++b) {
    if ((b < 128 && std::isalnum(b)) || b == '+' || b == '/' || b == '=') continue;
    for (size_t pos : {size_t{0}, size_t{37}, size_t{3999}, size_t{4000}, good.size() - 1}) {
      std::string bad = good;
      bad[pos] = static_cast<char>(b);
      EXPECT_EQ(BaseExceptionOf([&] { c.DecryptString(bad); }), kInvalid) << b << " at " << pos;
    }
  }
  for (size_t cut : {1, 2, 3}) {
    EXPECT_EQ(BaseExceptionOf([&] { c.DecryptString(good.substr(0, good.size() - cut)); }),
              kInvalid);
  }
  EXPECT_EQ(BaseExceptionOf([&] { c.DecryptString(good + "\r\n"); }), kInvalid);
  EXPECT_EQ(c.DecryptString("Zm9v"), "foo");  // usable after a failure

  // Padded groups inside a long text end nothing; "=" in the first two places reads as 0.
  const std::string a = RandomBytes(301, 1), b = RandomBytes(299, 2);
  EXPECT_EQ(c.DecryptString(ReferenceEncode(a) + ReferenceEncode(b) + ReferenceEncode(a)),
            a + b + a);
  std::string t = ReferenceEncode(b), zeros = t;
  t[100] = t[205] = '=';
  zeros[100] = zeros[205] = 'A';
  EXPECT_EQ(c.DecryptString(t), c.DecryptString(zeros));
}

TEST_P(Base64Path, FilesKeepDestinationsOnErrors) {
  TVRXBase64 c;
  const std::string src = TempPath("b-src"), dst = TempPath("b-dst");
  // A source that cannot be opened leaves an existing destination as it was.
  WriteWholeFile(dst, "keep me");
  EXPECT_THROW(c.DecryptFile(TempPath("b-missing"), dst), EFOpenError);
  EXPECT_THROW(c.EncryptFile(TempPath("b-missing"), dst), EFOpenError);
  EXPECT_EQ(ReadWholeFile(dst), "keep me");
  // Source and destination the same file, whatever the names: refused, source intact.
  WriteWholeFile(src, "Zm9v");
  EXPECT_THROW(c.DecryptFile(src, src), EFCreateError);
  EXPECT_THROW(c.EncryptFile(src, TempPath("./b-src")), EFCreateError);
  EXPECT_EQ(ReadWholeFile(src), "Zm9v");
  WriteWholeFile(src, "Zm9v\n");
  EXPECT_EQ(BaseExceptionOf([&] { c.DecryptFile(src, dst); }), kInvalid);
}

// The bulk routines of this path against the portable ones on seeded input, damaged now and
// then: the same characters; for decoding the same count of clean groups and the same bytes,
// and nothing written past the groups given.
TEST_P(Base64Path, KernelsMatchPortable) {
  const auto& fast = *detail::EncodeKernels(GetParam());
  const auto& portable = *detail::EncodeKernels(TEncodePath::Portable);
  const std::string noise = std::string("=-_ \r\n\t.\0\x80\xff", 11);
  auto u = [](std::string& s) { return reinterpret_cast<uint8_t*>(s.data()); };
  std::mt19937_64 rng(20240611);
  for (int round = 0; round < 400; ++round) {
    const size_t groups = rng() % 90;
    std::string plain = RandomBytes(3 * groups, rng());
    std::string a(4 * groups + 8, '#'), b = a;
    fast.Base64Encode(u(plain), groups, u(a));
    portable.Base64Encode(u(plain), groups, u(b));
    ASSERT_EQ(a, b) << groups;
    ASSERT_EQ(a.substr(0, 4 * groups), ReferenceEncode(plain));

    std::string text = a.substr(0, 4 * groups);
    if (groups > 0 && rng() % 3 != 0) text[rng() % text.size()] = noise[rng() % noise.size()];
    std::string outA(3 * groups + 8, '#'), outB = outA;
    const size_t doneA = fast.Base64Decode(u(text), groups, u(outA));
    ASSERT_EQ(doneA, portable.Base64Decode(u(text), groups, u(outB))) << groups;
    ASSERT_EQ(outA.substr(0, 3 * doneA), outB.substr(0, 3 * doneA));
    ASSERT_EQ(outA.substr(3 * groups), std::string(8, '#'));
  }
}

// The line-break routines against a byte-wise model, on texts with lines of every length,
// lone and doubled breaks, breaks at the ends and at every vector position; nothing is written
// past the room the routines are given.
TEST_P(Base64Path, LineBreakRoutinesMatchAModel) {
  const auto& k = *detail::EncodeKernels(GetParam());
  auto u = [](std::string& s) { return reinterpret_cast<uint8_t*>(s.data()); };
  std::mt19937_64 rng(1908);
  for (int round = 0; round < 600; ++round) {
    std::string text = RandomBytes(rng() % 300, rng());
    const size_t line = 1 + rng() % 80;
    for (size_t i = 0; i < text.size(); ++i) {
      if (i % line == line - 1 || rng() % 40 == 0) text[i] = "\n\r\n\r"[rng() % 4];
      if (i % line == line - 2 && rng() % 2 == 0) text[i] = '\r';
    }
    const size_t n = text.size();
    std::string stripped;
    for (char c : text) {
      if (c != '\r' && c != '\n') stripped += c;
    }
    std::string out(n + 8, '#');
    const size_t kept = k.RemoveLineBreaks(u(text), n, u(out));
    ASSERT_EQ(out.substr(0, kept), stripped) << round;
    ASSERT_EQ(out.substr(n), std::string(8, '#'));

    const char before = "\r\nx"[round % 3];
    std::string crlf;
    char prev = before;
    for (char c : text) {
      if (c == '\n' && prev != '\r') crlf += '\r';
      crlf += prev = c;
    }
    std::string wide(2 * n + 8, '#');
    auto last = static_cast<uint8_t>(before);
    const size_t wrote = k.LineFeedsToCrLf(u(text), n, u(wide), last);
    ASSERT_EQ(wide.substr(0, wrote), crlf) << round;
    ASSERT_EQ(wide.substr(2 * n), std::string(8, '#'));
    ASSERT_EQ(last, static_cast<uint8_t>(n > 0 ? text.back() : before));
  }
}

// The whole component on this path against the portable path, on damaged texts too.
TEST_P(Base64Path, ComponentMatchesPortable) {
  std::mt19937_64 rng(77);
  for (int round = 0; round < 150; ++round) {
    const std::string plain = RandomBytes(rng() % 9000, rng());
    std::string text = ReferenceEncode(plain);
    const auto kind = rng() % 3;
    if (kind != 0 && !text.empty()) text[rng() % text.size()] = kind == 1 ? '=' : char(rng());
    const auto bufferSize = static_cast<int32_t>(1 + rng() % 1200);
    auto run = [&](TEncodePath p) {
      detail::SelectEncodePath(p);
      TVRXBase64 c;
      c.SetBufferSize(bufferSize);
      std::string out;
      const std::string err = BaseExceptionOf([&] { out = c.DecryptString(text); });
      return err + "|" + out + "|" + c.EncryptString(plain);
    };
    const std::string fast = run(GetParam());
    ASSERT_EQ(fast, run(TEncodePath::Portable)) << "round " << round;
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
    peer.resize(static_cast<size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(peer.data()),
        reinterpret_cast<const unsigned char*>(plain.data()), static_cast<int>(plain.size()))));
    ASSERT_EQ(c.EncryptString(plain), peer) << plain.size();
    ASSERT_EQ(c.DecryptString(peer), plain) << plain.size();
  }
}
#endif

MORVANE_INSTANTIATE_ENCODE_PATHS(Base64Path);

// One progress call per chunk of 3 × BufferSize bytes (4 × BufferSize characters when
// decoding), also for the empty text; a cancel raises the run's own class, and a decoding error
// keeps the output of the chunks decoded before it in the destination file.
TEST(Base64, ProgressCancelAndPartialOutput) {
  TVRXBase64 c;
  std::vector<int> seen;
  c.SetOnProgress([&](uint8_t n, bool&) { seen.push_back(n); });
  const std::string bytes3000(3000, 'a'), bytes3001(3001, 'a');
  const std::string text3000 = ReferenceEncode(bytes3000), text3001 = ReferenceEncode(bytes3001);
  struct Case {
    bool encode;
    const std::string* in;
    std::vector<int> calls;
  };
  const std::string none;
  for (const Case& k :
       {Case{true, &none, {1}}, Case{true, &bytes3000, {1}}, Case{true, &bytes3001, {1, 2}},
        Case{false, &none, {1}}, Case{false, &text3000, {1}}, Case{false, &text3001, {1, 2}}}) {
    seen.clear();
    const std::string out = k.encode ? c.EncryptString(*k.in) : c.DecryptString(*k.in);
    EXPECT_EQ(seen, k.calls) << k.encode << " " << k.in->size();
    EXPECT_EQ(out, k.encode ? ReferenceEncode(*k.in)
                            : (k.in == &text3000   ? bytes3000
                               : k.in == &text3001 ? bytes3001
                                                   : ""));
  }

  c.SetOnProgress([](uint8_t n, bool& abort) { abort = n == 2; });
  try {
    c.DecryptString(text3001);
    ADD_FAILURE() << "no cancel";
  } catch (const EVRXDecryptCancel& e) {
    EXPECT_EQ(e.Message(), "Operation Canceled by user");
  }
  EXPECT_THROW(c.EncryptString(bytes3001), EVRXEncryptCancel);
  c.SetOnProgress(nullptr);

  const std::string src = TempPath("b-part"), dst = TempPath("b-part-out");
  WriteWholeFile(src, "Zm9vYmFyZm9v!AAA");
  for (auto [bufferSize, kept] : {std::pair{1, "foobarfoo"}, std::pair{2, "foobar"}}) {
    c.SetBufferSize(bufferSize);
    EXPECT_EQ(BaseExceptionOf([&] { c.DecryptFile(src, dst); }), kInvalid);
    EXPECT_EQ(ReadWholeFile(dst), kept) << bufferSize;
  }
}
