// The cipher base and its drivers, through small test-only ciphers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "morvane/cipher/VRXCipher.h"
#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/framework/Files.h"
#include "support/Families.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::FromHex;
using morvane::test::RandomBytes;
using morvane::test::TempPath;
using morvane::test::ToHex;

namespace {

// An 8-byte-block cipher that adds a key-derived word to each big-endian word; its leading data
// is the eight bytes 'L'. It counts key schedules and records the words it encrypts.
class TTestCipher : public TCustomVRXCipher {
 public:
  explicit TTestCipher(TComponent* AOwner = nullptr) : TCustomVRXCipher(AOwner) {
    SetGeometry(8, 8, 8);
  }
  int keySchedules = 0;
  uint32_t delta = 0;
  std::string seenLeading;
  std::vector<uint32_t> extracted;  // by Extract32Bits, encrypting

  using TCustomVRXCipher::ExtractByte;
  using TCustomVRXCipher::Insert32Bits;

 protected:
  void ProcessKey() override {
    ++keySchedules;
    delta = GetKey().empty() ? 0 : static_cast<uint8_t>(GetKey()[0]);
  }
  void StartEncryption(uint8_t* LeadingData) override {
    TCustomVRXCipher::StartEncryption(LeadingData);
    std::fill_n(LeadingData, 8, 'L');
  }
  void StartDecryption(uint8_t* LeadingData) override {
    TCustomVRXCipher::StartDecryption(LeadingData);
    seenLeading.assign(reinterpret_cast<char*>(LeadingData), 8);
  }
  void EncryptBuffer() override {
    auto n = static_cast<int32_t>(ChunkView(btPlainText, btCipherText).In().size());
    do {
      uint32_t l, r;
      Extract32Bits(btPlainText, l);
      Extract32Bits(btPlainText, r);
      extracted.insert(extracted.end(), {l, r});
      Insert64Bits(btCipherText, l + delta, r + delta);
      n -= 8;
    } while (n > 0);
  }
  void DecryptBuffer() override {
    auto n = static_cast<int32_t>(ChunkView(btCipherText, btPlainText).In().size());
    do {
      uint32_t l, r;
      Extract64Bits(btCipherText, l, r);
      Insert64Bits(btPlainText, l - delta, r - delta);
      n -= 8;
    } while (n > 0);
  }
};

// A cipher that asks for a fixed number of bytes past the end of its data.
class TGreedyCipher : public TCustomVRXCipher {
 public:
  explicit TGreedyCipher(int32_t want) : want_(want) { SetGeometry(1, 1); }

 protected:
  void EncryptBuffer() override {
    uint8_t sum = 0;
    for (int32_t i = 0; i < want_; ++i) sum = static_cast<uint8_t>(sum + ExtractByte(btPlainText));
    InsertByte(btCipherText, sum);
  }
  void DecryptBuffer() override {}

