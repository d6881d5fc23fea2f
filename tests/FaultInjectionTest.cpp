// Failures in the middle of a run, for every component family: a stream that fails its Nth read
// or write for every N through a run, a progress handler that throws, a file destination that is
// full, cannot be created or stops growing. Each time the exception must reach the caller as it
// was raised, and the same component must then complete a normal run with the right bytes. The
// sanitizer build runs this suite too, so whatever a failed run leaves allocated shows up there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>

#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "morvane/framework/Streams.h"
#include "support/Families.h"
#include "support/FaultStream.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::Families;
using morvane::test::fkBlockCipher;
using morvane::test::fkDigest;
using morvane::test::fkEncoder;
using morvane::test::RandomBytes;
using morvane::test::ReadFileBytes;
using morvane::test::TempPath;
using morvane::test::TFamily;
using morvane::test::TFaultStream;
using morvane::test::TRecipe;
using morvane::test::WriteFileBytes;

namespace {

constexpr int32_t kBufferSize = 3;  // blocks per chunk: a few KB of data make several chunks

const char* ModeName(TCipherMode m) {
  static const char* names[] = {"ECB", "CBC", "CFB", "OFB", "PCBC"};
  return names[m];
}

struct TCase {
  const TFamily* family;
  TCipherMode mode;
};

std::vector<TCase> Cases() {
  std::vector<TCase> cases;
  for (const TFamily& f : Families()) {
    for (TCipherMode m : f.modes) cases.push_back({&f, m});
  }
  return cases;
}

void PrintTo(const TCase& c, std::ostream* os) {
  *os << c.family->name << " " << ModeName(c.mode);
}

std::string CaseName(const testing::TestParamInfo<TCase>& info) {
  return info.param.family->name + "_" + ModeName(info.param.mode);
}

enum TSide { sdSource, sdDest };

// One stream run of a driver with one side behind a fault stream failing at FailAt (0: never).
// Returns what Dest received; Operations receives the operations the faulty side saw.
std::string StreamRun(TCustomVRXCipher& c, bool encrypt, const std::string& input, TSide side,
                      int64_t failAt, int64_t* operations = nullptr) {
  TReadOnlyMemoryStream source(input);
  TMemoryStream dest;
  TFaultStream faultySource(source, side == sdSource ? failAt : 0);
  TFaultStream faultyDest(dest, side == sdDest ? failAt : 0);
  const auto size = static_cast<int32_t>(input.size());
  if (encrypt) {
    c.EncryptStream(faultySource, faultyDest, size);
  } else {
    c.DecryptStream(faultySource, faultyDest, size);
  }
  if (operations != nullptr) {
    *operations = (side == sdSource ? faultySource : faultyDest).Operations();
  }
  return dest.TakeData();
}

// A stream that moves at most Most bytes per call, as pipes and sockets do; Most = 0 refuses
// every write, as a full device would without an error of its own.
class TTrickleStream : public TStream {
 public:
  TTrickleStream(TStream& Inner, int32_t Most) : FInner(Inner), FMost(Most) {}
  int32_t Read(void* Buffer, int32_t Count) override {
    return FInner.Read(Buffer, std::min(Count, FMost));
  }
  int32_t Write(const void* Buffer, int32_t Count) override {
    return FInner.Write(Buffer, std::min(Count, FMost));
  }
  int64_t Seek(int64_t Offset) override { return FInner.Seek(Offset); }
  int64_t GetPosition() const override { return FInner.GetPosition(); }
  int64_t GetSize() const override { return FInner.GetSize(); }

