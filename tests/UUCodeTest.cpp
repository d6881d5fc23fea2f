// TVRXUUCode: the document vectors, chunk boundaries, the begin line, read-only files, damaged
// documents, and the vector paths against the portable one (once per path this CPU offers).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "morvane/encode/VRXEncodeKernels.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::detail::TEncodePath;
using morvane::test::RandomBytes;
using morvane::test::TempPath;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  ::chmod(path.c_str(), 0644);
  std::ofstream(path, std::ios::binary) << bytes;
}

// An independent encoder of the data lines: a bit accumulator per line.
std::string ReferenceLines(std::string_view data) {
  auto ch = [](uint32_t v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  std::string out;
  for (size_t at = 0; at < data.size(); at += 45) {
    const std::string_view line = data.substr(at, 45);
    out += ch(static_cast<uint32_t>(line.size()));
    std::string bytes(line);
    while (bytes.size() % 3 != 0) bytes += '\0';
    uint32_t acc = 0;
    int bits = 0;
    for (unsigned char c : bytes) {
      acc = acc << 8 | c;
      bits += 8;
      while (bits >= 6) {
        bits -= 6;
        out += ch((acc >> bits) & 63);
      }
    }
    out += "\r\n";
  }
  return out;
}

// The message of the EVRXUUError F raised ("" when none); any other exception fails the test.
template <class F>
std::string UUErrorOf(F&& f) {
  try {
    f();
  } catch (const EVRXUUError& e) {
    return e.Message();
  }
  return "";
}

class UUPath : public ::testing::TestWithParam<TEncodePath> {
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

// Every record of the vector file through strings and files, with BufferSize 1 and the default.
TEST_P(UUPath, VectorFile) {
  const auto records = test::LoadVectors("uuencode.txt");
  ASSERT_FALSE(records.empty());
  const std::string docFile = TempPath("v-doc"), plainFile = TempPath("v-plain"),
                    outFile = TempPath("v-out");
  int checked = 0;
  for (int32_t bufferSize : {1000, 1}) {
    for (const auto& r : records) {
      SCOPED_TRACE(r.Where() + " BufferSize " + std::to_string(bufferSize));
      TVRXUUCode c;
      c.SetBufferSize(bufferSize);
      const std::string doc = r.Bytes("Document");
      if (r.Has("Error")) {
        EXPECT_EQ(UUErrorOf([&] { c.DecryptString(doc); }), r.Get("Error"));
        WriteFile(docFile, doc);
        std::filesystem::remove(outFile);
        if (doc.empty()) {
          EXPECT_THROW(c.DecryptFile(docFile, outFile), EInOutError);
        } else {
          EXPECT_EQ(UUErrorOf([&] { c.DecryptFile(docFile, outFile); }), r.Get("Error"));
        }
        EXPECT_FALSE(FileExists(outFile));
        ++checked;
        continue;
      }
      const std::string plain = r.Bytes("Plain");
      c.SetFileName(r.Bytes("FileName"));
      c.SetStatus(r.Bytes("Status"));
      EXPECT_EQ(c.EncryptString(plain), doc);
      WriteFile(plainFile, plain);
      c.EncryptFile(plainFile, docFile);
      EXPECT_EQ(ReadFile(docFile), doc);

      for (bool viaFile : {false, true}) {
        TVRXUUCode d;
        d.SetBufferSize(bufferSize);
        d.SetFileName(r.Bytes("PriorFileName"));
        d.SetStatus(r.Bytes("PriorStatus"));
        if (viaFile) {
          ::chmod(outFile.c_str(), 0644);
          d.DecryptFile(docFile, outFile);
          EXPECT_EQ(ReadFile(outFile), plain);
          EXPECT_EQ(FileGetAttr(outFile) == faReadOnly, r.Bytes("DecodedStatus") == "444  ");
        } else {
          EXPECT_EQ(d.DecryptString(doc), plain);
        }
        EXPECT_EQ(d.GetFileName(), r.Bytes("DecodedFileName")) << "file " << viaFile;
        EXPECT_EQ(d.GetStatus(), r.Bytes("DecodedStatus")) << "file " << viaFile;
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, 2 * static_cast<int>(records.size()));
}

// 45 bytes a line, 1000 lines a chunk by default: one byte under, at and over a chunk, two
// chunks plus one, and the same around the chunks of BufferSize 1 and 2.
TEST_P(UUPath, LinesAndChunkBoundaries) {
  for (int32_t bufferSize : {1000, 1, 2}) {
    TVRXUUCode c;
    c.SetBufferSize(bufferSize);
    const size_t chunk = 45 * static_cast<size_t>(bufferSize);
    for (size_t n : {size_t{1}, size_t{44}, size_t{45}, size_t{46}, chunk - 1, chunk, chunk + 1,
                     2 * chunk + 1}) {
      const std::string data = RandomBytes(n, n * 7 + bufferSize);
      const std::string doc = c.EncryptString(data);
      const std::string expect = "begin \r\n" + ReferenceLines(data) + "end\r\n";
      ASSERT_EQ(doc, expect) << n << " BufferSize " << bufferSize;
      EXPECT_EQ(c.DecryptString(doc), data) << n << " BufferSize " << bufferSize;
    }
  }
  TVRXUUCode c;
  const std::string doc = c.EncryptString(std::string(45001, 'x'));
  EXPECT_EQ(doc.size(), 8 + 1000 * 63 + (1 + 4 + 2) + 5);
  EXPECT_EQ(doc.substr(8 + 1000 * 63, 7), "!>```\r\n");  // one byte: two backquotes of zero fill
}

// A zero value is written as the backquote; the blank reads as zero too.
TEST_P(UUPath, BackquoteAndBlankBothReadAsZero) {
  TVRXUUCode c;
  const std::string data = std::string(90, '\0') + "\x01\x02" + std::string(50, '\0');
  const std::string doc = c.EncryptString(data);
  const size_t lines = doc.find("\r\n") + 2;
  EXPECT_EQ(doc.find(' ', lines), std::string::npos);
  std::string blanks = doc;
  for (size_t i = lines; i < blanks.size(); ++i)
    if (blanks[i] == '`') blanks[i] = ' ';
  EXPECT_NE(blanks, doc);
  EXPECT_EQ(c.DecryptString(blanks), data);
}

TEST_P(UUPath, FileNameAndStatusRoundTrip) {
  const std::string writable = TempPath("u-writable.txt"), readonly = TempPath("u-ro.txt"),
                    hidden = TempPath(".u-hidden-ro");
  WriteFile(writable, "w");
  WriteFile(readonly, "r");
  WriteFile(hidden, "h");
  ASSERT_EQ(::chmod(readonly.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(hidden.c_str(), 0444), 0);
  TVRXUUCode c;
  c.SetFileName(readonly);
  EXPECT_EQ(c.GetStatus(), "444  ");
  c.SetFileName(writable);
  EXPECT_EQ(c.GetStatus(), "644  ");
  c.SetFileName(TempPath("u-missing"));
  EXPECT_EQ(c.GetStatus(), "644  ");
  c.SetFileName(hidden);  // read-only together with another attribute
  EXPECT_EQ(c.GetStatus(), "644  ");

  // A string round trip restores the data, the name and the status that SetFileName set.
  c.SetFileName(readonly);
  const std::string data = RandomBytes(1000, 9);
  const std::string doc = c.EncryptString(data);
  EXPECT_EQ(doc.substr(0, doc.find('\n') + 1), "begin 444  " + readonly + "\r\n");
  TVRXUUCode d;
  EXPECT_EQ(d.DecryptString(doc), data);
  EXPECT_EQ(d.GetFileName(), readonly);
  EXPECT_EQ(d.GetStatus(), "444  ");
}

// A read-only source recorded with "444  " gives a read-only decoded file; a writable one does
// not.
TEST_P(UUPath, ReadOnlyRoundTripThroughFiles) {
  for (bool readOnly : {true, false}) {
    const std::string src = TempPath("ro-src"), doc = TempPath("ro-doc"), out = TempPath("ro-out");
    const std::string data = RandomBytes(50000, readOnly);
    WriteFile(src, data);
    ::chmod(out.c_str(), 0644);
    std::filesystem::remove(out);
    if (readOnly) {
      ASSERT_EQ(::chmod(src.c_str(), 0444), 0);
    }
    TVRXUUCode c;
    c.SetFileName(src);
    c.EncryptFile(src, doc);
    TVRXUUCode d;
    d.DecryptFile(doc, out);
    EXPECT_EQ(ReadFile(out), data);
    EXPECT_EQ(d.GetStatus(), readOnly ? "444  " : "644  ");
    EXPECT_EQ(FileGetAttr(out), readOnly ? faReadOnly : 0);
  }
}

// Documents without their begin or end line create nothing and leave a destination alone; so
// does a document whose data count (size − begin line − 5) is negative.
TEST_P(UUPath, DamagedDocumentsLeaveNoDestination) {
  const std::string src = TempPath("d-src"), dst = TempPath("d-dst");
  const std::pair<std::string, std::string> cases[] = {
      {"#86)C\r\nbegin 644  a\r\nend\r\n", "No begin line"},
      {"begin 644  a\r\n#86)C\r\n", "No end line"},
      {"begin 644  end\r\n", "No end line"},    // "end" only inside the begin line
      {"begin 644  a.txt end", "No end line"},  // no line feed: all of it is the begin line
  };
  for (const auto& [doc, error] : cases) {
    SCOPED_TRACE(doc);
    TVRXUUCode c;
    WriteFile(src, doc);
    std::filesystem::remove(dst);
    EXPECT_EQ(UUErrorOf([&] { c.DecryptFile(src, dst); }), error);
    EXPECT_FALSE(FileExists(dst));
    WriteFile(dst, "keep me");
    EXPECT_EQ(UUErrorOf([&] { c.DecryptFile(src, dst); }), error);
    EXPECT_EQ(ReadFile(dst), "keep me");
    EXPECT_EQ(UUErrorOf([&] { c.DecryptString(doc); }), error);
  }
  // Same file under two names, and an empty file (the framework's read error).
  TVRXUUCode c;
  WriteFile(src, "begin 644  a\r\n#86)C\r\nend\r\n");
  EXPECT_THROW(c.DecryptFile(src, TempPath("./d-src")), EFCreateError);
  EXPECT_THROW(c.EncryptFile(src, src), EFCreateError);
  EXPECT_EQ(ReadFile(src), "begin 644  a\r\n#86)C\r\nend\r\n");
  WriteFile(src, "");
  EXPECT_THROW(c.DecryptFile(src, dst), EInOutError);
}

// The begin line is read by position from its start, wherever "begin " stands in it.
TEST_P(UUPath, BeginLinePositions) {
  TVRXUUCode c;
  c.SetFileName("old");
  EXPECT_EQ(c.DecryptString("begin 6\r\n!80``\r\nend\r\n"), "a");  // 8 bytes: kept
  EXPECT_EQ(c.GetFileName(), "old");
  c.DecryptString("xbegin 644 name\rjunk\r\nend\r\n");
  EXPECT_EQ(c.GetStatus(), " 644 ");
  EXPECT_EQ(c.GetFileName(), "name");  // up to the first carriage return
  c.DecryptString("begin 644  no-cr\nend\r\n");
  EXPECT_EQ(c.GetFileName(), "no-cr");
}

// Malformed data lines give wrong bytes or EVRXUUError, never a crash or a read or write out
// of bounds (the sanitizer build runs this too).
TEST_P(UUPath, MalformedDataLinesNeverCrash) {
  std::mt19937_64 rng(1995);
  const std::string alphabet =
      "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_ \r\n";
  const std::string file = TempPath("m-doc"), out = TempPath("m-out");
  int decoded = 0, refused = 0;
  for (int round = 0; round < 300; ++round) {
    std::string body;
    const size_t n = rng() % (round % 10 == 0 ? 200000 : 400);
    if (round % 3 == 0) {
      // A valid document with line feeds only: its lines slide across the chunks.
      TVRXUUCode e;
      std::string doc = e.EncryptString(RandomBytes(n, rng()));
      for (size_t p; (p = doc.find('\r')) != std::string::npos;) doc.erase(p, 1);
      body = doc.substr(doc.find('\n') + 1);
      body.resize(body.size() - 4);
    } else {
      for (size_t i = 0; i < n; ++i) body += alphabet[rng() % alphabet.size()];
    }
    const std::string doc = "begin 644  m\r\n" + body + "end\r\n";
    TVRXUUCode c;
    c.SetBufferSize(static_cast<int32_t>(1 + rng() % 1500));
    std::string viaString = "failed";
    try {
      viaString = c.DecryptString(doc);
      ++decoded;
    } catch (const EVRXUUError& e) {
      EXPECT_EQ(e.Message(), "Malformed data line");
      ++refused;
    }
    WriteFile(file, doc);
    try {
      c.DecryptFile(file, out);
      EXPECT_EQ(ReadFile(out), viaString);
    } catch (const EVRXUUError& e) {
      EXPECT_EQ(e.Message(), "Malformed data line");
      EXPECT_EQ(viaString, "failed");
    }
  }
  // Both outcomes occur: wrong bytes, and lines refused.
  EXPECT_GT(decoded, 50);
  EXPECT_GT(refused, 20);
  // The longest length character asks for 63 bytes from one line: more than its chunk holds.
  TVRXUUCode c;
  EXPECT_EQ(UUErrorOf([&] { c.DecryptString("begin \r\n_\r\nend\r\n"); }), "Malformed data line");
}

TEST_P(UUPath, CancelledEncryptFileHasNoEndLine) {
  const std::string src = TempPath("c-src"), doc = TempPath("c-doc");
  WriteFile(src, RandomBytes(1000, 4));
  TVRXUUCode c;
  c.SetBufferSize(10);
  c.SetOnProgress([](uint8_t n, bool& abort) { abort = n == 2; });
  EXPECT_THROW(c.EncryptFile(src, doc), EVRXEncryptCancel);
  const std::string written = ReadFile(doc);
  EXPECT_EQ(written, "begin \r\n" + ReferenceLines(RandomBytes(1000, 4)).substr(0, 10 * 63));
  c.SetOnProgress(nullptr);
  EXPECT_EQ(c.DecryptString(c.EncryptString("abc")), "abc");
}

// The bulk line routines of this path against the portable ones on the same seeded input.
TEST_P(UUPath, KernelsMatchPortable) {
  const auto& fast = *detail::EncodeKernels(GetParam());
  const auto& portable = *detail::EncodeKernels(TEncodePath::Portable);
  std::mt19937_64 rng(45);
  for (int round = 0; round < 300; ++round) {
    const size_t lines = rng() % 12;
    const std::string data = RandomBytes(45 * lines, rng());
    std::string a(63 * lines + 8, '#'), b = a;
    fast.UUEncodeLines(reinterpret_cast<const uint8_t*>(data.data()), lines,
                       reinterpret_cast<uint8_t*>(a.data()));
    portable.UUEncodeLines(reinterpret_cast<const uint8_t*>(data.data()), lines,
                           reinterpret_cast<uint8_t*>(b.data()));
    ASSERT_EQ(a, b);
    ASSERT_EQ(a.substr(0, 63 * lines), ReferenceLines(data));

    // Any bytes at all; some lines lose their "M" (CR also reads as 45).
    std::string text = RandomBytes(63 * lines, rng());
    for (size_t l = 0; l < lines; ++l) {
      const char heads[] = {'M', 'M', 'M', '\r', 'm', 'L'};
      text[63 * l] = heads[rng() % sizeof heads];
    }
    std::string outA(45 * lines + 8, '#'), outB = outA;
    const size_t doneA = fast.UUDecodeLines(reinterpret_cast<const uint8_t*>(text.data()), lines,
                                            reinterpret_cast<uint8_t*>(outA.data()));
    const size_t doneB = portable.UUDecodeLines(reinterpret_cast<const uint8_t*>(text.data()),
                                                lines, reinterpret_cast<uint8_t*>(outB.data()));
    ASSERT_EQ(doneA, doneB);
    ASSERT_EQ(outA.substr(0, 45 * doneA), outB.substr(0, 45 * doneB));
    ASSERT_EQ(outA.substr(45 * lines), std::string(8, '#')) << "wrote past its lines";
  }
}

// The whole decoder on this path against the portable path, on seeded documents whose lines
// are damaged now and then: the same bytes or the same error.
TEST_P(UUPath, ComponentMatchesPortable) {
  std::mt19937_64 rng(63);
  for (int round = 0; round < 120; ++round) {
    TVRXUUCode e;
    std::string doc = e.EncryptString(RandomBytes(rng() % 20000, rng()));
    const size_t damage = rng() % 3;
    for (size_t i = 0; i < damage && doc.size() > 20; ++i)
      doc[8 + rng() % (doc.size() - 13)] = static_cast<char>(rng());
    const auto seed = rng();
    auto run = [&](TEncodePath p) {
      detail::SelectEncodePath(p);
      std::mt19937_64 local(seed);
      TVRXUUCode c;
      c.SetBufferSize(static_cast<int32_t>(1 + local() % 700));
      std::string out;
      const std::string err = UUErrorOf([&] { out = c.DecryptString(doc); });
      return err + "|" + out;
    };
    const std::string fast = run(GetParam());
    ASSERT_EQ(fast, run(TEncodePath::Portable)) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, UUPath,
                         ::testing::Values(TEncodePath::Portable, TEncodePath::SSSE3,
                                           TEncodePath::AVX2),
                         PathName);

TEST(UUCode, ComponentIdentity) {
  TVRXUUCode c;
  EXPECT_EQ(c.ClassName(), "TVRXUUCode");
  EXPECT_EQ(c.GetFileName(), "");
  EXPECT_EQ(c.GetStatus(), "");
}