 private:
  int32_t want_;
};

class TNoGeometry : public TCustomVRXCipher {
 protected:
  void EncryptBuffer() override {}
  void DecryptBuffer() override {}
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

TEST(CipherBase, NewComponentDefaults) {
  TNoGeometry c;
  EXPECT_EQ(c.GetKeyLength(), 0);
  EXPECT_EQ(c.GetMode(), cipherECB);
  EXPECT_EQ(c.GetBufferSize(), 1000);
  EXPECT_EQ(c.GetLeadingDataSize(), 0);
  EXPECT_EQ(c.GetTrailingDataSize(), 0);
  EXPECT_FALSE(c.GetOnProgress());
}

TEST(CipherBase, KeyLengthAndKeyBytes) {
  TTestCipher c;
  c.SetKeyLength(0);
  EXPECT_EQ(c.GetKey(), std::string(1, '\0'));
  c.SetKeyLength(-5);
  EXPECT_EQ(c.GetKeyLength(), 1);
  c.SetKey("abcdef");
  c.SetKeyLength(3);
  EXPECT_EQ(c.GetKey(), "abc");
  c.SetKeyLength(5);
  EXPECT_EQ(c.GetKey(), std::string("abc\0\0", 5));

  c.SetKey(std::string("k\0y\xff", 4));
  EXPECT_EQ(c.GetKeyByte(3), 0xFF);
  EXPECT_EQ(c.GetKeyByte(1), 0);
  for (int32_t bad : {4, 100, -1, INT32_MIN}) {
    try {
      c.GetKeyByte(bad);
      ADD_FAILURE() << bad;
    } catch (const EVRXOutOfRange& e) {
      EXPECT_STREQ(e.what(), "Key index out of range");
    }
    EXPECT_THROW(c.SetKeyByte(bad, 1), EVRXOutOfRange);
  }
  EXPECT_EQ(c.GetKey(), std::string("k\0y\xff", 4));
}

TEST(CipherBase, KeyScheduleIsLazyAndFollowsEveryKeyChange) {
  TTestCipher c;
  c.SetKey("A");
  c.EncryptString("x");
  c.EncryptString("x");
  EXPECT_EQ(c.keySchedules, 1);
  c.SetMode(cipherCBC);
  c.SetBufferSize(3);
  c.EncryptString("x");
  EXPECT_EQ(c.keySchedules, 1) << "mode and buffer size keep the schedule";
  c.SetKey("A");
  c.EncryptString("x");
  EXPECT_EQ(c.keySchedules, 2) << "the same key still counts as a change";
  c.SetKeyByte(0, 'B');
  c.DecryptString(c.EncryptString("x"));
  EXPECT_EQ(c.keySchedules, 3);
  c.SetKeyLength(1);
  c.EncryptString("x");
  EXPECT_EQ(c.keySchedules, 4);
}

TEST(CipherBase, CipherTextLengthRoundsBySignedDivision) {
  TTestCipher c;
  EXPECT_EQ(c.CipherTextLength(0), 0);
  EXPECT_EQ(c.CipherTextLength(1), 8);
  EXPECT_EQ(c.CipherTextLength(16), 16);
  EXPECT_EQ(c.CipherTextLength(17), 24);
  EXPECT_EQ(c.CipherTextLength(-1), 8);
  EXPECT_EQ(c.CipherTextLength(-9), 0);
  EXPECT_EQ(c.CipherTextLength(INT32_MAX - 7), INT32_MAX - 7);
  EXPECT_EQ(c.CipherTextLength(INT32_MIN), INT32_MIN);
  // Rounding up past the largest size is refused rather than wrapped to a negative length.
  EXPECT_THROW(c.CipherTextLength(INT32_MAX - 6), ERangeError);
  EXPECT_THROW(c.CipherTextLength(INT32_MAX), ERangeError);
  TNoGeometry none;
  try {
    none.CipherTextLength(1);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.AssertMessage(), " El tama\xF1o del bloque de encriptaci\xF3n de entrada es cero!");
    EXPECT_EQ(e.UnitName(), "VRXCipher");
  }
}

TEST(CipherBase, ExtractAndInsertAreBigEndian) {
  // Plain 01 02 03 04 05: a whole word, then one data byte and three pad bytes.
  TTestCipher c;
  c.SetKey(std::string(1, '\0'));
  c.EncryptString("\x01\x02\x03\x04\x05");
  EXPECT_EQ(c.extracted, (std::vector<uint32_t>{0x01020304u, 0x05000000u}));
  // Through a run: the test cipher with delta 0 inserts exactly what it extracts.
  const std::string enc = c.EncryptString(std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9));
  EXPECT_EQ(enc.substr(12), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\0\0\0\0\0\0\0", 16));
}

TEST(CipherBase, PaddingBufferHoldsExactly1024Bytes) {
  TGreedyCipher ok(1024);
  EXPECT_EQ(ok.EncryptString("").size(), 5u);
  TGreedyCipher tooMuch(1025);
  try {
    tooMuch.EncryptString("");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.AssertMessage(), "Request for data exceeded message and padding buffer");
  }
  // The data bytes come first: 3 data bytes then 1022 pad bytes fit, 1023 do not.
  TGreedyCipher withData(1025);
  EXPECT_EQ(withData.EncryptString("abc").size(), 5u);
}

TEST(CipherDrivers, StringLayout) {
  TTestCipher c;
  c.SetKey("\x01");
  const std::string e0 = c.EncryptString("");
  ASSERT_EQ(e0.size(), 20u);
  EXPECT_EQ(e0.substr(0, 12), std::string("\0\0\0\0LLLLLLLL", 12));
  EXPECT_EQ(c.DecryptString(e0), "");
  EXPECT_EQ(c.EncryptString(std::string(8, 'a')).size(), 4u + 8 + 8);
  EXPECT_EQ(c.EncryptString(std::string(9, 'a')).size(), 4u + 8 + 16);
  EXPECT_EQ(c.EncryptString(std::string(300, 'a')).substr(0, 4), std::string("\x2C\x01\0\0", 4));
  const std::string data = RandomBytes(1234, 7);
  EXPECT_EQ(c.DecryptString(c.EncryptString(data)), data);
}

