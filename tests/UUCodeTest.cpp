// TVRXUUCode: the document vectors, chunk boundaries, the begin line, read-only files and
// damaged documents, once per encoder path; the vector paths against the portable one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "morvane/cipher/VRXIncremental.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "support/CipherRecords.h"
#include "support/EncodePaths.h"
#include "support/Vectors.h"

using namespace morvane;
using namespace morvane::test;
using morvane::detail::TEncodePath;

namespace {

// An independent encoder of the data lines: a bit accumulator per line.
std::string ReferenceLines(std::string_view data) {
  auto ch = [](uint32_t v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  std::string out;
  for (size_t at = 0; at < data.size(); at += 45) {
    std::string bytes(data.substr(at, 45));
    out += ch(static_cast<uint32_t>(bytes.size()));
    while (bytes.size() % 3 != 0) bytes += '\0';
    uint32_t acc = 0;
    int bits = 0;
    for (unsigned char c : bytes) {
      acc = acc << 8 | c;
      for (bits += 8; bits >= 6;) out += ch((acc >> (bits -= 6)) & 63);
    }
    out += "\r\n";
  }
  return out;
}

// The decoder's steps, byte for byte, for a data part that fits one chunk: a length
// character, four characters per three bytes, and two characters of line end (past the end of
// the data zero bytes). A line whose length character promises more characters than the data
// holds is "Malformed data line".
std::string LiteralDecode(std::string_view part) {
  size_t at = 0;
  auto next = [&]() -> uint32_t {
    const uint8_t c = at < part.size() ? static_cast<uint8_t>(part[at]) : 0;
    ++at;
    return static_cast<uint32_t>(c - 32) & 63;
  };
  std::string out;
  for (auto n = static_cast<int64_t>(part.size()); n > 0; n -= 2) {
    const auto length = static_cast<int32_t>(next());
    --n;
    if (4 * ((length + 2) / 3) > static_cast<int64_t>(part.size()) - static_cast<int64_t>(at)) {
      throw EVRXUUError("Malformed data line");
    }
    for (int32_t k = length; k > 0; k -= 3, n -= 4) {
      uint32_t v = 0;
      for (int i = 0; i < 4; ++i) v = v << 6 | next();
      out += static_cast<char>(v >> 16);
      if (k >= 2) out += static_cast<char>(v >> 8);
      if (k >= 3) out += static_cast<char>(v);
    }
    next();
    next();
  }
  return out;
}

// The message of the EVRXUUError F raised ("" when none); other exceptions pass through.
template <class F>
std::string UUErrorOf(F&& f) {
  try {
    f();
  } catch (const EVRXUUError& e) {
    return e.Message();
  }
  return "";
}

// A document fed to the piecewise reader in pieces of Piece bytes.
std::string ReadInPieces(TVRXUUCode& c, std::string_view doc, size_t piece) {
  TVRXUUDocumentReader reader(c);
  std::string out;
  for (size_t at = 0; at < doc.size(); at += piece) reader.Update(doc.substr(at, piece), out);
  reader.Finish(out);
  return out;
}

void Reset(const std::string& path) {
  ::chmod(path.c_str(), 0644);
  std::filesystem::remove(path);
}

using UUPath = EncodePathTest;

}  // namespace

// Every record through strings and files, with BufferSize 1 and the default.
TEST_P(UUPath, VectorFile) {
  const auto records = LoadVectors("uuencode.txt");
  ASSERT_GT(records.size(), 15u);
  const std::string docFile = TempPath("v-doc"), plainFile = TempPath("v-plain"),
                    outFile = TempPath("v-out");
  for (int32_t bufferSize : {1000, 1}) {
    for (const auto& r : records) {
      SCOPED_TRACE(r.Where() + " BufferSize " + std::to_string(bufferSize));
      TVRXUUCode c;
      c.SetBufferSize(bufferSize);
      const std::string doc = r.Bytes("Document");
      if (r.Has("Error")) {
        EXPECT_EQ(UUErrorOf([&] { c.DecryptString(doc); }), r.Get("Error"));
        WriteWholeFile(docFile, doc);
        Reset(outFile);
        if (doc.empty()) {  // an empty file fails with the framework's read error
          EXPECT_THROW(c.DecryptFile(docFile, outFile), EInOutError);
        } else {
          EXPECT_EQ(UUErrorOf([&] { c.DecryptFile(docFile, outFile); }), r.Get("Error"));
        }
        EXPECT_FALSE(FileExists(outFile));
        continue;
      }
      const std::string plain = r.Bytes("Plain");
      c.SetFileName(r.Bytes("FileName"));
      c.SetStatus(r.Bytes("Status"));
      EXPECT_EQ(c.EncryptString(plain), doc);
      WriteWholeFile(plainFile, plain);
      c.EncryptFile(plainFile, docFile);
      EXPECT_EQ(ReadWholeFile(docFile), doc);
      for (bool viaFile : {false, true}) {
        TVRXUUCode d;
        d.SetBufferSize(bufferSize);
        d.SetFileName(r.Bytes("PriorFileName"));
        d.SetStatus(r.Bytes("PriorStatus"));
        if (viaFile) {
          Reset(outFile);
          d.DecryptFile(docFile, outFile);
          EXPECT_EQ(ReadWholeFile(outFile), plain);
          EXPECT_EQ(FileGetAttr(outFile) == faReadOnly, r.Bytes("DecodedStatus") == "444  ");
        } else {
          EXPECT_EQ(d.DecryptString(doc), plain);
        }
        EXPECT_EQ(d.GetFileName(), r.Bytes("DecodedFileName")) << "file " << viaFile;
        EXPECT_EQ(d.GetStatus(), r.Bytes("DecodedStatus")) << "file " << viaFile;
      }
    }
  }
}

// 45 bytes a line and BufferSize lines a chunk: one byte under, at and over a chunk, two chunks
// plus one. A zero value is the backquote, and the blank reads as zero too.
TEST_P(UUPath, LinesAndChunkBoundaries) {
  for (int32_t bufferSize : {1000, 1, 2}) {
    TVRXUUCode c;
    c.SetBufferSize(bufferSize);
    const size_t chunk = 45 * static_cast<size_t>(bufferSize);
    for (size_t n : {size_t{44}, size_t{46}, chunk - 1, chunk, chunk + 1, 2 * chunk + 1}) {
      const std::string data = RandomBytes(n, n * 7 + bufferSize);
      const std::string doc = c.EncryptString(data);
      ASSERT_EQ(doc, "begin \r\n" + ReferenceLines(data) + "end\r\n") << n;
      EXPECT_EQ(c.DecryptString(doc), data) << n << " BufferSize " << bufferSize;
    }
  }
  TVRXUUCode c;
  EXPECT_EQ(c.ClassName(), "TVRXUUCode");
  const std::string data = std::string(90, '\0') + "\x01\x02" + std::string(50, '\0');
  std::string doc = c.EncryptString(data);
  EXPECT_EQ(doc.find(' '), 5u);  // only the blank of "begin "
  for (size_t i = 8; i < doc.size(); ++i)
    if (doc[i] == '`') doc[i] = ' ';
  EXPECT_EQ(c.DecryptString(doc), data);
}

// SetFileName reads the attributes; a read-only source gives "444  " and, through a document,
// a read-only decoded file; a writable one, or read-only plus another attribute, "644  ".
TEST_P(UUPath, StatusAndReadOnlyFiles) {
  const std::string hidden = TempPath(".u-hidden");
  WriteWholeFile(hidden, "h");
  ASSERT_EQ(::chmod(hidden.c_str(), 0444), 0);
  TVRXUUCode c;
  c.SetFileName(hidden);
  EXPECT_EQ(c.GetStatus(), "644  ");
  c.SetFileName(TempPath("u-missing"));
  EXPECT_EQ(c.GetStatus(), "644  ");
  for (bool readOnly : {true, false}) {
    const std::string src = TempPath("ro-src"), doc = TempPath("ro-doc"), out = TempPath("ro-out");
    const std::string data = RandomBytes(50000, readOnly);
    Reset(src);
    Reset(out);
    WriteWholeFile(src, data);
    if (readOnly) ::chmod(src.c_str(), 0444);
    c.SetFileName(src);
    EXPECT_EQ(c.GetStatus(), readOnly ? "444  " : "644  ");
    c.EncryptFile(src, doc);
    TVRXUUCode d;
    d.DecryptFile(doc, out);
    EXPECT_EQ(ReadWholeFile(out), data);
    EXPECT_EQ(FileGetAttr(out), readOnly ? faReadOnly : 0);
    TVRXUUCode e;
    EXPECT_EQ(e.DecryptString(c.EncryptString("abc")), "abc");
    EXPECT_EQ(e.GetFileName(), src);
    EXPECT_EQ(e.GetStatus(), c.GetStatus());
  }
}

// Documents without their begin or end line, or with no room for data between them, create
// nothing and leave an existing destination alone.
TEST_P(UUPath, DamagedDocumentsLeaveNoDestination) {
  const std::string src = TempPath("d-src"), dst = TempPath("d-dst");
  const std::pair<std::string, std::string> cases[] = {
      {"#86)C\r\nbegin 644  a\r\nend\r\n", "No begin line"},  // text before the own form
      {"hello\nworld\n begin 644 a\n`\nend\n", "No begin line"},
      {"begin 644  a\r\n#86)C\r\n", "No end line"},
      {"begin 644  end\r\n", "No end line"},    // "end" only inside the begin line
      {"begin 644  a.txt end", "No end line"},  // no line feed: all of it is the begin line
      // Documents in the form of other tools are checked line by line before anything is made.
      {"begin 644 a\n#86)C\n", "No end line"},
      {"begin 644 a\n#86)C\n`\nmore text\nend\n",
       "No end line: line 4 follows the zero-length line"},
      {"begin 644 a\n#86)C`\nend\n",
       "Malformed data line: line 2 holds 5 characters where its length (3 bytes) needs 4"},
      {"begin 644 a\r\n#86)\r\nend\r\n",
       "Malformed data line: line 2 holds 3 characters where its length (3 bytes) needs 4"},
      {"From: x\n\nbegin 644 a\n#86)C\n#86)C\n`\nend\n",
       "Malformed data line: line 5 follows a short line: only the last data line may be short"},
      {"begin 644 a\n#86)c\nend\n",
       "Malformed data line: line 2 holds a byte outside the encoding"},
      {"begin 644 a\nx86)C\nend\n",
       "Malformed data line: line 2 does not start with a length character"},
      {"begin 644 a\n" + std::string(5000, 'M') + "\nend\n",
       "Malformed data line: line 2 is longer than 4096 bytes"},
  };
  TVRXUUCode c;
  for (const auto& [doc, error] : cases) {
    SCOPED_TRACE(doc);
    WriteWholeFile(src, doc);
    Reset(dst);
    EXPECT_EQ(UUErrorOf([&] { c.DecryptFile(src, dst); }), error);
    EXPECT_FALSE(FileExists(dst));
    WriteWholeFile(dst, "keep me");
    EXPECT_EQ(UUErrorOf([&] { c.DecryptFile(src, dst); }), error);
    EXPECT_EQ(ReadWholeFile(dst), "keep me");
    EXPECT_EQ(UUErrorOf([&] { c.DecryptString(doc); }), error);
  }
  WriteWholeFile(src, "begin 644  a\r\n#86)C\r\nend\r\n");
  EXPECT_THROW(c.DecryptFile(src, TempPath("./d-src")), EFCreateError);
  EXPECT_THROW(c.EncryptFile(src, src), EFCreateError);
  EXPECT_EQ(ReadWholeFile(src), "begin 644  a\r\n#86)C\r\nend\r\n");
}

// The begin line is read by position from its start, wherever "begin " stands in it.
TEST_P(UUPath, BeginLinePositions) {
  TVRXUUCode c;
  c.SetFileName("old");
  EXPECT_EQ(c.DecryptString("begin 6\r\n!80``\r\nend\r\n"), "a");  // 8 bytes: fields kept
  EXPECT_EQ(c.GetFileName(), "old");
  c.DecryptString("xbegin 644 name\rjunk\r\nend\r\n");
  EXPECT_EQ(c.GetStatus(), " 644 ");
  EXPECT_EQ(c.GetFileName(), "name");  // up to the first carriage return
  c.DecryptString("begin 644  no-cr\nend\r\n");
  EXPECT_EQ(c.GetFileName(), "no-cr");
}

// Malformed data lines give wrong bytes or EVRXUUError, never a crash or an access out of
// bounds (the sanitizer build runs this too), and strings and files agree.
TEST_P(UUPath, MalformedDataLinesNeverCrash) {
  std::mt19937_64 rng(1995);
  const std::string chars =
      "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_ \r\n";
  const std::string file = TempPath("m-doc"), out = TempPath("m-out");
  int decoded = 0, refused = 0;
  for (int round = 0; round < 300; ++round) {
    std::string body;
    const size_t n = rng() % (round % 10 == 0 ? 200000 : 400);
    if (round % 3 == 0) {  // line feeds only: the lines slide across the chunks
      body = TVRXUUCode().EncryptString(RandomBytes(n, rng()));
      std::erase(body, '\r');
      body = body.substr(body.find('\n') + 1, body.size() - body.find('\n') - 5);
    } else {
      for (size_t i = 0; i < n; ++i) body += chars[rng() % chars.size()];
    }
    const std::string doc = "begin 644  m\r\n" + body + "end\r\n";
    TVRXUUCode c;
    c.SetBufferSize(static_cast<int32_t>(1 + rng() % 1500));
    std::string viaString;
    const std::string err = UUErrorOf([&] { viaString = c.DecryptString(doc); });
    (err.empty() ? decoded : refused)++;
    WriteWholeFile(file, doc);
    EXPECT_EQ(UUErrorOf([&] { c.DecryptFile(file, out); }), err);
    if (err.empty()) {
      EXPECT_EQ(ReadWholeFile(out), viaString);
    }
    EXPECT_TRUE(err.empty() || err.starts_with("Malformed data line") ||
                err.starts_with("No end line"))
        << err;
  }
  EXPECT_GT(decoded, 20);
  EXPECT_GT(refused, 20);
  // The largest length character asks one line for 63 bytes, whatever BufferSize.
  for (int32_t bufferSize : {1, 1000}) {
    TVRXUUCode c;
    c.SetBufferSize(bufferSize);
    EXPECT_EQ(UUErrorOf([&] { c.DecryptString("begin \r\n_\r\nend\r\n"); }),
              "Malformed data line: line 2 holds more than 45 bytes");
  }
  // A line that promises 45 bytes and holds 3, through both drivers and both chunk sizes; the
  // same line with its true count decodes.
  const std::string promised = TempPath("promise"), promisedOut = TempPath("promise-out");
  for (int32_t bufferSize : {1, 1000}) {
    TVRXUUCode c;
    c.SetBufferSize(bufferSize);
    EXPECT_TRUE(UUErrorOf([&] {
                  c.DecryptString("begin \r\nM86)C\r\nend\r\n");
                }).starts_with("Malformed data line"));
    WriteWholeFile(promised, "begin \r\nM86)C\r\nend\r\n");
    EXPECT_TRUE(UUErrorOf([&] {
                  c.DecryptFile(promised, promisedOut);
                }).starts_with("Malformed data line"));
    EXPECT_EQ(c.DecryptString("begin \r\n#86)C\r\nend\r\n"), "abc");
  }
}

// A document with the package's begin line but not laid out as the encoder writes it decodes
// to its bytes (line feeds alone) or is refused; any bytes at all decode as the decoder's steps
// say only where they happen to keep that layout.
TEST(UUCode, ShortDamagedDocumentsDecodeLineByLine) {
  std::mt19937_64 rng(2045);
  for (int round = 0; round < 400; ++round) {
    const std::string data = RandomBytes(rng() % 300, rng());
    std::string body;
    if (round % 2 == 0) {  // a document whose lines end in line feeds only
      body = TVRXUUCode().EncryptString(data);
      std::erase(body, '\r');
      body = body.substr(body.find('\n') + 1, body.size() - body.find('\n') - 5) + "`\n";
    } else {
      for (size_t i = rng() % 300; i > 0; --i) body += static_cast<char>(rng());
    }
    const std::string doc = "begin 644  s\r\n" + body + "end\r\n";
    std::string out;
    const std::string err = UUErrorOf([&] { out = TVRXUUCode().DecryptString(doc); });
    if (round % 2 == 0) {
      EXPECT_EQ(err, "") << round;
      EXPECT_EQ(out, data) << round;
    } else if (err.empty()) {
      EXPECT_EQ(out, LiteralDecode(doc.substr(14, doc.size() - 19))) << round;
    }
  }
}

// Documents with the package's begin line: those the encoder writes decode as ever; any other
// layout is read line by line, to its bytes or to an error, by the string and file drivers
// alike, and by the document reader fed a byte at a time (which ignores what follows the end
// line); TVRXDecryptor refuses it.
TEST(UUCode, PackageBeginLineOffItsLayout) {
  const std::string own = TVRXUUCode().EncryptString(RandomBytes(100, 7));
  std::string ownLF = own;
  std::erase(ownLF, '\r');
  const std::string refused = "Not in this package's layout";
  struct TCase {
    std::string doc, bytes, error, piecesError;
  };
  const TCase cases[] = {
      {"begin 644  a\r\n#86)C\r\nend\r\n", "abc", "", ""},
      {"begin 644  a\r\n#86)C\r\nend\r\n\n", "abc", "", "No end line"},
      {std::string("begin 644  a\r\n#86)C\r\nend\r\n\0", 27), "abc", "", "No end line"},
      {"begin 644  a\r\n#86)C\r\nend\r\nx", "abc", "", "No end line"},
      {"begin 750  \r\n\r\nend\r\n", "", "", refused},
      {"begin 644  a\n#86)C\nend\n", "abc", "", refused},
      {"begin 644  a\r\n#86)C\n`\nend\r\n", "abc", "", refused},
      {ownLF, RandomBytes(100, 7), "", refused},
      {own, RandomBytes(100, 7), "", ""},
      {"begin 644  a\r\n$86)C\r\nend\r\n", "", "Malformed data line: line 2 holds 4", refused},
      {"begin 644  a\r\n#86)C\r\n#86)C\r\nend\r\n", "",
       "Malformed data line: line 3 follows a short line", refused},
  };
  const std::string file = TempPath("l-doc"), out = TempPath("l-out");
  for (const TCase& t : cases) {
    for (int32_t bufferSize : {1, 1000}) {
      SCOPED_TRACE(::testing::PrintToString(t.doc) + " BufferSize " + std::to_string(bufferSize));
      TVRXUUCode c;
      c.SetBufferSize(bufferSize);
      std::string got;
      std::string err = UUErrorOf([&] { got = c.DecryptString(t.doc); });
      EXPECT_TRUE(err.starts_with(t.error) && err.empty() == t.error.empty()) << err;
      EXPECT_EQ(got, t.bytes);
      // The file driver looks at the last five bytes for "end", the string driver at six.
      WriteWholeFile(file, t.doc);
      Reset(out);
      err = UUErrorOf([&] { c.DecryptFile(file, out); });
      if (t.doc.ends_with("\n\n") || !t.doc.ends_with('\n')) {
        EXPECT_EQ(err, t.bytes == "abc" ? "No end line" : err);
      } else {
        EXPECT_TRUE(err.starts_with(t.error) && err.empty() == t.error.empty()) << err;
        if (err.empty()) {
          EXPECT_EQ(ReadWholeFile(out), t.bytes);
        }
      }
      err = UUErrorOf([&] { got = ReadInPieces(c, t.doc, 1); });
      EXPECT_TRUE(err.starts_with(t.error) && err.empty() == t.error.empty()) << err;
      if (err.empty()) {
        EXPECT_EQ(got, t.bytes);
      }
      err = UUErrorOf([&] {
        TVRXDecryptor d(c, layoutFile);
        got.clear();
        for (char b : t.doc) d.Update(std::string_view(&b, 1), got);
        d.Finish(got);
      });
      EXPECT_TRUE(err.starts_with(t.piecesError)) << err;
      if (t.piecesError.empty()) {
        EXPECT_TRUE(err.starts_with(t.error) && err.empty() == t.error.empty()) << err;
        if (err.empty()) {
          EXPECT_EQ(got, t.bytes);
        }
      } else {
        EXPECT_FALSE(err.empty());
      }
    }
  }
}

TEST_P(UUPath, CancelledEncryptFileHasNoEndLine) {
  const std::string src = TempPath("c-src"), doc = TempPath("c-doc");
  WriteWholeFile(src, RandomBytes(1000, 4));
  TVRXUUCode c;
  c.SetBufferSize(10);
  c.SetOnProgress([](uint8_t n, bool& abort) { abort = n == 2; });
  EXPECT_THROW(c.EncryptFile(src, doc), EVRXEncryptCancel);
  EXPECT_EQ(ReadWholeFile(doc), "begin \r\n" + ReferenceLines(RandomBytes(1000, 4).substr(0, 450)));
}

// The bulk line routines of this path against the portable ones on the same seeded input.
TEST_P(UUPath, KernelsMatchPortable) {
  const auto& fast = *detail::EncodeKernels(GetParam());
  const auto& portable = *detail::EncodeKernels(TEncodePath::Portable);
  auto u = [](std::string& s) { return reinterpret_cast<uint8_t*>(s.data()); };
  std::mt19937_64 rng(45);
  for (int round = 0; round < 300; ++round) {
    const size_t lines = rng() % 12;
    std::string data = RandomBytes(45 * lines, rng());
    std::string a(63 * lines + 8, '#'), b = a;
    fast.UUEncodeLines(u(data), lines, u(a));
    portable.UUEncodeLines(u(data), lines, u(b));
    ASSERT_EQ(a, b);
    ASSERT_EQ(a.substr(0, 63 * lines), ReferenceLines(data));
    // Any bytes at all; some lines lose their "M" (a carriage return also reads as 45).
    std::string text = RandomBytes(63 * lines, rng());
    for (size_t l = 0; l < lines; ++l) text[63 * l] = "MMM\rmL"[rng() % 6];
    std::string outA(45 * lines + 8, '#'), outB = outA;
    const size_t doneA = fast.UUDecodeLines(u(text), lines, u(outA));
    ASSERT_EQ(doneA, portable.UUDecodeLines(u(text), lines, u(outB)));
    ASSERT_EQ(outA.substr(0, 45 * doneA), outB.substr(0, 45 * doneA));
    ASSERT_EQ(outA.substr(45 * lines), std::string(8, '#'));
  }
}

// The whole decoder on this path against the portable path, on documents damaged now and then.
TEST_P(UUPath, ComponentMatchesPortable) {
  std::mt19937_64 rng(63);
  for (int round = 0; round < 120; ++round) {
    std::string doc = TVRXUUCode().EncryptString(RandomBytes(rng() % 20000, rng()));
    for (auto damage = rng() % 3; damage > 0 && doc.size() > 20; --damage)
      doc[8 + rng() % (doc.size() - 13)] = static_cast<char>(rng());
    const auto bufferSize = static_cast<int32_t>(1 + rng() % 700);
    auto run = [&](TEncodePath p) {
      detail::SelectEncodePath(p);
      TVRXUUCode c;
      c.SetBufferSize(bufferSize);
      std::string out;
      return UUErrorOf([&] { out = c.DecryptString(doc); }) + "|" + out;
    };
    const std::string fast = run(GetParam());
    ASSERT_EQ(fast, run(TEncodePath::Portable)) << "round " << round;
  }
}

MORVANE_INSTANTIATE_ENCODE_PATHS(UUPath);

// One progress call per chunk of 45 × BufferSize bytes (63 × BufferSize characters when
// decoding). A cancelled DecryptFile keeps the bytes decoded so far and does not make the
// destination read-only, though the begin line asked for it and set FileName and Status.
TEST(UUCode, ProgressAndCancelledDecryptFile) {
  TVRXUUCode c;
  std::vector<int> seen;
  c.SetOnProgress([&](uint8_t n, bool&) { seen.push_back(n); });
  for (size_t n : {size_t{0}, size_t{45000}, size_t{45001}}) {
    const std::string data = RandomBytes(n, n + 1);
    seen.clear();
    const std::string doc = c.EncryptString(data);
    const std::vector<int> calls = n > 45000 ? std::vector<int>{1, 2} : std::vector<int>{1};
    EXPECT_EQ(seen, calls) << n;
    seen.clear();
    EXPECT_EQ(c.DecryptString(doc), data);
    EXPECT_EQ(seen, calls) << n;
  }

  const std::string src = TempPath("u-cancel"), dst = TempPath("u-cancel-out");
  const std::string data = RandomBytes(100, 5);
  TVRXUUCode e;
  e.SetFileName("ro.bin");
  e.SetStatus("444  ");
  WriteWholeFile(src, e.EncryptString(data));
  Reset(dst);
  TVRXUUCode d;
  d.SetBufferSize(1);
  d.SetOnProgress([](uint8_t n, bool& abort) { abort = n == 2; });
  EXPECT_THROW(d.DecryptFile(src, dst), EVRXDecryptCancel);
  EXPECT_EQ(ReadWholeFile(dst), data.substr(0, 45));
  EXPECT_NE(FileGetAttr(dst), faReadOnly);
  EXPECT_EQ(d.GetFileName(), "ro.bin");
  EXPECT_EQ(d.GetStatus(), "444  ");
  d.SetOnProgress(nullptr);
  Reset(dst);
  d.DecryptFile(src, dst);
  EXPECT_EQ(ReadWholeFile(dst), data);
  EXPECT_EQ(FileGetAttr(dst), faReadOnly);
  Reset(dst);
}

// DecryptFile reads the begin line with its line feed, DecryptString without it: the same
// 9-byte line is long enough to set the fields from a file and too short in a string.
TEST(UUCode, BeginLineOfAFileCountsItsLineFeed) {
  const std::string src = TempPath("u-line"), dst = TempPath("u-line-out");
  for (const std::string line : {"begin 6\r\n", "begin 64\n"}) {
    const std::string doc = line + "!80``\r\nend\r\n";
    TVRXUUCode c;
    c.SetFileName("old");
    c.SetStatus("600  ");
    EXPECT_EQ(c.DecryptString(doc), "a");
    EXPECT_EQ(c.GetFileName(), "old");
    EXPECT_EQ(c.GetStatus(), "600  ");
    WriteWholeFile(src, doc);
    Reset(dst);
    c.DecryptFile(src, dst);
    EXPECT_EQ(ReadWholeFile(dst), "a");
    EXPECT_EQ(c.GetFileName(), "");
    EXPECT_EQ(c.GetStatus(), line.substr(6));
  }
  // Without a carriage return the name runs to the end of the line as read.
  WriteWholeFile(src, "begin 644  a b\n!80``\r\nend\r\n");
  TVRXUUCode c;
  Reset(dst);
  c.DecryptFile(src, dst);
  EXPECT_EQ(c.GetFileName(), "a b\n");
  c.DecryptString("begin 644  a b\n!80``\r\nend\r\n");
  EXPECT_EQ(c.GetFileName(), "a b");
  Reset(dst);
}

// Documents as other tools write them: the begin line "begin 644 name" with one blank, line
// feeds alone or CR LF, text (mail headers) before the begin line and after the end line, a
// zero-length line before "end". They decode to the data, through strings and files, for any
// BufferSize; the data lines are the independent encoder's.
TEST(UUCode, DocumentsOfOtherToolsDecodeRight) {
  const std::string file = TempPath("o-doc"), out = TempPath("o-out");
  for (size_t n : {size_t{0}, size_t{1}, size_t{44}, size_t{45}, size_t{46}, size_t{3000}}) {
    const std::string data = RandomBytes(n, 300 + n);
    std::string lf = ReferenceLines(data);
    std::erase(lf, '\r');
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::pair<std::string, std::string> docs[] = {
        {"plain", "begin 644 report.bin\n" + lf + "`\nend\n"},
        {"crlf", "begin 644 report.bin\r\n" + crlf + "`\r\nend\r\n"},
        {"mail", "From: a@example.org\nSubject: the report\n\nbegin 644 report.bin\n" + lf +
                     "`\nend\n\n-- \nsignature\n"},
        {"no zero line", "begin 0644 report.bin\n" + lf + "end"},
    };
    for (const auto& [what, doc] : docs) {
      SCOPED_TRACE(std::string(what) + " " + std::to_string(n));
      for (int32_t bufferSize : {1, 2, 1000}) {
        TVRXUUCode c;
        c.SetBufferSize(bufferSize);
        EXPECT_EQ(c.DecryptString(doc), data);
        EXPECT_EQ(c.GetFileName(), "report.bin");
        EXPECT_EQ(c.GetStatus(), "644  ");
        Reset(out);
        WriteWholeFile(file, doc);
        TVRXUUCode f;
        f.SetBufferSize(bufferSize);
        f.DecryptFile(file, out);
        EXPECT_EQ(ReadWholeFile(out), data);
        EXPECT_EQ(f.GetFileName(), "report.bin");
        for (size_t piece : {size_t{1}, size_t{7}, doc.size()}) {
          TVRXUUCode r;
          r.SetBufferSize(bufferSize);
          EXPECT_EQ(ReadInPieces(r, doc, piece), data);
          EXPECT_EQ(r.GetFileName(), "report.bin");
          EXPECT_EQ(r.GetStatus(), "644  ");
        }
      }
    }
  }
  // Mode 444 in the common form makes the decoded file read-only, as the package's own does.
  Reset(out);
  WriteWholeFile(file, "begin 444 ro.txt\n#86)C\n`\nend\n");
  TVRXUUCode c;
  c.DecryptFile(file, out);
  EXPECT_EQ(ReadWholeFile(out), "abc");
  EXPECT_EQ(FileGetAttr(out), faReadOnly);
  Reset(out);
}

// The carried name reduced to a safe base name, from hostile begin lines and directly.
TEST(UUCode, SafeFileNames) {
  const std::pair<std::string, std::string> names[] = {
      {"report.bin", "report.bin"},
      {"../../etc/passwd", "passwd"},
      {"/etc/cron.d/job", "job"},
      {"C:\\Windows\\evil.exe", "evil.exe"},
      {"C:x.txt", "x.txt"},
      {"..", ""},
      {".", ""},
      {"dir/..", ""},
      {"...", ""},
      {". .", ""},
      {".bashrc", "bashrc"},
      {"a\x01"
       "b\nc\x7F"
       "d\t",
       "abcd"},
      {std::string(".\0.", 3), ""},
      {std::string("x\0/y", 4), "y"},
      {" name . ", "name"},
      {"caf\xE9.txt", "caf\xE9.txt"},
      {std::string(300, 'a'), std::string(255, 'a')},
      {"", ""},
  };
  for (const auto& [name, safe] : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(UUSafeFileName(name), safe);
    // The same name carried by a document of either form.
    for (const std::string& begin : {"begin 644 " + name + "\n", "begin 644  " + name + "\r\n"}) {
      if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos || name.empty() ||
          name[0] == ' ')
        continue;
      TVRXUUCode c;
      c.DecryptString(begin + "end\r\n");
      EXPECT_EQ(c.GetFileName(), name);
      EXPECT_EQ(c.GetSafeFileName(), safe);
    }
  }
}
