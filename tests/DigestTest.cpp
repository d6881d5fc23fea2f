// The four digest components: published vectors through strings, streams and files with several
// chunk sizes, the block loop at padding and chunk boundaries, cancelling, file handling, the
// SHA-1 code paths, and a second implementation (OpenSSL) over random messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "morvane/framework/internal/CpuFeatures.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"
#include "morvane/hash/internal/DigestCores.h"
#include "support/Vectors.h"

#if MORVANE_HAVE_OPENSSL
#include <openssl/evp.h>
#endif
#if MORVANE_HAVE_CRYPTOPP
#include <cryptopp/ripemd.h>
#endif

using namespace morvane;
using morvane::test::FromHex;
using morvane::test::LoadVectors;
using morvane::test::RandomBytes;
using morvane::test::TempPath;
using morvane::test::ToHex;

namespace {

struct TAlgorithm {
  const char* name;
  const char* vectors;
  size_t digestLength;
  const char* className;
  std::function<std::unique_ptr<TCustomVRXHash>()> make;
  const char* openssl;  // the algorithm's name for EVP_MD_fetch, or nullptr
};

void PrintTo(const TAlgorithm& alg, std::ostream* os) {
  *os << alg.name;
}

template <class T>
std::unique_ptr<TCustomVRXHash> Make() {
  return std::make_unique<T>();
}

const TAlgorithm kAlgorithms[] = {
    {"MD5", "md5.txt", 16, "TVRXMD5", Make<TVRXMD5>, "MD5"},
    {"SHA1", "sha1.txt", 20, "TVRXSHA", Make<TVRXSHA>, "SHA1"},
    {"RIPEMD160", "ripemd160.txt", 20, "TVRXRIPEMD160", Make<TVRXRIPEMD160>, "RIPEMD160"},
    {"RIPEMD128", "ripemd128.txt", 16, "TVRXRIPEMD128", Make<TVRXRIPEMD128>, nullptr},
};

std::string Digest(TCustomVRXHash& h, const std::string& message, int32_t bufferSize) {
  h.SetBufferSize(bufferSize);
  return h.EncryptString(message);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A source of Size bytes 'a' that holds none of them in memory.
class TGeneratedStream : public TStream {
 public:
  explicit TGeneratedStream(int64_t Size) : FSize(Size) {}
  int32_t Read(void* Buffer, int32_t Count) override {
    const auto n = static_cast<int32_t>(std::min<int64_t>(Count, FSize - FPosition));
    if (n <= 0) return 0;
    std::memset(Buffer, 'a', static_cast<size_t>(n));
    FPosition += n;
    return n;
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t Offset) override { return FPosition = Offset; }
  int64_t GetPosition() const override { return FPosition; }
  int64_t GetSize() const override { return FSize; }

 private:
  int64_t FSize;
  int64_t FPosition = 0;
};

// A digest whose compression only counts blocks and keeps the last one, so that the block loop
// can be watched over messages too long to hash in a test.
class TBlockCounter : public TCustomVRXHash {
 public:
  TBlockCounter() { SetGeometry(64, 64); }
  int64_t blocks = 0;
  std::string lastBlock;

 protected:
  void StartEncryption(uint8_t* LeadingData) override {
    TCustomVRXHash::StartEncryption(LeadingData);
    PadMessage(false);
    blocks = 0;
  }
  void EncryptBuffer() override {
    CompressChunk([this](const uint8_t* Blocks, size_t Count) {
      blocks += static_cast<int64_t>(Count);
      lastBlock.assign(reinterpret_cast<const char*>(Blocks) + 64 * (Count - 1), 64);
    });
  }
  void DecryptBuffer() override {}
};

class DigestTest : public ::testing::TestWithParam<TAlgorithm> {};

}  // namespace

TEST_P(DigestTest, PublishedVectorsThroughStringsStreamsAndFiles) {
  const TAlgorithm& alg = GetParam();
  auto h = alg.make();
  EXPECT_EQ(h->ClassName(), alg.className);
  const auto records = LoadVectors(alg.vectors);
  ASSERT_GE(records.size(), 20u);
  const std::string src = TempPath("message.bin");
  const std::string dst = TempPath("digest.bin");
  for (const auto& rec : records) {
    SCOPED_TRACE(rec.Where());
    const std::string msg = rec.Has("Msg") ? FromHex(rec.Get("Msg")) : rec.Bytes("Repeat");
    ASSERT_EQ(msg.size(), std::stoul(rec.Get("Len")));
    const std::string md = FromHex(rec.Get("MD"));
    ASSERT_EQ(md.size(), alg.digestLength);
    for (int32_t bufferSize : {1000, 1, 2}) {
      EXPECT_EQ(ToHex(Digest(*h, msg, bufferSize)), ToHex(md)) << "BufferSize " << bufferSize;
    }

    // A stream: the message starts after a prefix that is not part of it; the digest goes after
    // what Dest already holds, and Dest is left at its beginning.
    h->SetBufferSize(3);
    TMemoryStream source("prefix" + msg);
    source.Seek(6);
    TMemoryStream dest("head");
    dest.Seek(4);
    h->EncryptStream(source, dest, static_cast<int32_t>(msg.size()));
    EXPECT_EQ(dest.GetPosition(), 0);
    EXPECT_EQ(ToHex(dest.Data()), ToHex("head" + md));

    // A file: the destination holds the raw digest and nothing else.
    h->SetBufferSize(1000);
    WriteFile(src, msg);
    WriteFile(dst, "an older and longer destination file");
    h->EncryptFile(src, dst);
    EXPECT_EQ(ToHex(ReadFile(dst)), ToHex(md));
  }
}

// Whatever the chunk boundaries, the block loop compresses exactly the message and its padding:
// every length through several blocks, cut into chunks of 1, 2 and 3 blocks, gives the digest
// of the one-chunk run (which the published vectors pin down).
TEST_P(DigestTest, EveryChunkSizeGivesTheSameDigest) {
  auto h = GetParam().make();
  const std::string data = RandomBytes(400, 11);
  for (size_t n = 0; n <= data.size(); ++n) {
    const std::string msg = data.substr(0, n);
    const std::string whole = Digest(*h, msg, 1000);
    for (int32_t bufferSize : {1, 2, 3}) {
      ASSERT_EQ(ToHex(Digest(*h, msg, bufferSize)), ToHex(whole))
          << n << " bytes, BufferSize " << bufferSize;
    }
  }
}

// One progress call per chunk: a chunk that ends inside the padding's length field is followed
// by one call for the rest of the padding, made without a read; a message that fills its last
// chunk exactly is followed by one call for the padding block.
TEST_P(DigestTest, OneChunkPerReadPlusOneForSpilledPadding) {
  auto h = GetParam().make();
  const std::string data = RandomBytes(64056, 5);
  auto chunks = [&](size_t n, int32_t bufferSize) {
    int calls = 0;
    h->SetBufferSize(bufferSize);
    h->SetOnProgress([&calls](uint8_t, bool&) { ++calls; });
    h->EncryptString(data.substr(0, n));
    h->SetOnProgress(nullptr);
    return calls;
  };
  EXPECT_EQ(chunks(0, 1000), 1);
  EXPECT_EQ(chunks(55, 1000), 1);
  EXPECT_EQ(chunks(56, 1000), 2);
  EXPECT_EQ(chunks(63999, 1000), 2);
  EXPECT_EQ(chunks(64000, 1000), 2);
  EXPECT_EQ(chunks(64001, 1000), 2);
  EXPECT_EQ(chunks(64055, 1000), 2);
  EXPECT_EQ(chunks(64056, 1000), 3);
  EXPECT_EQ(chunks(64, 1), 2);
  EXPECT_EQ(chunks(119, 1), 2);
  EXPECT_EQ(chunks(120, 1), 3);
}

// A string shorter than a chunk takes a shorter way than the stream driver's chunk loop: what the
// OnProgress handler sees (counts, progress in bytes) and where a cancel stops must not differ.
TEST_P(DigestTest, StringRunReportsWhatTheStreamRunReports) {
  auto h = GetParam().make();
  const std::string data = RandomBytes(200, 8);
  using TCall = std::tuple<int, int64_t, int64_t>;
  std::vector<TCall> calls;
  int cancelAt = 0;
  h->SetOnProgress([&](uint8_t n, bool& abort) {
    calls.emplace_back(n, h->GetProgressDone(), h->GetProgressTotal());
    abort = n == cancelAt;
  });
  for (int32_t bufferSize : {1, 2, 1000}) {
    h->SetBufferSize(bufferSize);
    for (size_t n : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 200}) {
      SCOPED_TRACE(testing::Message() << n << " bytes, BufferSize " << bufferSize);
      const std::string msg = data.substr(0, n);
      cancelAt = 0;
      calls.clear();
      TReadOnlyMemoryStream source(msg);
      TMemoryStream dest;
      h->EncryptStream(source, dest, static_cast<int32_t>(n));
      const std::vector<TCall> streamCalls = calls;
      calls.clear();
      EXPECT_EQ(ToHex(h->EncryptString(msg)), ToHex(dest.Data()));
      EXPECT_EQ(calls, streamCalls);
      EXPECT_EQ(h->GetProgressDone(), static_cast<int64_t>(n));
      for (cancelAt = 1; cancelAt <= static_cast<int>(streamCalls.size()); ++cancelAt) {
        calls.clear();
        EXPECT_THROW(h->EncryptString(msg), EVRXEncryptCancel) << "cancel at " << cancelAt;
        EXPECT_EQ(calls.size(), static_cast<size_t>(cancelAt));
      }
    }
  }
}