TEST(CipherDrivers, ShortAndDamagedEncryptedStrings) {
  TTestCipher c;
  c.SetKey("k");
  for (size_t n = 0; n <= 4; ++n) {
    try {
      c.DecryptString(std::string(n, '\0'));
      ADD_FAILURE() << n;
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.AssertMessage(), "The encrypted string must contain the length of the plaintext");
    }
  }
  for (size_t n = 5; n <= 11; ++n) EXPECT_THROW(c.DecryptString(std::string(n, '\0')), EReadError);
  // Length and leading data only: one block of padding decrypts.
  EXPECT_EQ(c.DecryptString(std::string(12, '\0')), "");
  EXPECT_EQ(c.DecryptString(std::string("\x08\0\0\0LLLLLLLL", 12)).size(), 8u);
  EXPECT_THROW(c.DecryptString(std::string("\x09\0\0\0LLLLLLLL", 12)), EReadError);
  // Negative and huge recorded lengths fail without allocating them.
  std::string negative = c.EncryptString("abc");
  negative[3] = '\x80';
  EXPECT_THROW(c.DecryptString(negative), EReadError);
  std::string huge = c.EncryptString("abc");
  huge.replace(0, 4, "\xff\xff\xff\x7f");
  EXPECT_THROW(c.DecryptString(huge), EReadError);
}

TEST(CipherDrivers, ProgressOncePerChunkWrapping) {
  TTestCipher c;
  c.SetKey("k");
  std::vector<int> seen;
  c.SetOnProgress([&](uint8_t n, bool&) { seen.push_back(n); });
  c.EncryptString(std::string(8000, 'x'));
  EXPECT_EQ(seen, std::vector<int>({1}));
  seen.clear();
  c.EncryptString(std::string(8001, 'x'));
  EXPECT_EQ(seen, std::vector<int>({1, 2}));
  seen.clear();
  c.SetBufferSize(1);
  const std::string enc = c.EncryptString(std::string(8 * 257, 'x'));
  ASSERT_EQ(seen.size(), 257u);
  EXPECT_EQ(seen[254], 255);
  EXPECT_EQ(seen[255], 0);
  EXPECT_EQ(seen[256], 1);
  seen.clear();
  EXPECT_EQ(c.DecryptString(enc), std::string(8 * 257, 'x'));
  EXPECT_EQ(seen.size(), 257u);
}

TEST(CipherDrivers, CancelRaisesAndLeavesComponentUsable) {
  TTestCipher c;
  c.SetKey("k");
  c.SetBufferSize(1);
  c.SetOnProgress([](uint8_t n, bool& abort) { abort = n == 2; });
  TReadOnlyMemoryStream src("0123456789abcdefXYZ");
  TMemoryStream dst;
  try {
    c.EncryptStream(src, dst, 19);
    FAIL();
  } catch (const EVRXEncryptCancel& e) {
    EXPECT_STREQ(e.what(), "Operation Canceled by user");
  }
  EXPECT_EQ(dst.GetSize(), 16) << "leading data and the first chunk only";
  EXPECT_EQ(dst.GetPosition(), 16) << "not rewound after a cancel";
  EXPECT_THROW(c.EncryptString(std::string(16, 'x')), EVRXEncryptCancel);
  const std::string enc = [&] {
    c.SetOnProgress(nullptr);
    return c.EncryptString("hello");
  }();
  c.SetOnProgress([](uint8_t, bool& abort) { abort = true; });
  EXPECT_THROW(c.DecryptString(enc), EVRXDecryptCancel);
  c.SetOnProgress(nullptr);
  EXPECT_EQ(c.DecryptString(enc), "hello");
}

TEST(CipherDrivers, StreamsHonourTheirSizes) {
  TTestCipher c;
  c.SetKey("k");
  // Never more than Size bytes from the source.
  TReadOnlyMemoryStream src("abcdefghij-rest");
  TMemoryStream dst;
  c.EncryptStream(src, dst, 10);
  EXPECT_EQ(src.GetPosition(), 10);
  EXPECT_EQ(dst.GetPosition(), 0);
  EXPECT_EQ(dst.GetSize(), 8 + 16);
  // A source that ends before Size bytes.
  TReadOnlyMemoryStream shortSrc("abc");
  TMemoryStream out;
  EXPECT_THROW(c.EncryptStream(shortSrc, out, 10), EReadError);
  // Decryption reads only its own Size; leading data missing is a read error.
  std::string stream = dst.Data() + "trailing";
  TReadOnlyMemoryStream encSrc(stream);
  TMemoryStream plain;
  c.DecryptStream(encSrc, plain, 24);
  EXPECT_EQ(encSrc.GetPosition(), 24);
  EXPECT_EQ(plain.Data(), std::string("abcdefghij\0\0\0\0\0\0", 16));
  TReadOnlyMemoryStream tiny("LLL");
  EXPECT_THROW(c.DecryptStream(tiny, plain, 3), EReadError);
  EXPECT_EQ(tiny.GetPosition(), 0) << "nothing is read for an impossible size";
}

