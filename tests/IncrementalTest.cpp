// The incremental interfaces against the drivers: for every family, the same input fed in pieces
// of one byte, of 1 MiB and of random misaligned sizes gives the driver's bytes and the driver's
// progress calls, and a cancel stops both at the same chunk with the same exception.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "morvane/cipher/VRXIncremental.h"
#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Streams.h"
#include "morvane/hash/VRXDigest.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::FromHex;
using morvane::test::RandomBytes;
using morvane::test::TempPath;
using morvane::test::ToHex;

namespace {

using TPieces = std::vector<std::string_view>;

struct TRow {
  const char* name;
  std::function<std::unique_ptr<TCustomVRXCipher>()> make;
  // The row's input made from random bytes: the bytes themselves, or what a driver made of them.
  std::function<std::string(TCustomVRXCipher&, const std::string&)> input;
  // What the driver gives for the input, and what the incremental object gives fed in pieces.
  std::function<std::string(TCustomVRXCipher&, const std::string&)> driver;
  std::function<std::string(TCustomVRXCipher&, const TPieces&)> incremental;
  bool decrypting;
};

void PrintTo(const TRow& row, std::ostream* os) {
  *os << row.name;
}

std::string Same(TCustomVRXCipher&, const std::string& bytes) {
  return bytes;
}

template <class T>
TRow DigestRow(const char* name) {
  return {name,
          [] { return std::make_unique<T>(); },
          Same,
          [](TCustomVRXCipher& c, const std::string& in) { return c.EncryptString(in); },
          [](TCustomVRXCipher& c, const TPieces& pieces) {
            TVRXDigester digest(dynamic_cast<TCustomVRXHash&>(c));
            for (std::string_view p : pieces) digest.Update(p);
            return digest.Finish();
          },
          false};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file driver's output for the given input, through scratch files.
std::string ViaFiles(const std::string& in,
                     const std::function<void(const std::string&, const std::string&)>& run) {
  const std::string src = TempPath("incremental-src"), dst = TempPath("incremental-dst");
  std::ofstream(src, std::ios::binary | std::ios::trunc) << in;
  std::filesystem::remove(dst);
  run(src, dst);
  return ReadFile(dst);
}

// Every run starts from the same IV, so that CFB (which advances it) compares run with run.
void FixIV(TCustomVRXCipher& c) {
  if (c.IVSize() > 0) c.SetIVBytes(std::string(static_cast<size_t>(c.IVSize()), 'v'));
}

std::string DriverEncrypt(TCustomVRXCipher& c, const std::string& in, TCipherLayout layout) {
  FixIV(c);
  if (layout == layoutFile) {
    return ViaFiles(in, [&](const std::string& s, const std::string& d) { c.EncryptFile(s, d); });
  }
  TReadOnlyMemoryStream src(in);
  TMemoryStream dst;
  c.EncryptStream(src, dst, static_cast<int32_t>(in.size()));
  return dst.TakeData();
}

std::string DriverDecrypt(TCustomVRXCipher& c, const std::string& in, TCipherLayout layout) {
  FixIV(c);
  if (layout == layoutFile) {
    return ViaFiles(in, [&](const std::string& s, const std::string& d) { c.DecryptFile(s, d); });
  }
  TReadOnlyMemoryStream src(in);
  TMemoryStream dst;
  c.DecryptStream(src, dst, static_cast<int32_t>(in.size()));
  return dst.TakeData();
}

template <class TObject>
std::string Incremental(TCustomVRXCipher& c, const TPieces& pieces, TCipherLayout layout) {
  FixIV(c);
  TObject object(c, layout);
  std::string out;
  for (std::string_view p : pieces) object.Update(p, out);
  object.Finish(out);
  return out;
}

using TMake = std::function<std::unique_ptr<TCustomVRXCipher>()>;

TRow EncryptRow(const char* name, TMake make, TCipherLayout layout) {
  return {
      name,
      std::move(make),
      Same,
      [layout](TCustomVRXCipher& c, const std::string& in) { return DriverEncrypt(c, in, layout); },
      [layout](TCustomVRXCipher& c, const TPieces& pieces) {
        return Incremental<TVRXEncryptor>(c, pieces, layout);
      },
      false};
}

TRow DecryptRow(const char* name, TMake make, TCipherLayout layout) {
  return {
      name,
      std::move(make),
      [layout](TCustomVRXCipher& c, const std::string& plain) {
        return DriverEncrypt(c, plain, layout);
      },
      [layout](TCustomVRXCipher& c, const std::string& in) { return DriverDecrypt(c, in, layout); },
      [layout](TCustomVRXCipher& c, const TPieces& pieces) {
        return Incremental<TVRXDecryptor>(c, pieces, layout);
      },
      true};
}

template <class T>
TMake Cipher(TCipherMode mode) {
  return [mode]() -> std::unique_ptr<TCustomVRXCipher> {
    auto c = std::make_unique<T>();
    c->SetKey("incremental key 0123456789");
    c->SetMode(mode);
    return c;
  };
}

std::unique_ptr<TCustomVRXCipher> Base64() {
  return std::make_unique<TVRXBase64>();
}

std::unique_ptr<TCustomVRXCipher> UUCode() {
  auto c = std::make_unique<TVRXUUCode>();
  c->SetFileName("data.bin");
  return c;
}

const TRow kRows[] = {
    DigestRow<TVRXMD5>("MD5"),
    DigestRow<TVRXSHA>("SHA1"),
    DigestRow<TVRXRIPEMD160>("RIPEMD160"),
    DigestRow<TVRXRIPEMD128>("RIPEMD128"),
    EncryptRow("Base64Encode", Base64, layoutStream),
    DecryptRow("Base64Decode", Base64, layoutStream),
    EncryptRow("UUEncodeLines", UUCode, layoutStream),
    DecryptRow("UUDecodeLines", UUCode, layoutStream),
    EncryptRow("UUEncodeDocument", UUCode, layoutFile),
    DecryptRow("UUDecodeDocument", UUCode, layoutFile),
    EncryptRow("BlowfishCBCStreamEncrypt", Cipher<TVRXBlowFish>(cipherCBC), layoutStream),
    DecryptRow("BlowfishCBCStreamDecrypt", Cipher<TVRXBlowFish>(cipherCBC), layoutStream),
    EncryptRow("DESPCBCFileEncrypt", Cipher<TVRXDES>(cipherPCBC), layoutFile),
    DecryptRow("DESPCBCFileDecrypt", Cipher<TVRXDES>(cipherPCBC), layoutFile),
    EncryptRow("TwofishCFBStreamEncrypt", Cipher<TVRXTwoFish>(cipherCFB), layoutStream),
    DecryptRow("TwofishCFBFileDecrypt", Cipher<TVRXTwoFish>(cipherCFB), layoutFile),
};

// The three ways of cutting: one byte at a time, 1 MiB at a time, random sizes up to 3 chunks.
TPieces Cut(std::string_view in, int how, std::mt19937& rng) {
  TPieces out;
  while (!in.empty()) {
    size_t n = 1;
    if (how == 1) n = size_t{1} << 20;
    if (how == 2) n = rng() % 3 == 0 ? rng() % 8 : 1 + rng() % 200000;
    n = std::min(n, in.size());
    out.push_back(in.substr(0, n));
    in.remove_prefix(n);
  }
  if (how == 2) out.insert(out.begin() + static_cast<long>(out.size() / 2), std::string_view{});
  return out;
}

class IncrementalTest : public ::testing::TestWithParam<TRow> {};

}  // namespace

TEST_P(IncrementalTest, AnySplitGivesTheDriversBytesAndProgress) {
  const TRow& row = GetParam();
  auto c = row.make();
  std::vector<uint8_t> calls;
  c->SetOnProgress([&calls](uint8_t n, bool&) { calls.push_back(n); });
  std::mt19937 rng(15);
  for (int32_t bufferSize : {1, 7, 1000}) {
    c->SetBufferSize(bufferSize);
    std::vector<size_t> sizes = {0, 1, 2, 44, 45, 46, 55, 56, 63, 64, 65, 119, 120, 200};
    for (int i = 0; i < 4; ++i) sizes.push_back(rng() % 140000);
    if (bufferSize == 1000) sizes.push_back((size_t{5} << 19) + 13);
    for (size_t n : sizes) {
      const std::string in = row.input(*c, RandomBytes(n, n + 1));
      calls.clear();
      const std::string expected = row.driver(*c, in);
      const std::vector<uint8_t> expectedCalls = calls;
      for (int how = 0; how < 3; ++how) {
        if (how == 0 && in.size() > 20000) continue;
        calls.clear();
        const std::string got = row.incremental(*c, Cut(in, how, rng));
        ASSERT_EQ(got.size(), expected.size()) << n << " bytes, cut " << how << ", " << bufferSize;
        ASSERT_TRUE(got == expected) << n << " bytes, cut " << how << ", BufferSize " << bufferSize;
        ASSERT_EQ(calls, expectedCalls) << n << " bytes, cut " << how << ", " << bufferSize;
      }
    }
  }
}

TEST_P(IncrementalTest, CancelStopsAtTheDriversChunkWithItsException) {
  const TRow& row = GetParam();
  auto c = row.make();
  c->SetBufferSize(2);
  const std::string in = row.input(*c, RandomBytes(1000, 9));
  for (uint8_t at : {1, 3}) {
    c->SetOnProgress([at](uint8_t n, bool& abort) { abort = n == at; });
    std::mt19937 rng(at);
    for (const auto& run :
         {row.driver, std::function<std::string(TCustomVRXCipher&, const std::string&)>(
                          [&](TCustomVRXCipher&cc, const std::string&s) {
                            return row.incremental(cc, Cut(s, 2, rng));
                          })}) {
      try {
        run(*c, in);
        ADD_FAILURE() << "no cancel at chunk " << int{at};
      } catch (const EVRXDecryptCancel& e) {
        EXPECT_TRUE(row.decrypting);
        EXPECT_STREQ(e.what(), "Operation Canceled by user");
      } catch (const EVRXEncryptCancel& e) {
        EXPECT_FALSE(row.decrypting);
        EXPECT_STREQ(e.what(), "Operation Canceled by user");
      }
    }
  }
  // The component is left usable: the next message is whole.
  c->SetOnProgress(nullptr);
  EXPECT_TRUE(row.incremental(*c, {in}) == row.driver(*c, in));
}

namespace {

struct TOutcome {
  std::string bytes;  // the output, or the exception's type and message
  // A file driver names its file in some messages; the pieces have no name: then only the
  // exception's type must agree.
  std::string type;
  bool operator==(const TOutcome& o) const {
    const bool named =
        bytes.find('"') != std::string::npos || o.bytes.find('"') != std::string::npos;
    return type == o.type && (named || bytes == o.bytes);
  }
};

void PrintTo(const TOutcome& o, std::ostream* os) {
  *os << o.bytes;
}

TOutcome Outcome(const std::function<std::string()>& run) {
  try {
    return {"ok: " + ToHex(run()), "ok"};
  } catch (const std::exception& e) {
    return {std::string(typeid(e).name()) + ": " + e.what(), typeid(e).name()};
  }
}

}  // namespace

// Damaged input fails as the driver fails (the same exception and message), or decodes to the
// same bytes where the driver accepts it.
TEST_P(IncrementalTest, DamagedInputFailsAsTheDriverFails) {
  const TRow& row = GetParam();
  if (!row.decrypting) GTEST_SKIP() << "encryption takes any input";
  auto c = row.make();
  c->SetBufferSize(2);
  const std::string valid = row.input(*c, RandomBytes(300, 5));
  std::vector<std::string> damaged;
  for (size_t n :
       {size_t{0}, size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{7}, size_t{8}, size_t{9},
        valid.size() - 6, valid.size() - 5, valid.size() - 4, valid.size() - 1}) {
    damaged.push_back(valid.substr(0, n));
  }
  for (size_t at : {size_t{0}, size_t{9}, valid.size() / 2, valid.size() - 3, valid.size() - 1}) {
    for (char b : {'\0', '=', '\n', 'M', '\xFF'}) {
      damaged.push_back(valid);
      damaged.back()[at] = b;
    }
  }
  damaged.push_back(valid + "x");
  damaged.push_back(valid + "\r\n");
  std::mt19937 rng(18);
  for (const std::string& in : damaged) {
    const TOutcome expected = Outcome([&] { return row.driver(*c, in); });
    const TOutcome got = Outcome([&] { return row.incremental(*c, Cut(in, 2, rng)); });
    // A uuencoded document off the encoder's layout is read line by line by the drivers only.
    if (got.bytes.find("Not in this package's layout") != std::string::npos) continue;
    EXPECT_EQ(got, expected) << ToHex(in);
  }
}

INSTANTIATE_TEST_SUITE_P(Families, IncrementalTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

// A digest algorithm that only counts blocks and keeps the length field of the last one, so that
// messages past 4 GiB can be fed in a test.
struct TCountingAlgorithm {
  static constexpr int kWords = 4;
  static constexpr bool kBigEndian = false;
  static constexpr std::array<uint32_t, 4> kInitial = {0, 0, 0, 0};
  using TScratch = detail::TNoScratch;
  static void Compress(uint32_t* State, const uint8_t* Blocks, size_t Count, TScratch&) noexcept {
    const uint64_t blocks = (uint64_t{State[1]} << 32 | State[0]) + Count;
    State[0] = static_cast<uint32_t>(blocks);
    State[1] = static_cast<uint32_t>(blocks >> 32);
    State[2] = LoadLE32(Blocks + 64 * Count - 8);
    State[3] = LoadLE32(Blocks + 64 * Count - 4);
  }
};

}  // namespace

// The length is counted in 64 bits: 5 GiB + 7 bytes end with their bit count in the last block.
TEST(IncrementalDigest, LengthPast4GiBIsCountedIn64Bits) {
  TVRXDigest<TCountingAlgorithm> counter;
  TVRXDigester digest(counter);
  const std::string mib(size_t{1} << 20, 'x');
  for (int i = 0; i < 5 * 1024; ++i) digest.Update(mib);
  digest.Update(std::string_view("1234567"));
  const uint64_t n = (uint64_t{5} << 30) + 7;
  EXPECT_EQ(digest.GetLength(), n);
  const std::string state = digest.Finish();
  uint8_t expectedBlocks[8], expectedField[8];
  StoreLE64(expectedBlocks, (n + 8) / 64 + 1);
  StoreLE64(expectedField, n * 8);
  EXPECT_EQ(ToHex(state.substr(0, 8)),
            ToHex(std::string(reinterpret_cast<char*>(expectedBlocks), 8)));
  EXPECT_EQ(ToHex(state.substr(8)), ToHex(std::string(reinterpret_cast<char*>(expectedField), 8)));
}

namespace {

// A cipher that consumes its chunks and writes nothing: the file layout's size limit can be
// reached in a test.
class TNullCipher : public TCustomVRXCipher {
 public:
  TNullCipher() { SetGeometry(64, 64); }