 private:
  TStream& FInner;
  int32_t FMost;
};

class FaultInjection : public testing::TestWithParam<TCase> {
 protected:
  const TFamily& family() const { return *GetParam().family; }
  TRecipe recipe() const { return {"a key for the fault injection suite", GetParam().mode, 12}; }
  // Data of three and a half chunks.
  std::string plain() const {
    return RandomBytes(static_cast<size_t>(kBufferSize * family().plainBlock * 7 / 2), 1234);
  }
};

TEST_P(FaultInjection, EveryStreamOperationCanFail) {
  const TFamily& f = family();
  const TRecipe r = recipe();
  const std::string plaintext = plain();
  const std::string encrypted = f.EncryptedStream(r, plaintext);
  auto c = f.Twin(r);
  c->SetBufferSize(kBufferSize);

  for (bool encrypt : {true, false}) {
    if (!encrypt && f.kind == fkDigest) continue;
    const std::string& input = encrypt ? plaintext : encrypted;
    for (TSide side : {sdSource, sdDest}) {
      const std::string where = std::string(encrypt ? "encrypt" : "decrypt") +
                                (side == sdSource ? ", source" : ", destination");
      int64_t operations = 0;
      StreamRun(*c, encrypt, input, side, 0, &operations);
      // Several chunks, so several reads and writes; a digest writes once, at the end.
      ASSERT_GE(operations, f.kind == fkDigest && side == sdDest ? 1 : 3) << where;
      for (int64_t n = 1; n <= operations; ++n) {
        try {
          StreamRun(*c, encrypt, input, side, n);
          ADD_FAILURE() << where << ": no failure at operation " << n;
        } catch (const EInOutError& e) {
          EXPECT_EQ(std::string(e.what()), "injected fault at operation " + std::to_string(n))
              << where;
        }
        // The same component, a normal run: the bytes a fresh twin (with the IV this component
        // has now) produces.
        const std::string expected =
            encrypt ? f.EncryptedStream(r, plaintext, c.get()) : f.DecryptedStream(r, encrypted);
        ASSERT_EQ(StreamRun(*c, encrypt, input, side, 0), expected)
            << where << ", the run after a failure at operation " << n;
      }
    }
  }
  // What the suite checked against is right: the twin's output decrypts to the plaintext.
  if (f.kind != fkDigest) {
    EXPECT_EQ(f.DecryptedStream(r, encrypted).substr(0, plaintext.size()), plaintext);
  }
}

// An application's exception thrown from the progress handler is not the package's to catch.
TEST_P(FaultInjection, ProgressHandlerThatThrows) {
  const TFamily& f = family();
  const TRecipe r = recipe();
  const std::string plaintext = plain();
  const std::string encrypted = f.EncryptedStream(r, plaintext);
  auto c = f.Twin(r);
  c->SetBufferSize(kBufferSize);
  for (bool encrypt : {true, false}) {
    if (!encrypt && f.kind == fkDigest) continue;
    const std::string& input = encrypt ? plaintext : encrypted;
    for (int chunk = 1; chunk <= 4; ++chunk) {
      c->SetOnProgress([chunk](uint8_t n, bool&) {
        if (n == chunk) throw std::runtime_error("handler gave up");
      });
      EXPECT_THROW(StreamRun(*c, encrypt, input, sdSource, 0), std::runtime_error)
          << (encrypt ? "encrypt" : "decrypt") << ", chunk " << chunk;
      c->SetOnProgress(nullptr);
      const std::string expected =
          encrypt ? f.EncryptedStream(r, plaintext, c.get()) : f.DecryptedStream(r, encrypted);
      ASSERT_EQ(StreamRun(*c, encrypt, input, sdSource, 0), expected);
    }
  }
}

// Streams that take or give fewer bytes than asked are not at their end: the run goes on and
// its output is complete; a destination that takes nothing fails the run.
TEST_P(FaultInjection, PartialReadsAndWrites) {
  const TFamily& f = family();
  const TRecipe r = recipe();
  const std::string plaintext = plain();
  const std::string encrypted = f.EncryptedStream(r, plaintext);
  auto c = f.Twin(r);
  c->SetBufferSize(kBufferSize);
  for (bool encrypt : {true, false}) {
    if (!encrypt && f.kind == fkDigest) continue;
    const std::string& input = encrypt ? plaintext : encrypted;
    const auto size = static_cast<int32_t>(input.size());
    for (int32_t most : {1, 5, 7}) {
      const std::string expected =
          encrypt ? f.EncryptedStream(r, plaintext, c.get()) : f.DecryptedStream(r, encrypted);
      TReadOnlyMemoryStream source(input);
      TTrickleStream trickle(source, most);
      TMemoryStream dest;
      TTrickleStream narrow(dest, most + 2);
      if (encrypt) {
        c->EncryptStream(trickle, narrow, size);
      } else {
        c->DecryptStream(trickle, narrow, size);
      }
      EXPECT_EQ(dest.Data(), expected) << (encrypt ? "encrypt" : "decrypt") << ", " << most;
    }
    TReadOnlyMemoryStream source(input);
    TMemoryStream dest;
    TTrickleStream refusing(dest, 0);
    if (encrypt) {
      EXPECT_THROW(c->EncryptStream(source, refusing, size), EWriteError);
    } else {
      EXPECT_THROW(c->DecryptStream(source, refusing, size), EWriteError);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllComponents, FaultInjection, testing::ValuesIn(Cases()), CaseName);

// ---- File drivers

class FileFaults : public testing::TestWithParam<const TFamily*> {
 protected:
  const TFamily& family() const { return *GetParam(); }
  TRecipe recipe() const { return {"a key for the file faults", family().modes.back(), 16}; }

  // Encrypting and decrypting Source through files with c gives Source back (for a digest: the
  // digest of a fresh twin).
  void ExpectNormalFileRun(TCustomVRXCipher& c, const std::string& source,
                           const std::string& plaintext) {
    const std::string encrypted = TempPath(family().name + ".normal.enc");
    const std::string decrypted = TempPath(family().name + ".normal.dec");
    c.EncryptFile(source, encrypted);
    if (family().kind == fkDigest) {
      EXPECT_EQ(ReadFileBytes(encrypted), family().EncryptedStream(recipe(), plaintext));
      return;
    }
    c.DecryptFile(encrypted, decrypted);
    EXPECT_EQ(ReadFileBytes(decrypted), plaintext);
  }
};

std::string FamilyName(const testing::TestParamInfo<const TFamily*>& info) {
  return info.param->name;
}

TEST_P(FileFaults, DestinationOnAFullDevice) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const TFamily& f = family();
  const std::string plaintext = RandomBytes(5000, 7);
  const std::string source = TempPath(f.name + ".full.src");
  WriteFileBytes(source, plaintext);
  auto c = f.Twin(recipe());
  c->SetBufferSize(4);
  EXPECT_THROW(c->EncryptFile(source, "/dev/full"), EInOutError);
  ExpectNormalFileRun(*c, source, plaintext);
  if (f.kind == fkDigest) return;
  const std::string encrypted = TempPath(f.name + ".full.enc");
  c->EncryptFile(source, encrypted);
  EXPECT_THROW(c->DecryptFile(encrypted, "/dev/full"), EInOutError);
  ExpectNormalFileRun(*c, source, plaintext);
  EXPECT_EQ(ReadFileBytes(source), plaintext);
}

TEST_P(FileFaults, DestinationThatCannotBeCreated) {
  const TFamily& f = family();
  const std::string plaintext = "a few bytes to encrypt";
  const std::string source = TempPath(f.name + ".create.src");
  WriteFileBytes(source, plaintext);
  const std::string directory = TempPath(f.name + ".a-directory");
  std::filesystem::create_directory(directory);
  auto c = f.Twin(recipe());
  for (const std::string& dest : {TempPath("no-such-directory") + "/out", directory}) {
    EXPECT_THROW(c->EncryptFile(source, dest), EFCreateError) << dest;
    if (f.kind != fkDigest) {
      const std::string encrypted = TempPath(f.name + ".create.enc");
      c->EncryptFile(source, encrypted);
      EXPECT_THROW(c->DecryptFile(encrypted, dest), EFCreateError) << dest;
    }
    ExpectNormalFileRun(*c, source, plaintext);
  }
  EXPECT_EQ(ReadFileBytes(source), plaintext);
}

// A file system that stops taking bytes at every point of a file run (the size limit of the
// process stands in for a disk that fills up): the run must fail, never report success with a
// short or trailer-less file.
TEST_P(FileFaults, DestinationThatStopsGrowing) {
  const TFamily& f = family();
  const std::string plaintext = RandomBytes(3000, 8);
  const std::string source = TempPath(f.name + ".limit.src");
  const std::string encrypted = TempPath(f.name + ".limit.enc");
  const std::string target = TempPath(f.name + ".limit.out");
  WriteFileBytes(source, plaintext);
  auto c = f.Twin(recipe());
  c->SetBufferSize(5);
  c->EncryptFile(source, encrypted);
  const int64_t encryptedSize = FileSizeOf(encrypted);
  ASSERT_GT(encryptedSize, 0);

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* savedHandler = signal(SIGXFSZ, SIG_IGN);
  auto limitTo = [&](int64_t bytes) {
    rlimit l = saved;
    l.rlim_cur = static_cast<rlim_t>(bytes);
    return setrlimit(RLIMIT_FSIZE, &l) == 0;
  };
  // Limits from 0 to one byte short, with the edges of the leading data and the trailer.
  std::vector<int64_t> limits = {0, 1, encryptedSize - 1};
  for (int64_t l = f.leading; l < encryptedSize - 1; l += 997) limits.push_back(l);
  if (f.kind != fkDigest) limits.push_back(encryptedSize - 4);
  for (int64_t limit : limits) {
    ASSERT_TRUE(limitTo(limit));
    bool failed = false;
    try {
      c->EncryptFile(source, target);
    } catch (const EInOutError&) {
      failed = true;
    }
    ASSERT_TRUE(limitTo(static_cast<int64_t>(saved.rlim_cur)));
    EXPECT_TRUE(failed) << "encryption under a limit of " << limit << " bytes of " << encryptedSize;
  }
  if (f.kind != fkDigest) {
    const int64_t plainLimits[] = {0, 1, static_cast<int64_t>(plaintext.size()) / 2,
                                   static_cast<int64_t>(plaintext.size()) - 1};
    for (int64_t limit : plainLimits) {
      ASSERT_TRUE(limitTo(limit));
      bool failed = false;
      try {
        c->DecryptFile(encrypted, target);
      } catch (const EInOutError&) {
        failed = true;
      }
      ASSERT_TRUE(limitTo(static_cast<int64_t>(saved.rlim_cur)));
      EXPECT_TRUE(failed) << "decryption under a limit of " << limit << " bytes";
    }
  }
  signal(SIGXFSZ, savedHandler);
  ExpectNormalFileRun(*c, source, plaintext);
}

// A source of 2^31 bytes does not fit the layouts' signed 32-bit sizes: the file drivers refuse
// it before the destination exists (a sparse file stands in for a real one; it starts with a
// begin line, so that uuencode reads it as a document).
TEST_P(FileFaults, OversizedSourceIsRefusedBeforeAnythingIsCreated) {
  const TFamily& f = family();
  const std::string big = TempPath(f.name + ".big.src");
  const std::string dest = TempPath(f.name + ".big.out");
  WriteFileBytes(big, "begin 644  big\r\n");
  std::filesystem::resize_file(big, uint64_t{1} << 31);
  auto c = f.Twin(recipe());
  EXPECT_THROW(c->EncryptFile(big, dest), ERangeError);
  // The encoders decode the whole file; a block cipher's stream before its trailer fits, and
  // its trailer does not match the blocks.
  if (f.kind == fkEncoder) {
    EXPECT_THROW(c->DecryptFile(big, dest), ERangeError);
  } else if (f.kind == fkBlockCipher) {
    EXPECT_THROW(c->DecryptFile(big, dest), EVRXDamagedData);
  }
  EXPECT_FALSE(FileExists(dest));
  std::filesystem::remove(big);
}

std::vector<const TFamily*> AllFamilies() {
  std::vector<const TFamily*> all;
  for (const TFamily& f : Families()) all.push_back(&f);
  return all;
}

INSTANTIATE_TEST_SUITE_P(AllComponents, FileFaults, testing::ValuesIn(AllFamilies()), FamilyName);

}  // namespace