TEST(CipherDrivers, BufferSizeIsCheckedBeforeAnythingIsWritten) {
  TTestCipher c;
  c.SetKey("k");
  for (int32_t bad : {0, -1, INT32_MAX / 8 + 1}) {
    c.SetBufferSize(bad);
    TReadOnlyMemoryStream src("abc");
    TMemoryStream dst;
    try {
      c.EncryptStream(src, dst, 3);
      ADD_FAILURE() << bad;
    } catch (const EAssertionFailed& e) {
      EXPECT_NE(e.AssertMessage().find("BufferSize"), std::string::npos);
    }
    EXPECT_EQ(dst.GetSize(), 0);
    EXPECT_THROW(c.DecryptStream(src, dst, 3), EAssertionFailed);
  }
  c.SetBufferSize(INT32_MAX / 8);  // legal: only the run's own bytes are allocated
  EXPECT_EQ(c.DecryptString(c.EncryptString("abc")), "abc");
}

TEST(CipherDrivers, FileLayoutAndRoundTrip) {
  TTestCipher c;
  c.SetKey("k");
  c.SetBufferSize(2);
  for (size_t n : {0u, 1u, 16u, 17u, 100u}) {
    const std::string plain = RandomBytes(n, n);
    const std::string src = TempPath("plain.bin"), enc = TempPath("enc.bin"),
                      dec = TempPath("dec.bin");
    WriteFile(src, plain);
    c.EncryptFile(src, enc);
    const std::string e = ReadFile(enc);
    ASSERT_EQ(e.size(), 8 + 8 * std::max<size_t>(1, (n + 7) / 8) + 4) << n;
    EXPECT_EQ(LoadLE32(e.data() + e.size() - 4), n);
    WriteFile(dec, "old content that must go");
    c.DecryptFile(enc, dec);
    EXPECT_EQ(ReadFile(dec), plain) << n;
  }
}

TEST(CipherDrivers, FileErrorsKeepDestinations) {
  TTestCipher c;
  c.SetKey("k");
  const std::string src = TempPath("f-src.bin"), dst = TempPath("f-dst.bin");
  WriteFile(src, "some data");
  EXPECT_THROW(c.EncryptFile(src, src), EFCreateError);
  EXPECT_EQ(ReadFile(src), "some data");
  const std::string link = TempPath("f-link.bin");
  ASSERT_EQ(::symlink(src.c_str(), link.c_str()), 0);
  EXPECT_THROW(c.DecryptFile(link, src), EFCreateError);
  EXPECT_THROW(c.EncryptFile(TempPath("f-missing.bin"), dst), EFOpenError);

  // Too short for leading data and trailer: refused as damaged, the destination untouched.
  WriteFile(dst, "keep me");
  for (size_t n : {0u, 3u, 4u, 7u, 11u}) {
    WriteFile(src, std::string(n, 'x'));
    EXPECT_THROW(c.DecryptFile(src, dst), EVRXDamagedData) << n;
    EXPECT_EQ(ReadFile(dst), "keep me") << n;
  }
  WriteFile(src, std::string(11, 'x'));
  // A recorded size larger than the data, or negative.
  c.EncryptFile(src, TempPath("f-enc.bin"));  // 11 bytes: two blocks, 16 bytes decrypted
  std::string enc = ReadFile(TempPath("f-enc.bin"));
  enc.replace(enc.size() - 4, 4, std::string("\x11\0\0\0", 4));
  WriteFile(src, enc);
  EXPECT_THROW(c.DecryptFile(src, dst), EVRXDamagedData);
  enc.replace(enc.size() - 4, 4, "\xff\xff\xff\xff");
  WriteFile(src, enc);
  EXPECT_THROW(c.DecryptFile(src, dst), EVRXDamagedData);
  EXPECT_EQ(ReadFile(dst), "keep me");
}

