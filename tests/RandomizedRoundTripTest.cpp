// Randomized runs of every component: random key (1 to 80 bytes), mode, round count, data length
// (empty to several chunks) and BufferSize (1 to 17 blocks, or 1000), through the string, stream
// and file drivers. Each round first cancels a run at a random chunk and checks what that run
// left behind, then lets the same component finish normal runs, whose bytes must equal those of
// a fresh twin run with another BufferSize; decryption uses yet another BufferSize and must give
// the plaintext back.
//
// The seed is fixed so that CI is repeatable; MORVANE_SEED=<n> picks another one and
// MORVANE_ROUNDS=<n> the number of rounds per component (a failure names the seed and round).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <string>

#include "morvane/framework/Endian.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"
#include "support/Families.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::Families;
using morvane::test::fkBlockCipher;
using morvane::test::fkDigest;
using morvane::test::ReadFileBytes;
using morvane::test::TempPath;
using morvane::test::TFamily;
using morvane::test::TRecipe;

namespace {

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::strtoull(v, nullptr, 0) : fallback;
}

uint64_t SuiteSeed() {
  return EnvNumber("MORVANE_SEED", 20240917);
}

enum TPath { ptString, ptStream, ptFile };
const char* PathName(TPath p) {
  return p == ptString ? "string" : p == ptStream ? "stream" : "file";
}

std::string Le32(int32_t n) {
  uint8_t b[4];
  StoreLE32(b, static_cast<uint32_t>(n));
  return std::string(reinterpret_cast<const char*>(b), 4);
}

int32_t Chunks(int64_t bytes, int32_t chunk) {
  return bytes <= 0 ? 1 : static_cast<int32_t>((bytes + chunk - 1) / chunk);
}

// Equal byte strings; a failure names the sizes and the first differing offset rather than
// printing kilobytes.
testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  return testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                     << " were expected; first difference at offset " << i;
}

class TRound {
 public:
  TRound(const TFamily& f, uint64_t seed) : F(f), Rng(seed) {}

  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(Rng); }
  std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (char& ch : s) ch = static_cast<char>(Rng());
    return s;
  }
  int32_t BufferSize() {
    const int pick = Uniform(0, 17);
    return pick == 17 ? 1000 : pick + 1;
  }
  TPath Path() { return static_cast<TPath>(Uniform(0, 2)); }
  TRecipe Recipe() {
    TRecipe r;
    r.key = Bytes(static_cast<size_t>(Uniform(1, 80)));
    r.mode = F.modes[static_cast<size_t>(Uniform(0, static_cast<int>(F.modes.size()) - 1))];
    r.rounds = Uniform(2, 16);
    return r;
  }

  const TFamily& F;
  std::mt19937_64 Rng;
};

// The encrypted form of Plain as the layout of a path has it, from the encrypted stream.
std::string Framed(const TFamily& f, TPath path, const std::string& stream, size_t plainSize) {
  if (f.kind != fkBlockCipher) return stream;
  const auto n = static_cast<int32_t>(plainSize);
  if (path == ptString) return Le32(n) + stream;
  if (path == ptFile) return stream + Le32(n);
  return stream;
}

// One encryption by c through a path; returns the output in the path's layout.
std::string Encrypt(TCustomVRXCipher& c, TPath path, const std::string& plain,
                    const std::string& name) {
  switch (path) {
    case ptString:
      return c.EncryptString(plain);
    case ptStream: {
      TReadOnlyMemoryStream source(plain);
      TMemoryStream dest;
      c.EncryptStream(source, dest, static_cast<int32_t>(plain.size()));
      return dest.TakeData();
    }
    case ptFile: {
      const std::string source = TempPath(name + ".plain");
      const std::string dest = TempPath(name + ".enc");
      test::WriteFileBytes(source, plain);
      c.EncryptFile(source, dest);
      return ReadFileBytes(dest);
    }
  }
  return {};
}