 protected:
  void EncryptBuffer() override { TakeDirect(btPlainText, DirectBytes(btPlainText)); }
  void DecryptBuffer() override {}
};

}  // namespace

// The file layout records the size in signed 32 bits: 2^31 - 1 bytes are the most; the Update
// that passes them fails and writes nothing. The stream layout goes on.
TEST(IncrementalCipher, FileLayoutStopsAtTheLargestRecordableSize) {
  TNullCipher c;
  c.SetBufferSize(16384);
  const std::string mib(size_t{1} << 20, 'x');
  for (TCipherLayout layout : {layoutFile, layoutStream}) {
    TVRXEncryptor full(c, layout), past(c, layout);
    std::string out;
    for (int i = 0; i < 2047; ++i) {
      full.Update(mib, out);
      past.Update(mib, out);
    }
    const std::string_view last = std::string_view(mib).substr(1);
    full.Update(last, out);
    past.Update(last, out);
    EXPECT_EQ(out, "");
    if (layout == layoutFile) {
      EXPECT_THROW(past.Update(std::string_view("y"), out), ERangeError);
      EXPECT_EQ(out, "");
      full.Finish(out);
      EXPECT_EQ(ToHex(out), "FFFFFF7F");
    } else {
      past.Update(std::string_view("y"), out);
      past.Finish(out);
      EXPECT_EQ(past.GetLength(), uint64_t{1} << 31);
      EXPECT_EQ(out, "");
    }
  }
}

// A uuencoded document fed in pieces must be in the package's own form; one in the form of other
// tools is refused once its begin line is in, and a text without any begin line fails as the
// drivers fail.
TEST(IncrementalUUCode, OtherToolsFormIsRefusedAndNoBeginLineIsTheDriversError) {
  TVRXUUCode c;
  for (auto [doc, message] :
       {std::pair{"From: a\nbegin 644 name.txt\n#86)C\n`\nend\n", "No begin line of"},
        std::pair{"begin 644 name.txt\n#86)C\n`\nend\n", "No begin line of"},
        std::pair{"no begin\r\nline\r\nend\r\n", "No begin line"}}) {
    TVRXDecryptor d(c, layoutFile);
    std::string out;
    try {
      d.Update(std::string_view(doc), out);
      d.Finish(out);
      ADD_FAILURE() << doc;
    } catch (const EVRXUUError& e) {
      EXPECT_TRUE(std::string_view(e.what()).starts_with(message)) << e.what();
    }
    EXPECT_EQ(out, "");
  }
}