// The IV as bytes, for every component: a block cipher's bytes are exactly what leads its
// encrypted stream, whether set, randomized or carried in by a decryption; the others have none.
TEST(CipherIV, BytesAreTheLeadingDataOfEveryFamily) {
  const std::string plain = RandomBytes(100, 5);
  for (const auto& family : test::Families()) {
    SCOPED_TRACE(family.name);
    for (TCipherMode mode : family.modes) {
      SCOPED_TRACE(static_cast<int>(mode));
      const test::TRecipe recipe{"a key of twenty bytes", mode};
      auto c = family.Twin(recipe);
      const auto size = static_cast<size_t>(c->IVSize());
      if (family.kind != test::fkBlockCipher) {
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(c->GetIVBytes(), "");
        c->RandomizeIV();
        c->SetIVBytes("");
        EXPECT_THROW(c->SetIVBytes("x"), EVRXOutOfRange);
        continue;
      }
      ASSERT_EQ(size, static_cast<size_t>(family.leading));
      // What the layout starts with before any change: the built-in IV.
      EXPECT_EQ(family.EncryptedStream(recipe, plain).substr(0, size), c->GetIVBytes());

      const std::string iv = RandomBytes(size, 77 + mode);
      c->SetIVBytes(iv);
      EXPECT_EQ(c->GetIVBytes(), iv);
      const std::string enc = c->EncryptString(plain);
      EXPECT_EQ(enc.substr(4, size), iv);
      for (size_t bad : {size_t{0}, size - 1, size + 1}) {
        EXPECT_THROW(c->SetIVBytes(std::string(bad, '\x5A')), EVRXOutOfRange) << bad;
      }
      if (mode != cipherCFB) {
        EXPECT_EQ(c->GetIVBytes(), iv);  // CFB advanced it in the run
      }

      // Fresh IVs: different each time, carried in the stream, decrypted by any twin.
      c->RandomizeIV();
      const std::string iv1 = c->GetIVBytes();
      const std::string enc1 = c->EncryptString(plain);
      c->RandomizeIV();
      const std::string iv2 = c->GetIVBytes();
      const std::string enc2 = c->EncryptString(plain);
      EXPECT_NE(iv1, iv2);
      EXPECT_NE(iv1, iv);
      EXPECT_EQ(enc1.substr(4, size), iv1);
      EXPECT_EQ(enc2.substr(4, size), iv2);
      if (mode != cipherECB) {
        EXPECT_NE(enc1.substr(4 + size), enc2.substr(4 + size));
      }
      auto reader = family.Twin(recipe);
      EXPECT_EQ(reader->DecryptString(enc1), plain);
      if (mode != cipherCFB) {
        EXPECT_EQ(reader->GetIVBytes(), iv1);  // the carried IV
      }
      EXPECT_EQ(reader->DecryptString(enc2), plain);
    }
  }
}

// The IV by word index, for each block cipher: the built-in words, the words set, and any index
// outside the IV refused with one message that leaves the IV and the component as they were.
template <class TCipher>
void ExpectIVWords(const std::vector<uint32_t>& BuiltIn, const std::string& Words) {
  TCipher c;
  SCOPED_TRACE(c.ClassName());
  const auto n = static_cast<int32_t>(BuiltIn.size());
  for (int32_t i = 0; i < n; ++i) EXPECT_EQ(c.GetIV(i), BuiltIn[static_cast<size_t>(i)]) << i;
  for (int32_t bad : {-1, n, n + 1, 18, INT32_MIN, INT32_MAX}) {
    const std::string message =
        "IV index out of range: " + std::to_string(bad) + " (" + Words + ")";
    try {
      c.GetIV(bad);
      ADD_FAILURE() << bad;
    } catch (const EVRXOutOfRange& e) {
      EXPECT_EQ(e.what(), message);
    }
    try {
      c.SetIV(bad, 0xFFFFFFFF);
      ADD_FAILURE() << bad;
    } catch (const EVRXOutOfRange& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
  for (int32_t i = 0; i < n; ++i) EXPECT_EQ(c.GetIV(i), BuiltIn[static_cast<size_t>(i)]) << i;
  c.SetIV(n - 1, 0xA1B2C3D4);
  EXPECT_EQ(c.GetIV(n - 1), 0xA1B2C3D4u);
  EXPECT_EQ(c.GetIVBytes().substr(static_cast<size_t>(4 * (n - 1))), "\xD4\xC3\xB2\xA1");
  c.SetKey("still works");
  EXPECT_EQ(c.DecryptString(c.EncryptString("x")), "x");
}

TEST(CipherIV, WordsByIndex) {
  ExpectIVWords<TVRXBlowFish>({0x5E3A91C7, 0x2B84D06F}, "the Blowfish IV has the words 0 and 1");
  ExpectIVWords<TVRXDES>({0x3A61C7E2, 0x9B0D4F18}, "the DES IV has the words 0 and 1");
  ExpectIVWords<TVRXTwoFish>({0x6E2F91C4, 0x17B8D35A, 0xC04A7E29, 0x8D5316F7},
                             "the Twofish IV has the words 0 to 3");
}

// Progress in bytes beside the chunk count: the input processed so far, rising to the whole
// input by the last call, for encryption and decryption of every family through each driver.
TEST(CipherDrivers, ProgressInBytesReachesTheInputSize) {
  const std::string plain = RandomBytes(5000, 9);
  for (const auto& family : test::Families()) {
    SCOPED_TRACE(family.name);
    auto c = family.Twin({"a key of twenty bytes", family.modes.front()});
    c->SetBufferSize(7);
    std::vector<std::pair<int64_t, int64_t>> seen;
    c->SetOnProgress(
        [&](uint8_t, bool&) { seen.emplace_back(c->GetProgressDone(), c->GetProgressTotal()); });
    auto check = [&](int64_t total, const char* what) {
      SCOPED_TRACE(what);
      ASSERT_GT(seen.size(), 2u);
      EXPECT_LT(seen.front().first, total);
      for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].second, total) << i;
        if (i > 0) {
          EXPECT_GE(seen[i].first, seen[i - 1].first) << i;  // a digest's padding adds a call
        }
      }
      EXPECT_EQ(seen.back().first, total);
      seen.clear();
    };
    const std::string enc = c->EncryptString(plain);
    check(5000, "EncryptString");
    TReadOnlyMemoryStream source(std::string_view(plain).substr(0, 3000));
    TMemoryStream dest;
    c->EncryptStream(source, dest, 3000);
    check(3000, "EncryptStream");
    if (family.kind == test::fkDigest) continue;
    c->DecryptString(enc);
    const int64_t body = family.kind == test::fkBlockCipher
                             ? static_cast<int64_t>(enc.size()) - 4 - family.leading
                         : seen.empty() ? 0
                                        : seen.back().second;
    check(body, "DecryptString");
  }
}

