// The framework stand-in: case tables, streams, files, text services, components.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cstring>
#include <fstream>

#include "morvane/framework/CaseMap.h"
#include "morvane/framework/Component.h"
#include "morvane/framework/Endian.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "morvane/framework/Guid.h"
#include "morvane/framework/Streams.h"
#include "morvane/framework/StringList.h"
#include "morvane/framework/TextServices.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::TempPath;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

TEST(CaseMap, Windows1252Pairs) {
  for (int c = 0; c < 128; ++c) {
    const int up = (c >= 'a' && c <= 'z') ? c - 32 : c;
    const int low = (c >= 'A' && c <= 'Z') ? c + 32 : c;
    EXPECT_EQ(UpperByte(static_cast<uint8_t>(c)), up) << c;
    EXPECT_EQ(LowerByte(static_cast<uint8_t>(c)), low) << c;
  }
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c == 0xF7) continue;
    EXPECT_EQ(UpperByte(static_cast<uint8_t>(c)), c - 32) << c;
    EXPECT_EQ(LowerByte(static_cast<uint8_t>(c - 32)), c) << c;
  }
  EXPECT_EQ(UpperByte(0xF7), 0xF7);
  EXPECT_EQ(LowerByte(0xD7), 0xD7);
  EXPECT_EQ(UpperByte(0x9A), 0x8A);
  EXPECT_EQ(UpperByte(0x9C), 0x8C);
  EXPECT_EQ(UpperByte(0x9E), 0x8E);
  EXPECT_EQ(LowerByte(0x8A), 0x9A);
  EXPECT_EQ(LowerByte(0x8E), 0x9E);
  EXPECT_EQ(UpperByte(0xFF), 0x9F);
  EXPECT_EQ(LowerByte(0x9F), 0xFF);
  EXPECT_EQ(UpperByte(0xDF), 0xDF);
  EXPECT_EQ(UpperByte(0xB5), 0xB5);
  EXPECT_EQ(UpperByte(0x80), 0x80);
}

TEST(CaseMap, StopsAtFirstZeroByte) {
  std::string s("ab\xe9", 3);
  s += '\0';
  s += "cd";
  CharUpperA(s);
  EXPECT_EQ(s, std::string("AB\xc9\0cd", 6));
  CharLowerA(s);
  EXPECT_EQ(s, std::string("ab\xe9\0cd", 6));
}

TEST(Endian, ByteOrderOfLoadsAndStores) {
  const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(LoadBE32(bytes), 0x01020304u);
  EXPECT_EQ(LoadLE32(bytes), 0x04030201u);
  EXPECT_EQ(LoadBE64(bytes), 0x0102030405060708ull);
  EXPECT_EQ(LoadLE64(bytes), 0x0807060504030201ull);
  uint8_t out[8] = {};
  StoreLE32(out, 0x11223344u);
  EXPECT_EQ(out[0], 0x44);
  EXPECT_EQ(out[3], 0x11);
  StoreBE64(out, 0x0102030405060708ull);
  EXPECT_EQ(0, std::memcmp(out, bytes, 8));
}

TEST(MemoryStream, WriteSeekReadAndGrow) {
  TMemoryStream s;
  s.WriteBuffer("hello", 5);
  EXPECT_EQ(s.GetSize(), 5);
  EXPECT_EQ(s.GetPosition(), 5);
  s.Seek(1);
  s.WriteBuffer("EL", 2);
  EXPECT_EQ(s.Data(), "hELlo");
  s.Seek(7);  // seeking past the end grows with zero bytes
  s.WriteBuffer("!", 1);
  EXPECT_EQ(s.Data(), std::string("hELlo\0\0!", 8));
  s.Seek(0);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, 16), 8);
  EXPECT_EQ(s.Read(buf, 16), 0);
  s.Seek(6);
  EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
  EXPECT_EQ(s.TakeData().size(), 8u);
  EXPECT_EQ(s.GetSize(), 0);
}