std::string Decrypt(TCustomVRXCipher& c, TPath path, const std::string& encrypted,
                    const std::string& name) {
  switch (path) {
    case ptString:
      return c.DecryptString(encrypted);
    case ptStream: {
      TReadOnlyMemoryStream source(encrypted);
      TMemoryStream dest;
      c.DecryptStream(source, dest, static_cast<int32_t>(encrypted.size()));
      return dest.TakeData();
    }
    case ptFile: {
      const std::string source = TempPath(name + ".enc");
      const std::string dest = TempPath(name + ".dec");
      test::WriteFileBytes(source, encrypted);
      c.DecryptFile(source, dest);
      return ReadFileBytes(dest);
    }
  }
  return {};
}

class RandomizedRoundTrip : public testing::TestWithParam<const TFamily*> {};

std::string FamilyName(const testing::TestParamInfo<const TFamily*>& info) {
  return info.param->name;
}

TEST_P(RandomizedRoundTrip, CancelThenCompleteThroughEveryDriver) {
  const TFamily& f = *GetParam();
  const uint64_t seed = SuiteSeed();
  const auto rounds = static_cast<int>(EnvNumber("MORVANE_ROUNDS", 100));
  const std::string name = "rt-" + f.name;
  for (int round = 0; round < rounds; ++round) {
    TRound rnd(f, seed * 1000003 + std::hash<std::string>{}(f.name) + round);
    const TRecipe r = rnd.Recipe();
    const int32_t bufferSize = rnd.BufferSize();
    const int32_t chunkIn = bufferSize * f.plainBlock;
    const int32_t chunkOut = bufferSize * f.cipherBlock;
    const std::string plain = rnd.Bytes(static_cast<size_t>(rnd.Uniform(0, 4 * chunkIn + 19)));
    SCOPED_TRACE(testing::Message()
                 << "MORVANE_SEED=" << seed << " round " << round << ": key of " << r.key.size()
                 << " bytes, mode " << int(r.mode) << ", rounds " << r.rounds << ", BufferSize "
                 << bufferSize << ", " << plain.size() << " bytes");

    auto c = f.Twin(r);
    c->SetBufferSize(bufferSize);
    if (f.isWeak(*c)) {
      EXPECT_THROW(c->EncryptString(plain), EVRXWeakCipherKey);
      continue;
    }

    // A cancelled encryption: the output of the chunks before the cancelled one stays.
    const int32_t chunks = Chunks(static_cast<int64_t>(plain.size()), chunkIn);
    const int32_t cancelAt = rnd.Uniform(1, chunks);
    const TPath cancelPath = rnd.Path();
    const std::string before = f.EncryptedStream(r, plain, c.get());
    // A digest writes nothing before its end.
    const size_t kept =
        f.kind == fkDigest ? 0 : static_cast<size_t>(f.leading + (cancelAt - 1) * chunkOut);
    const std::string fullFile = Encrypt(*f.Twin(r, c.get()), ptFile, plain, name + ".twin");
    int32_t seen = 0;
    c->SetOnProgress([&seen, cancelAt](uint8_t, bool& abort) { abort = ++seen == cancelAt; });
    if (cancelPath == ptFile) {
      const std::string source = TempPath(name + ".cancel.plain");
      const std::string dest = TempPath(name + ".cancel.enc");
      test::WriteFileBytes(source, plain);
      EXPECT_THROW(c->EncryptFile(source, dest), EVRXEncryptCancel);
      const std::string partial = ReadFileBytes(dest);
      // What stands before the encrypted stream (a uuencoded document's begin line) and the
      // stream's first chunks; no trailer.
      EXPECT_TRUE(SameBytes(partial, fullFile.substr(0, partial.size())));
      if (f.kind == fkBlockCipher) {
        EXPECT_TRUE(SameBytes(partial, before.substr(0, kept)));
      }
    } else if (cancelPath == ptStream) {
      TReadOnlyMemoryStream source(plain);
      TMemoryStream dest;
      EXPECT_THROW(c->EncryptStream(source, dest, static_cast<int32_t>(plain.size())),
                   EVRXEncryptCancel);
      EXPECT_TRUE(SameBytes(dest.Data(), before.substr(0, kept)));
    } else {
      EXPECT_THROW(c->EncryptString(plain), EVRXEncryptCancel);
    }

    // Normal runs on every path, each against a twin with this component's state.
    int calls = 0;
    uint8_t last = 0;
    c->SetOnProgress([&](uint8_t n, bool&) {
      ++calls;
      last = n;
    });
    std::string encrypted[3];
    for (TPath path : {ptString, ptStream, ptFile}) {
      // The same path run by a twin with BufferSize 1000 (and, for the block ciphers, the
      // layout built from the twin's encrypted stream).
      const std::string expected =
          f.kind == fkBlockCipher
              ? Framed(f, path, f.EncryptedStream(r, plain, c.get()), plain.size())
              : Encrypt(*f.Twin(r, c.get()), path, plain, name + ".twin");
      calls = 0;
      encrypted[path] = Encrypt(*c, path, plain, name);
      EXPECT_TRUE(SameBytes(encrypted[path], expected)) << PathName(path);
      // One call per chunk; a digest may add one for the padding of its message.
      if (f.kind == fkDigest) {
        EXPECT_TRUE(calls == chunks || calls == chunks + 1) << PathName(path) << " " << calls;
      } else {
        EXPECT_EQ(calls, chunks) << PathName(path);
      }
      EXPECT_EQ(last, static_cast<uint8_t>(calls)) << PathName(path);
    }
    if (f.kind == fkDigest) continue;

    // Decryption with another BufferSize: a cancel, then every path.
    const int32_t decryptBufferSize = rnd.BufferSize();
    c->SetBufferSize(decryptBufferSize);
    const std::string& stream = encrypted[ptStream];
    const std::string padded = f.DecryptedStream(r, stream);
    ASSERT_TRUE(SameBytes(padded.substr(0, plain.size()), plain));
    const int32_t decryptChunks =
        Chunks(static_cast<int64_t>(stream.size()) - f.leading, decryptBufferSize * f.cipherBlock);
    const int32_t decryptCancelAt = rnd.Uniform(1, decryptChunks);
    seen = 0;
    c->SetOnProgress(
        [&seen, decryptCancelAt](uint8_t, bool& abort) { abort = ++seen == decryptCancelAt; });
    {
      TReadOnlyMemoryStream source(stream);
      TMemoryStream dest;
      EXPECT_THROW(c->DecryptStream(source, dest, static_cast<int32_t>(stream.size())),
                   EVRXDecryptCancel);
      const auto kept =
          static_cast<size_t>((decryptCancelAt - 1) * decryptBufferSize * f.plainBlock);
      EXPECT_TRUE(SameBytes(dest.Data(), padded.substr(0, kept)))
          << "decryption cancelled at chunk " << decryptCancelAt << " of " << decryptChunks;
    }
    c->SetOnProgress(nullptr);
    EXPECT_TRUE(SameBytes(Decrypt(*c, ptString, encrypted[ptString], name), plain));
    EXPECT_TRUE(SameBytes(Decrypt(*c, ptStream, stream, name), padded));
    EXPECT_TRUE(SameBytes(Decrypt(*c, ptFile, encrypted[ptFile], name), plain));

    // A new key on the same component: the schedule follows it.
    if (f.kind != fkBlockCipher) continue;
    const TRecipe next = rnd.Recipe();
    f.configure(*c, next);
    auto twin = f.Twin(r);
    f.configure(*twin, next);
    if (f.copyState) f.copyState(*c, *twin);
    if (f.isWeak(*c)) continue;
    const std::string again = c->EncryptString(plain);
    EXPECT_TRUE(SameBytes(again, twin->EncryptString(plain))) << "after a key change";
    EXPECT_TRUE(SameBytes(c->DecryptString(again), plain)) << "after a key change";
  }
}

INSTANTIATE_TEST_SUITE_P(AllComponents, RandomizedRoundTrip, testing::ValuesIn([] {
                           std::vector<const TFamily*> all;
                           for (const TFamily& f : Families()) all.push_back(&f);
                           return all;
                         }()),
                         FamilyName);

}  // namespace