// ---- The block ciphers' layouts: what the package writes decrypts byte-exact, and damage to a
// layout's structure is refused before anything is written.

namespace {

enum TLayout { lyStream, lyFile, lyString };

struct TCipherRow {
  const char* name;
  int32_t block;
  std::vector<TCipherMode> modes;
  std::function<std::unique_ptr<TCustomVRXCipher>()> make;
};

const std::vector<TCipherRow>& CipherRows() {
  static const std::vector<TCipherRow> rows = {
      {"Blowfish",
       8,
       {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC},
       [] {
         auto c = std::make_unique<TVRXBlowFish>();
         c->SetKey("layout key");
         return c;
       }},
      {"DES",
       8,
       {cipherECB, cipherCBC, cipherPCBC},
       [] {
         auto c = std::make_unique<TVRXDES>();
         c->SetKey("\x13\x34\x57\x79\x9B\xBC\xDF\xF1");
         return c;
       }},
      {"Twofish",
       16,
       {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC},
       [] {
         auto c = std::make_unique<TVRXTwoFish>();
         c->SetKey("a twofish layout key, 32 bytes!!");
         return c;
       }},
  };
  return rows;
}

const char* LayoutName(TLayout Layout) {
  return Layout == lyStream ? "stream" : Layout == lyFile ? "file" : "string";
}

// The layout's bytes for Plain, as the package writes them.
std::string EncryptAs(TCustomVRXCipher& c, TLayout Layout, const std::string& Plain) {
  switch (Layout) {
    case lyStream: {
      TReadOnlyMemoryStream src(Plain);
      TMemoryStream dst;
      c.EncryptStream(src, dst, static_cast<int32_t>(Plain.size()));
      return dst.Data();
    }
    case lyFile: {
      const std::string src = TempPath("l-plain"), dst = TempPath("l-enc");
      WriteFile(src, Plain);
      c.EncryptFile(src, dst);
      return ReadFile(dst);
    }
    default:
      return c.EncryptString(Plain);
  }
}

// Decrypts Encrypted in the layout; a stream's output keeps the padding of its last block. On a
// refusal, checks that nothing was written: the stream destination stays empty and an existing
// file destination keeps its bytes.
std::string DecryptAs(TCustomVRXCipher& c, TLayout Layout, const std::string& Encrypted) {
  switch (Layout) {
    case lyStream: {
      TReadOnlyMemoryStream src(Encrypted);
      TMemoryStream dst;
      try {
        c.DecryptStream(src, dst, static_cast<int32_t>(Encrypted.size()));
      } catch (...) {
        EXPECT_EQ(dst.GetSize(), 0);
        throw;
      }
      return dst.Data();
    }
    case lyFile: {
      const std::string src = TempPath("l-enc"), dst = TempPath("l-dec");
      WriteFile(src, Encrypted);
      WriteFile(dst, "keep");
      try {
        c.DecryptFile(src, dst);
      } catch (...) {
        EXPECT_EQ(ReadFile(dst), "keep");
        throw;
      }
      return ReadFile(dst);
    }
    default:
      return c.DecryptString(Encrypted);
  }
}

}  // namespace