TEST_P(DigestTest, CancelledRunWritesNothingAndLeavesTheNextRunClean) {
  auto h = GetParam().make();
  const std::string msg = RandomBytes(1000, 3);
  const std::string other = RandomBytes(120, 4);
  const std::string expected = Digest(*h, msg, 1);
  const std::string expectedOther = Digest(*h, other, 1);

  // Cancelled in the middle of the message, and in the chunk that reached into the padding.
  for (auto [message, cancelAt] : {std::pair{&msg, 3}, std::pair{&other, 2}}) {
    h->SetOnProgress([cancelAt](uint8_t n, bool& abort) { abort = n == cancelAt; });
    TReadOnlyMemoryStream source(*message);
    TMemoryStream dest;
    EXPECT_THROW(h->EncryptStream(source, dest, static_cast<int32_t>(message->size())),
                 EVRXEncryptCancel);
    EXPECT_EQ(dest.GetSize(), 0);
    h->SetOnProgress(nullptr);
    EXPECT_EQ(ToHex(h->EncryptString(msg)), ToHex(expected));
    EXPECT_EQ(ToHex(h->EncryptString(other)), ToHex(expectedOther));
  }

  // A cancelled file run leaves an empty destination.
  const std::string src = TempPath("cancel-src.bin");
  const std::string dst = TempPath("cancel-dst.bin");
  WriteFile(src, msg);
  h->SetOnProgress([](uint8_t, bool& abort) { abort = true; });
  EXPECT_THROW(h->EncryptFile(src, dst), EVRXEncryptCancel);
  EXPECT_TRUE(std::filesystem::exists(dst));
  EXPECT_EQ(std::filesystem::file_size(dst), 0u);
}