// Both memory streams read alike, by copy and in place, and stop at their end.
TEST(MemoryStreams, ReadByCopyAndInPlace) {
  const std::string bytes("abc\0def", 7);
  TMemoryStream owning(bytes);
  TReadOnlyMemoryStream viewing(bytes);
  for (TStream* s : {static_cast<TStream*>(&owning), static_cast<TStream*>(&viewing)}) {
    SCOPED_TRACE(s == &owning ? "TMemoryStream" : "TReadOnlyMemoryStream");
    EXPECT_EQ(s->GetSize(), 7);
    char buf[4];
    s->ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), std::string("abc\0", 4));
    EXPECT_EQ(s->Read(buf, 0), 0);
    EXPECT_EQ(s->Read(buf, -1), 0);
    EXPECT_EQ(s->Read(buf, 4), 3);
    EXPECT_EQ(std::string(buf, 3), "def");
    EXPECT_EQ(s->Read(buf, 4), 0);
    EXPECT_THROW(s->ReadBuffer(buf, 1), EReadError);
    s->Seek(2);
    int32_t got = -1;
    const uint8_t* p = s->ReadInPlace(10, got);
    ASSERT_EQ(got, 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 5), std::string("c\0def", 5));
    EXPECT_EQ(s->GetPosition(), 7);
    EXPECT_EQ(s->ReadInPlace(10, got), nullptr);
    EXPECT_EQ(got, 0);
  }
  // The view reads the caller's bytes where they lie, the owning stream its own copy.
  viewing.Seek(0);
  int32_t got = 0;
  EXPECT_EQ(viewing.ReadInPlace(1, got), reinterpret_cast<const uint8_t*>(bytes.data()));
  EXPECT_THROW(viewing.WriteBuffer("x", 1), EWriteError);
}

TEST(FileStream, OpenCreateAndErrors) {
  const std::string path = TempPath("stream.bin");
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.GetSize(), 10);
  }
  {
    TFileStream f(path, fmOpenReadShared);
    f.Seek(4);
    char buf[3];
    f.ReadBuffer(buf, 3);
    EXPECT_EQ(std::string(buf, 3), "456");
    EXPECT_EQ(f.GetPosition(), 7);
  }
  { TFileStream f(path, fmCreate); }  // create truncates
  EXPECT_EQ(FileSizeOf(path), 0);
  EXPECT_THROW(TFileStream(TempPath("missing.bin"), fmOpenReadShared), EFOpenError);
  EXPECT_THROW(TFileStream(TempPath("no/such/dir.bin"), fmCreate), EFCreateError);
}

TEST(UntypedFile, SeekReadWriteTruncate) {
  const std::string path = TempPath("untyped.bin");
  WriteFile(path, "abcdefgh");
  TUntypedFile f;
  f.Reset(path, true);
  EXPECT_EQ(f.FileSize(), 8);
  f.Seek(6);
  char buf[2];
  f.BlockRead(buf, 2);
  EXPECT_EQ(std::string(buf, 2), "gh");
  EXPECT_THROW(f.BlockRead(buf, 1), EInOutError);
  f.Seek(3);
  f.BlockWrite("XY", 2);
  f.Seek(4);
  f.Truncate();
  f.Seek(0);
  EXPECT_EQ(f.ReadToEnd(), "abcX");
  f.Close();
  EXPECT_THROW(f.Seek(0), EInOutError);
  TUntypedFile g;
  EXPECT_THROW(g.Reset(TempPath("absent.bin")), EInOutError);
}

TEST(Files, IdentityAndAttributes) {
  const std::string a = TempPath("attr-a.txt");
  const std::string link = TempPath("attr-link.txt");
  WriteFile(a, "x");
  ASSERT_EQ(::symlink(a.c_str(), link.c_str()), 0);
  EXPECT_TRUE(SameFile(a, link));
  EXPECT_TRUE(SameFile(a, a));
  EXPECT_FALSE(SameFile(a, TempPath("attr-none.txt")));

  EXPECT_EQ(FileGetAttr(TempPath("attr-none.txt")), -1);
  EXPECT_EQ(FileGetAttr(a) & faReadOnly, 0);
  FileSetReadOnly(a);
  EXPECT_EQ(FileGetAttr(a), faReadOnly);
  ::chmod(a.c_str(), 0644);
  EXPECT_EQ(FileGetAttr(a), 0);
  EXPECT_THROW(FileSetReadOnly(TempPath("attr-none.txt")), EInOutError);
}

TEST(TextServices, ResourceStringsAndFormat) {
  EXPECT_EQ(LoadStr(987654), "");
  RegisterResourceString(987654, "valor %s en %s");
  EXPECT_EQ(LoadStr(987654), "valor %s en %s");
  EXPECT_EQ(Format(LoadStr(987654), {"x", "y"}), "valor x en y");
  EXPECT_EQ(Format("100%% %s", {}), "100% %s");
}

TEST(TextServices, StrictIntegerConversion) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("+2147483647"), INT32_MAX);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  for (const char* bad : {"", "-", "2147483648", " 1", "1 ", "1a", "$", "0x10", "1.0"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
}

TEST(TextServices, StrictFloatConversionIgnoresLocale) {
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // may be absent; the dot must work either way
  EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(StrToFloat("-2.5e3"), -2500.0);
  EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("7."), 7.0);
  for (const char* bad : {"", ".", "1,5", "1e", "e5", "1.2.3", " 1", "inf", "nan", "1e999"})
    EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
  // Below the smallest magnitude a value reads as zero; above the largest it is refused.
  EXPECT_EQ(StrToFloat("1e-400"), 0.0);
  EXPECT_EQ(StrToFloat("-0.0001e-399"), 0.0);
  EXPECT_THROW(StrToFloat("100000e304"), EConvertError);
  EXPECT_GT(StrToFloat("+1e-310"), 0.0);  // a subnormal value is kept
  std::setlocale(LC_NUMERIC, "C");
}