// Every mode, lengths of 0 to 3 blocks and around a chunk, BufferSize 1 and 1000, decrypted by a
// second component with the other BufferSize: the layout's length, and the plaintext back.
TEST(CipherLayouts, EverythingWrittenDecryptsByteExact) {
  for (const auto& row : CipherRows()) {
    const int32_t b = row.block;
    for (TCipherMode mode : row.modes) {
      for (int32_t bufferSize : {1, 1000}) {
        auto c = row.make(), d = row.make();
        c->SetMode(mode);
        d->SetMode(mode);
        c->SetBufferSize(bufferSize);
        d->SetBufferSize(1001 - bufferSize);
        const int32_t chunk = bufferSize * b;
        for (int32_t n : {0, 1, b - 1, b, b + 1, 2 * b, 3 * b - 1, 3 * b, chunk - 1, chunk + 1,
                          1000 * b - 1, 1000 * b, 1000 * b + 1}) {
          const std::string plain = RandomBytes(static_cast<size_t>(std::max(n, 0)), n);
          for (TLayout layout : {lyStream, lyFile, lyString}) {
            SCOPED_TRACE(std::string(row.name) + " mode " + std::to_string(mode) + " BufferSize " +
                         std::to_string(bufferSize) + " " + LayoutName(layout) + " length " +
                         std::to_string(n));
            const std::string enc = EncryptAs(*c, layout, plain);
            const size_t body =
                static_cast<size_t>(b) * std::max<size_t>(1, (plain.size() + b - 1) / b);
            ASSERT_EQ(enc.size(), body + b + (layout == lyStream ? 0 : 4));
            std::string want = plain;
            if (layout == lyStream) want.resize(body, '\0');
            EXPECT_EQ(DecryptAs(*d, layout, enc), want);
          }
        }
      }
    }
  }
}

// Every single-byte deletion, every cut of 1 to 2 blocks off the end (but whole blocks off a
// stream), and a size trailer or length prefix raised or lowered by one block (where that changes
// the number of blocks) are refused as damaged data, before anything is written.
TEST(CipherLayouts, DamagedLayoutsAreRefused) {
  auto refused = [](TCustomVRXCipher& c, TLayout layout, const std::string& bytes) {
    try {
      DecryptAs(c, layout, bytes);
      return false;
    } catch (const EVRXDamagedData&) {
      return true;
    } catch (const EAssertionFailed& e) {
      // A string left without its length prefix keeps the assertion it always had.
      return layout == lyString && bytes.size() < 5 &&
             e.AssertMessage() == "The encrypted string must contain the length of the plaintext";
    }
  };
  for (const auto& row : CipherRows()) {
    const int32_t b = row.block;
    {
      // The layout is checked before the first chunk: one chunk size serves.
      auto c = row.make();
      c->SetMode(cipherCBC);
      c->SetBufferSize(1);
      for (int32_t n : {0, 1, b, b + 1, 2 * b + 3, 3 * b}) {
        for (TLayout layout : {lyStream, lyFile, lyString}) {
          SCOPED_TRACE(std::string(row.name) + " " + LayoutName(layout) + " length " +
                       std::to_string(n));
          const std::string enc = EncryptAs(*c, layout, RandomBytes(static_cast<size_t>(n), 7));
          for (size_t at = 0; at < enc.size(); ++at) {
            EXPECT_TRUE(refused(*c, layout, std::string(enc).erase(at, 1))) << "deleted " << at;
          }
          for (int32_t cut = 1; cut <= 2 * b; ++cut) {
            const std::string shorter = enc.substr(0, enc.size() - cut);
            // A stream records no length: whole blocks cut with a block left are a shorter
            // stream.
            const bool legal =
                layout == lyStream && cut % b == 0 && shorter.size() >= static_cast<size_t>(2 * b);
            EXPECT_EQ(refused(*c, layout, shorter), !legal) << "cut " << cut;
          }
          // Lengths up to one block share the one block with 0 and b: their ±b stay legal.
          if (layout != lyStream && n > b) {
            const size_t at = layout == lyFile ? enc.size() - 4 : 0;
            for (int32_t delta : {b, -b}) {
              std::string changed = enc;
              StoreLE32(changed.data() + at, static_cast<uint32_t>(n + delta));
              EXPECT_TRUE(refused(*c, layout, changed)) << "recorded " << n + delta;
            }
          }
        }
      }
    }
  }
}