TEST_P(DigestTest, FileDriverRefusesItsOwnSourceAndMissingSources) {
  auto h = GetParam().make();
  const std::string src = TempPath("own.bin");
  WriteFile(src, "keep me");
  EXPECT_THROW(h->EncryptFile(src, src), EFCreateError);
  const std::string alias = std::filesystem::path(src).parent_path().string() + "/./own.bin";
  EXPECT_THROW(h->EncryptFile(src, alias), EFCreateError);
  EXPECT_EQ(ReadFile(src), "keep me");

  const std::string dst = TempPath("not-created.bin");
  EXPECT_THROW(h->EncryptFile(TempPath("missing.bin"), dst), EFOpenError);
  EXPECT_FALSE(std::filesystem::exists(dst));
}

// A memory source is hashed where it stands; one that holds fewer bytes than Size is still a
// read error, and no digest is written.
TEST_P(DigestTest, ShortSourceIsAReadError) {
  auto h = GetParam().make();
  for (int32_t bufferSize : {1, 1000}) {
    h->SetBufferSize(bufferSize);
    TMemoryStream source(RandomBytes(100, 8));
    TMemoryStream dest;
    EXPECT_THROW(h->EncryptStream(source, dest, 101), EReadError);
    EXPECT_EQ(dest.GetSize(), 0);
  }
}