TEST(TextServices, StrictExtendedConversion) {
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(StrToExtended("0.1"), 0.1L);  // the extended value, not the double one
  EXPECT_NE(StrToExtended("0.1"), static_cast<long double>(0.1));
  EXPECT_EQ(StrToExtended("-2.5e3"), -2500.0L);
  EXPECT_EQ(StrToExtended("+.5"), 0.5L);
  EXPECT_EQ(StrToExtended("1e400"), 1e400L);  // beyond double, inside extended
  EXPECT_EQ(StrToExtended("1e-6000"), 0.0L);
  long double v = 7;
  for (const char* bad : {"", "+", "1,5", "1e+", "1.2.3", "1 ", "inf", "1e6000", "0x1p3"}) {
    EXPECT_FALSE(TryStrToExtended(bad, v)) << bad;
    EXPECT_THROW(StrToExtended(bad), EConvertError) << bad;
  }
  EXPECT_EQ(v, 7);
  std::setlocale(LC_NUMERIC, "C");
}

TEST(TextServices, DatesAndFormatting) {
  EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
  const TDateTime t = EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 7);
  EXPECT_EQ(FormatDateTime("yyyymmddhhnnss", t), "20240229130509");
  EXPECT_EQ(FormatDateTime("dd/mm/yy hh:mm:ss.zzz", t), "29/02/24 13:05:09.007");
  const TDateTime now = Now();
  EXPECT_GT(now, EncodeDate(2020, 1, 1));
}

TEST(TextServices, FileExtension) {
  EXPECT_EQ(ExtractFileExt("dir/file.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("dir.d/file"), "");
  EXPECT_EQ(ExtractFileExt("file."), ".");
  EXPECT_EQ(ExtractFileExt(""), "");
}

TEST(Guid, VersionFourLayoutAndRandomness) {
  const TGUID a = CreateGuid();
  const TGUID b = CreateGuid();
  EXPECT_EQ(a.D3 >> 12, 4);
  EXPECT_EQ(a.D4[0] & 0xC0, 0x80);
  EXPECT_FALSE(a.D1 == b.D1 && a.D2 == b.D2 && a.D4 == b.D4);
}

TEST(Component, OwnerDestroysOwnedComponents) {
  static int alive = 0;
  struct Probe : TComponent {
    explicit Probe(TComponent* o) : TComponent(o) { ++alive; }
    ~Probe() override { --alive; }
  };
  {
    TComponent owner;
    auto* a = new Probe(&owner);
    a->SetName("A");
    new Probe(&owner);
    EXPECT_EQ(owner.GetComponentCount(), 2);
    EXPECT_EQ(owner.FindComponent("A"), a);
    EXPECT_EQ(a->GetOwner(), &owner);
    delete a;  // an early death detaches it
    EXPECT_EQ(owner.GetComponentCount(), 1);
    EXPECT_EQ(alive, 1);
    EXPECT_THROW(owner.GetComponent(5), ERangeError);
  }
  EXPECT_EQ(alive, 0);
}

TEST(Assertions, CarryMessageUnitAndLine) {
  try {
    Assert(false, "mensaje", "VRXStrings");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.AssertMessage(), "mensaje");
    EXPECT_EQ(e.UnitName(), "VRXStrings");
    EXPECT_GT(e.Line(), 0u);
  }
}

TEST(StringList, AddIndexAndCapacity) {
  TStringList list;
  EXPECT_EQ(list.Add("a"), 0);
  EXPECT_EQ(list.Add(std::string("b\0c", 3)), 1);
  EXPECT_EQ(list[1], std::string("b\0c", 3));
  EXPECT_EQ(list.IndexOf("a"), 0);
  EXPECT_EQ(list.IndexOf("b"), -1);
  EXPECT_THROW(list.Strings(2), ERangeError);
  EXPECT_THROW(list.Strings(-1), ERangeError);
  list.SetCapacity(1000);
  EXPECT_GE(list.GetCapacity(), 1000);
  const std::string* first = &list[0];
  for (int i = 0; i < 998; ++i) list.Add("x");
  EXPECT_EQ(first, &list[0]);  // no regrowth within the capacity
  list.SetCapacity(-5);        // never drops elements
  EXPECT_EQ(list.Count(), 1000);
  EXPECT_EQ(list[0], "a");
}