// The messages name the layout, what it records and what was found; the program prints them
// after "damaged or not encrypted with this cipher's layout".
TEST(CipherLayouts, DamageMessagesSayWhatWasFound) {
  TVRXBlowFish c;
  c.SetKey("layout key");
  auto message = [&](TLayout layout, const std::string& bytes) -> std::string {
    try {
      DecryptAs(c, layout, bytes);
    } catch (const EVRXDamagedData& e) {
      return e.Message();
    }
    return "accepted";
  };
  const std::string stream = EncryptAs(c, lyStream, std::string(17, 's'));  // 8 + 24 bytes
  EXPECT_EQ(message(lyStream, stream.substr(0, 31)),
            "encrypted stream: 23 bytes of encrypted data after its 8 bytes of leading data, not "
            "a whole number of 8-byte blocks");
  EXPECT_EQ(message(lyStream, stream.substr(0, 8)),
            "encrypted stream: 0 bytes of encrypted data after its 8 bytes of leading data, not a "
            "single 8-byte block");
  EXPECT_EQ(message(lyStream, stream.substr(0, 5)),
            "encrypted stream: 5 bytes, too short for its 8 bytes of leading data");
  std::string file = EncryptAs(c, lyFile, std::string(17, 'f'));
  StoreLE32(file.data() + file.size() - 4, 25);
  EXPECT_EQ(message(lyFile, file),
            "encrypted file: its size trailer records 25 bytes, which take 4 blocks of 8 bytes, "
            "but it holds 3");
  EXPECT_EQ(message(lyFile, "abc"),
            "encrypted file: 3 bytes, too short for its 4-byte size trailer");
  EXPECT_EQ(message(lyFile, file.substr(file.size() - 10)),
            "encrypted file: 6 bytes before its size trailer, too short for its 8 bytes of leading "
            "data");
  std::string str = EncryptAs(c, lyString, std::string(17, 'x'));
  StoreLE32(str.data(), static_cast<uint32_t>(-1));
  EXPECT_EQ(message(lyString, str), "encrypted string: its length prefix records -1 bytes");
  EXPECT_EQ(message(lyString, str.substr(0, 11)),
            "encrypted string: 7 bytes after its length prefix, too short for its 8 bytes of "
            "leading data");
}

// The public block operations use the key in force, however the key came: on a new component
// after SetKey, and after a run under another key. Blowfish refuses an empty key there as its
// runs do.
TEST(CipherLayouts, AtomsScheduleTheKeyInForce) {
  struct TAtomRow {
    const char* name;
    std::function<std::unique_ptr<TCustomVRXCipher>()> make;
    // One block through the atom of the component, in place (the block's bytes, as published).
    std::function<std::string(TCustomVRXCipher&, const std::string&, bool)> atom;
    std::array<const char*, 3> first, second;  // key, plaintext, ciphertext
  };
  auto words = [](auto&& atom) {
    return [atom](TCustomVRXCipher& c, const std::string& in, bool encrypt) {
      uint32_t l = LoadBE32(in.data()), r = LoadBE32(in.data() + 4);
      atom(c, l, r, encrypt);
      std::string out(8, '\0');
      StoreBE32(out.data(), l);
      StoreBE32(out.data() + 4, r);
      return out;
    };
  };
  const TAtomRow rows[] = {
      {"Blowfish",
       [] { return std::make_unique<TVRXBlowFish>(); },
       words([](TCustomVRXCipher& c, uint32_t& l, uint32_t& r, bool e) {
         auto& bf = dynamic_cast<TVRXBlowFish&>(c);
         e ? bf.EncryptAtom(l, r) : bf.DecryptAtom(l, r);
       }),
       {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
       {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"}},
      {"DES",
       [] { return std::make_unique<TVRXDES>(); },
       words([](TCustomVRXCipher& c, uint32_t& l, uint32_t& r, bool e) {
         auto& des = dynamic_cast<TVRXDES&>(c);
         e ? des.EncryptAtom(l, r) : des.DecryptAtom(l, r);
       }),
       {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
       {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"}},
      {"Twofish",
       [] { return std::make_unique<TVRXTwoFish>(); },
       [](TCustomVRXCipher& c, const std::string& in, bool e) {
         TBlock128 x;
         for (size_t j = 0; j < 4; ++j) x[j] = LoadLE32(in.data() + 4 * j);
         auto& tf = dynamic_cast<TVRXTwoFish&>(c);
         e ? tf.EncryptAtom(x) : tf.DecryptAtom(x);
         std::string out(16, '\0');
         for (size_t j = 0; j < 4; ++j) StoreLE32(out.data() + 4 * j, x[j]);
         return out;
       },
       {"0123456789ABCDEFFEDCBA98765432100011223344556677", "00000000000000000000000000000000",
        "CFD1D2E5A9BE9CDF501F13B892BD2248"},
       {"0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF",
        "00000000000000000000000000000000", "37527BE0052334B89F0CFCCAE87CFA20"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto c = row.make();
    auto check = [&](const std::array<const char*, 3>& v) {
      EXPECT_EQ(ToHex(row.atom(*c, FromHex(v[1]), true)), v[2]);
      EXPECT_EQ(ToHex(row.atom(*c, FromHex(v[2]), false)), v[1]);
    };
    c->SetKey(FromHex(row.first[0]));
    check(row.first);  // a new component: no run yet
    c->DecryptString(c->EncryptString("a run under the first key"));
    c->SetKey(FromHex(row.second[0]));
    check(row.second);  // a schedule built for another key
  }
  TVRXBlowFish empty;
  uint32_t l = 0, r = 0;
  EXPECT_THROW(empty.EncryptAtom(l, r), EVRXWeakCipherKey);
}