TEST_P(DigestTest, DecryptionProducesNothingAndANegativeSizeIsRefused) {
  auto h = GetParam().make();
  const std::string bytes = RandomBytes(300, 9);
  TReadOnlyMemoryStream source(bytes);
  TMemoryStream dest;
  h->DecryptStream(source, dest, static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(dest.GetSize(), 0);

  TReadOnlyMemoryStream some(bytes);
  EXPECT_THROW(h->EncryptStream(some, dest, -1), ERangeError);
  EXPECT_EQ(dest.GetSize(), 0);
  EXPECT_EQ(h->EncryptString(""), Digest(*GetParam().make(), "", 1000));
}

// The inherited key, key length and mode take no part in a digest, and no leading or trailing
// data frames it. The decrypting string driver finds no plaintext: a recorded length of 0 gives
// the empty string, any other the stream read error.
TEST_P(DigestTest, KeyAndModeDoNotTouchTheDigestAndDecryptStringFindsNothing) {
  const std::string msg = RandomBytes(150, 12);
  const std::string plain = Digest(*GetParam().make(), msg, 1000);
  auto h = GetParam().make();
  EXPECT_EQ(h->GetLeadingDataSize(), 0);
  EXPECT_EQ(h->GetTrailingDataSize(), 0);
  h->SetKey("a key that must not matter");
  h->SetMode(cipherCFB);
  EXPECT_EQ(h->GetMode(), cipherCFB);
  EXPECT_EQ(ToHex(Digest(*h, msg, 1000)), ToHex(plain));
  h->SetKeyLength(3);
  h->SetMode(cipherPCBC);
  EXPECT_EQ(ToHex(Digest(*h, msg, 2)), ToHex(plain));

  EXPECT_EQ(h->DecryptString(std::string("\0\0\0\0", 4) + msg), "");
  EXPECT_THROW(h->DecryptString(std::string("\x01\0\0\0", 4) + msg), EReadError);
  EXPECT_THROW(h->DecryptString(std::string("\0\0\0\0", 4)), EAssertionFailed);
  EXPECT_EQ(ToHex(Digest(*h, msg, 1000)), ToHex(plain));  // still usable afterwards
}

INSTANTIATE_TEST_SUITE_P(Digests, DigestTest, ::testing::ValuesIn(kAlgorithms),
                         [](const auto& info) { return std::string(info.param.name); });

// The largest message a run accepts, 2^31 - 1 bytes: the block loop must count the message and
// its padding without overflow, and the length field must carry all 34 bits of the bit count.
TEST(DigestBlockLoop, LargestMessageIsCompressedWithItsFullLengthField) {
  TBlockCounter h;
  TGeneratedStream source(INT32_MAX);
  TMemoryStream dest;
  h.EncryptStream(source, dest, INT32_MAX);
  // 2^31 - 1 = 64 * 33554431 + 63: the last message block holds 63 bytes and the 0x80; the
  // length spills into one more block.
  EXPECT_EQ(h.blocks, int64_t{33554431} + 2);
  std::string expected(56, '\0');
  expected += FromHex("F8FFFFFF03000000");  // (2^31 - 1) * 8, least significant byte first
  EXPECT_EQ(ToHex(h.lastBlock), ToHex(expected));
  EXPECT_EQ(source.GetPosition(), INT32_MAX);
}

TEST(SHA1Paths, ShaExtensionsMatchThePortableCompression) {
  if (!detail::SHA1HaveShaNi()) {
    GTEST_SKIP() << "no SHA extensions in use (CPU or MORVANE_CPU_MASK); the run without the "
                    "mask compares the two paths";
  }
  std::mt19937_64 rng(20240601);
  uint32_t schedule[80];
  for (int trial = 0; trial < 300; ++trial) {
    const size_t blocks = 1 + rng() % 40;
    const std::string data = RandomBytes(64 * blocks, rng());
    uint32_t portable[5], shaNi[5];
    for (uint32_t& w : portable) w = static_cast<uint32_t>(rng());
    std::memcpy(shaNi, portable, sizeof shaNi);
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    detail::SHA1BlocksPortable(portable, p, blocks, schedule);
    detail::SHA1BlocksShaNi(shaNi, p, blocks);
    ASSERT_EQ(0, std::memcmp(portable, shaNi, sizeof shaNi)) << "trial " << trial;
  }
}

TEST(SHA1Paths, TheMaskSelectsThePortablePath) {
  const char* mask = std::getenv("MORVANE_CPU_MASK");
  const bool masked = mask != nullptr && (std::strstr(mask, "sha") || std::strstr(mask, "all"));
  if (masked || !CpuFeatures().sha) {
    EXPECT_EQ(SHA1Implementation(), "portable");
  } else {
    EXPECT_EQ(SHA1Implementation(), "sha-ni");
  }
}

// OpenSSL's libcrypto as a second implementation, over random messages and chunk sizes.
TEST(DigestOracle, AgreesWithOpenSSLOnRandomMessages) {
#if !MORVANE_HAVE_OPENSSL
  GTEST_SKIP() << "OpenSSL's libcrypto was not found when the tests were built";
#else
  std::mt19937 rng(77);
  const int32_t bufferSizes[] = {1, 2, 5, 16, 1000};
  for (const TAlgorithm& alg : kAlgorithms) {
    if (alg.openssl == nullptr) continue;  // OpenSSL offers no RIPEMD-128
    SCOPED_TRACE(alg.name);
    EVP_MD* md = EVP_MD_fetch(nullptr, alg.openssl, nullptr);
    if (md == nullptr) {
      std::cout << "[ NOTE     ] this OpenSSL does not provide " << alg.openssl << "\n";
      continue;
    }
    auto h = alg.make();
    for (int trial = 0; trial < 300; ++trial) {
      size_t n = rng() % 2000;
      if (trial >= 280) n = 64000 * (1 + rng() % 2) - 200 + rng() % 400;
      const std::string msg = RandomBytes(n, rng());
      unsigned char out[EVP_MAX_MD_SIZE];
      unsigned int len = 0;
      ASSERT_EQ(EVP_Digest(msg.data(), msg.size(), out, &len, md, nullptr), 1);
      const int32_t bufferSize = bufferSizes[rng() % std::size(bufferSizes)];
      ASSERT_EQ(ToHex(Digest(*h, msg, bufferSize)),
                ToHex(std::string(reinterpret_cast<char*>(out), len)))
          << n << " bytes, BufferSize " << bufferSize;
    }
    EVP_MD_free(md);
  }
#endif
}

// Crypto++ as a second implementation of RIPEMD-128: every length through several blocks and
// around the chunk size, cut into chunks of 1, 2, 3 and 1000 blocks.
TEST(DigestOracle, RipeMD128AgreesWithCryptoPP) {
#if !MORVANE_HAVE_CRYPTOPP
  GTEST_SKIP() << "Crypto++ was not found when the tests were built";
#else
  auto theirs = [](const std::string& m) {
    std::string out(CryptoPP::RIPEMD128::DIGESTSIZE, '\0');
    CryptoPP::RIPEMD128().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(out.data()),
                                          reinterpret_cast<const CryptoPP::byte*>(m.data()),
                                          m.size());
    return out;
  };
  const std::string data = RandomBytes(64120, 21);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {63936u, 63999u, 64000u, 64001u, 64055u, 64056u, 64120u}) lengths.push_back(n);
  TVRXRIPEMD128 h;
  for (size_t n : lengths) {
    const std::string msg = data.substr(0, n), expected = ToHex(theirs(msg));
    for (int32_t bufferSize : {1, 2, 3, 1000}) {
      ASSERT_EQ(ToHex(Digest(h, msg, bufferSize)), expected) << n << " bytes, " << bufferSize;
    }
  }
#endif
}
