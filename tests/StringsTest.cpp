// The string utilities, the message table and the constants.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/TextServices.h"
#include "morvane/strings/VRXConstant.h"  // with the cipher unit: one TProgressProc
#include "morvane/strings/VRXMsg.h"
#include "morvane/strings/VRXStrings.h"

using namespace morvane;
using namespace std::string_literals;

namespace {

// Runs F and returns the assertion it fails, checking that it names this unit.
template <typename F>
std::string AssertionOf(F&& f) {
  try {
    f();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.UnitName(), "VRXStrings");
    EXPECT_GT(e.Line(), 0u);
    return e.AssertMessage();
  }
  ADD_FAILURE() << "no assertion failed";
  return {};
}

// Runs F and returns the message of the conversion error it raises.
template <typename F>
std::string ConvertErrorOf(F&& f) {
  try {
    f();
  } catch (const EConvertError& e) {
    return e.Message();
  }
  ADD_FAILURE() << "no conversion error";
  return {};
}

std::string RandomText(std::mt19937& rng, size_t maxLen, std::string_view alphabet) {
  std::uniform_int_distribution<size_t> len(0, maxLen), pick(0, alphabet.size() - 1);
  std::string s(len(rng), ' ');
  for (char& c : s) c = alphabet[pick(rng)];
  return s;
}

TCharSet CharSet(std::string_view bytes) {
  TCharSet set;
  for (char c : bytes) set.set(static_cast<uint8_t>(c));
  return set;
}

std::vector<std::string> Elements(const TStrings& list) {
  return list.Items();
}

}  // namespace

// ---- Message table

TEST(Messages, TextsAreWindows1252Bytes) {
  EXPECT_EQ(LoadStr(1001), "D\xEDgito de conversi\xF3n incorrecto (%s)");
  EXPECT_EQ(LoadStr(1002), "Si");
  EXPECT_EQ(LoadStr(1003), "No");
  EXPECT_EQ(LoadStr(1004), "");
  EXPECT_EQ(FormatRes(1001, {"G"}), "D\xEDgito de conversi\xF3n incorrecto (G)");
  EXPECT_EQ(FormatRes(424242, {"x"}), "");
}

// ---- White space and trimming

TEST(Trim, WhiteSpaceIsExactlyZeroTabSpaceDel) {
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(IsWhite(static_cast<char>(b)), b == 0 || b == 9 || b == 32 || b == 127) << b;
  EXPECT_EQ(AllTrim("\t abc\r\n"), "abc\r\n");
  EXPECT_EQ(AllTrim("\0\x7F a b\t\0"s), "a b");
  EXPECT_EQ(LTrim(" \ta \t"), "a \t");
  EXPECT_EQ(RTrim(" \ta \t"), " \ta");
  EXPECT_EQ(AllTrim(" \t\0\x7F"s), "");
  EXPECT_EQ(RTrim("\0\0"s), "");
  EXPECT_EQ(LTrim(""), "");
}

TEST(Trim, Empty) {
  EXPECT_TRUE(Empty(""));
  EXPECT_TRUE(Empty(" \t\0\x7F "s));
  EXPECT_FALSE(Empty("\r"));
  EXPECT_FALSE(Empty("\n"));
  EXPECT_FALSE(Empty(" \0x"s));
  EXPECT_FALSE(Empty("\xA0"));  // the no-break space is no white space here
}

// ---- Pieces

TEST(Pieces, ToEnd) {
  EXPECT_EQ(ToEnd("abc", 0), "abc");
  EXPECT_EQ(ToEnd("abc", 1), "abc");
  EXPECT_EQ(ToEnd("abc", 2), "bc");
  EXPECT_EQ(ToEnd("abc", 3), "c");
  EXPECT_EQ(ToEnd("abc", 4), "");
  EXPECT_EQ(ToEnd("abc", INT32_MAX), "");
  EXPECT_EQ(ToEnd("a\0b"s, 2), "\0b"s);
  EXPECT_EQ(AssertionOf([] { ToEnd("abc", -1); }), "Valor negativo de nFromPos");
  EXPECT_EQ(AssertionOf([] { ToEnd("", INT32_MIN); }), "Valor negativo de nFromPos");
}

TEST(Pieces, DeleteEnd) {
  EXPECT_EQ(DeleteEnd("abc", 0), "abc");
  EXPECT_EQ(DeleteEnd("abc", 1), "ab");
  EXPECT_EQ(DeleteEnd("abc", 3), "");
  EXPECT_EQ(DeleteEnd("abc", 9), "");
  EXPECT_EQ(AssertionOf([] { DeleteEnd("abc", -1); }), "Valor negativo de nCharacters");
}

// ---- Base conversion

TEST(BaseConversion, DecToBase) {
  EXPECT_EQ(DecToBase(255, 16), "FF");
  EXPECT_EQ(DecToBase(-10, 2), "-1010");
  EXPECT_EQ(DecToBase(0, 7), "0");
  EXPECT_EQ(DecToBase(100, 10), "100");
  EXPECT_EQ(DecToBase(20, 21), "L");  // no K among the digits
  EXPECT_EQ(DecToBase(33, 34), "Y");
  EXPECT_EQ(DecToBase(34, 34), "10");
  EXPECT_EQ(DecToBase(INT32_MAX, 2), std::string(31, '1'));
  EXPECT_EQ(DecToBase(INT32_MIN, 16), "-80000000");
  EXPECT_EQ(DecToBase(INT32_MIN, 10), "-2147483648");
  for (int32_t base : {1, 0, -2, 35, 36})
    EXPECT_EQ(AssertionOf([&] { DecToBase(5, base); }), "La base de conversi\xF3n es incorrecta");
}

TEST(BaseConversion, BaseToDec) {
  EXPECT_EQ(BaseToDec(" ff ", 16), 255);
  EXPECT_EQ(BaseToDec("\tFf\0"s, 16), 255);
  EXPECT_EQ(BaseToDec("", 16), 0);
  EXPECT_EQ(BaseToDec("   ", 16), 0);
  EXPECT_EQ(BaseToDec("-", 10), 0);
  EXPECT_EQ(BaseToDec("-1010", 2), -10);
  EXPECT_EQ(BaseToDec("L", 21), 20);
  EXPECT_EQ(BaseToDec("y", 34), 33);
  EXPECT_EQ(BaseToDec("FFFFFFFF", 16), -1);  // 32-bit wrap-around
  EXPECT_EQ(BaseToDec("100000000", 16), 0);
  EXPECT_EQ(BaseToDec("-80000000", 16), INT32_MIN);
  const std::string prefix = "D\xEDgito de conversi\xF3n incorrecto (";
  EXPECT_EQ(ConvertErrorOf([] { BaseToDec("1G", 16); }), prefix + "G)");
  EXPECT_EQ(ConvertErrorOf([] { BaseToDec("k", 34); }), prefix + "K)");
  EXPECT_EQ(ConvertErrorOf([] { BaseToDec("Z", 34); }), prefix + "Z)");
  EXPECT_EQ(ConvertErrorOf([] { BaseToDec("2", 2); }), prefix + "2)");
  EXPECT_EQ(ConvertErrorOf([] { BaseToDec("+5", 10); }), prefix + "+)");
  EXPECT_EQ(ConvertErrorOf([] { BaseToDec("--5", 10); }), prefix + "-)");
  EXPECT_EQ(ConvertErrorOf([] { BaseToDec("1 2", 10); }), prefix + " )");
  EXPECT_EQ(AssertionOf([] { BaseToDec("1", 35); }), "La base de conversi\xF3n es incorrecta");
  EXPECT_EQ(AssertionOf([] { BaseToDec("", 1); }), "La base de conversi\xF3n es incorrecta");
}

TEST(BaseConversion, RoundTripsEveryBase) {
  std::mt19937 rng(4);
  for (int32_t base = 2; base <= 34; ++base) {
    for (int32_t v : {0, 1, -1, INT32_MAX, INT32_MIN, base, -base})
      EXPECT_EQ(BaseToDec(DecToBase(v, base), base), v) << base;
    for (int i = 0; i < 200; ++i) {
      const auto v = static_cast<int32_t>(rng());
      EXPECT_EQ(BaseToDec(Lower(DecToBase(v, base)), base), v) << base;
    }
  }
}

// ---- Taking pieces off the front

TEST(Extract, ExtractTo) {
  std::string word = "old", text = "key=value=x";
  ExtractTo(word, text, '=');
  EXPECT_EQ(word, "key");
  EXPECT_EQ(text, "value=x");
  text = "novalue";
  ExtractTo(word, text, '=');
  EXPECT_EQ(word, "novalue");
  EXPECT_EQ(text, "");
  text = "=x";
  ExtractTo(word, text, '=');
  EXPECT_EQ(word, "");
  EXPECT_EQ(text, "x");
  text = " a \r\nb\r\n";  // nothing is trimmed
  ExtractTo(word, text, '\n');
  EXPECT_EQ(word, " a \r");
  EXPECT_EQ(text, "b\r\n");
  text = "a\0b"s;
  ExtractTo(word, text, '\0');
  EXPECT_EQ(word, "a");
  EXPECT_EQ(text, "b");
}

TEST(Extract, ExtractWord) {
  std::string word = "old", text = "  one two  three ";
  ExtractWord(word, text);
  EXPECT_EQ(word, "one");
  EXPECT_EQ(text, "two  three");
  text = "a\tb";
  ExtractWord(word, text);
  EXPECT_EQ(word, "a");
  EXPECT_EQ(text, "b");
  ExtractWord(word, text);
  EXPECT_EQ(word, "b");
  EXPECT_EQ(text, "");
  text = "a\rb \0\x7F c"s;  // CR separates nothing; 0 and DEL are white
  ExtractWord(word, text);
  EXPECT_EQ(word, "a\rb");
  EXPECT_EQ(text, "c");
  text = " \t\0 "s;
  ExtractWord(word, text);
  EXPECT_EQ(word, "");
  EXPECT_EQ(text, "");
}

TEST(Extract, RecognizeTokenAndExcept) {
  const TCharSet digits = CharSet("0123456789");
  std::string text = "7up";
  char c = '?';
  EXPECT_TRUE(RecognizeToken(digits, text, c));
  EXPECT_EQ(c, '7');
  EXPECT_EQ(text, "up");
  EXPECT_FALSE(RecognizeToken(digits, text, c));
  EXPECT_EQ(c, '7');
  EXPECT_EQ(text, "up");
  EXPECT_TRUE(RecognizeExcept(digits, text, c));
  EXPECT_EQ(c, 'u');
  EXPECT_EQ(text, "p");
  text = "9";
  EXPECT_FALSE(RecognizeExcept(digits, text, c));
  EXPECT_EQ(text, "9");
  text.clear();
  EXPECT_FALSE(RecognizeToken(digits, text, c));
  EXPECT_FALSE(RecognizeExcept(digits, text, c));
  EXPECT_EQ(c, 'u');
  TCharSet high = CharSet("\xFF");
  text = "\xFF\x80";
  EXPECT_TRUE(RecognizeToken(high, text, c));
  EXPECT_EQ(c, '\xFF');
  EXPECT_TRUE(RecognizeExcept(high, text, c));
  EXPECT_EQ(c, '\x80');
}

// ---- Case

TEST(Case, UpperAndLowerStopAtZeroByte) {
  EXPECT_EQ(Upper("a\0b"s), "A");
  EXPECT_EQ(Lower("\0AB"s), "");
  EXPECT_EQ(Upper("ma\xF1"
                  "ana \xE9t\xE9 \xFF"),
            "MA\xD1"
            "ANA \xC9T\xC9 \x9F");
  EXPECT_EQ(Lower("\xC0GUILA \xD7 \xDF"), "\xE0guila \xD7 \xDF");  // x sign and sharp s stay
  EXPECT_EQ(UpperTrim(" \tab\0"s), "AB");
  EXPECT_EQ(LowerTrim("\x7F"
                      "AB\r"),
            "ab\r");
}

TEST(Case, CapitalizeWords) {
  EXPECT_EQ(CapitalizeWords("hello-world  \xE9lan 9 vidas"), "Hello-world  \xE9lan 9 Vidas");
  EXPECT_EQ(CapitalizeWords("HELLO WORLD"), "Hello World");
  EXPECT_EQ(CapitalizeWords("\xC9LAN \xC9LAN"), "\xE9lan \xE9lan");  // accented letters not raised
  EXPECT_EQ(CapitalizeWords("one\ttwo\nthree 'four'"), "One\ttwo\nthree 'four'");
  EXPECT_EQ(CapitalizeWords(" a"), " A");
  EXPECT_EQ(CapitalizeWords("a\0b"s), "A");
  EXPECT_EQ(CapitalizeWords(""), "");
}

// ---- Pieces and building

TEST(Pieces, ReplicateAndInvert) {
  EXPECT_EQ(Replicate("ab", 3), "ababab");
  EXPECT_EQ(Replicate("ab", 0), "");
  EXPECT_EQ(Replicate("ab", -4), "");
  EXPECT_EQ(Replicate("", 5), "");
  EXPECT_EQ(Invert("ab\0c"s), "c\0ba"s);
  EXPECT_EQ(Invert(""), "");
  std::mt19937 rng(1);
  for (int i = 0; i < 100; ++i) {
    const std::string s = RandomText(rng, 40, "ab\0\xFF "s);
    EXPECT_EQ(Invert(Invert(s)), s);
  }
}

TEST(Pieces, SPos) {
  EXPECT_EQ(SPos("b", "abcb", 3), 4);
  EXPECT_EQ(SPos("b", "abcb", 0), 2);
  EXPECT_EQ(SPos("b", "abcb", INT32_MIN), 2);
  EXPECT_EQ(SPos("b", "abcb", 4), 4);
  EXPECT_EQ(SPos("b", "abcb", 5), 0);
  EXPECT_EQ(SPos("cb", "abcb", 3), 3);
  EXPECT_EQ(SPos("cbx", "abcb", 1), 0);
  EXPECT_EQ(SPos("B", "abcb", 1), 0);  // case matters
  EXPECT_EQ(SPos("", "abcb", 1), 0);
  EXPECT_EQ(SPos("\0"s, "a\0b"s, 1), 2);
  const std::string as = std::string(100, 'a') + "b";  // many near misses before the match
  EXPECT_EQ(SPos("aaab", as, 1), 98);
  EXPECT_EQ(SPos(std::string(20, 'a') + "b", as, 1), 81);
  EXPECT_EQ(SPos(std::string(20, 'a') + "c", as, 1), 0);
}

TEST(Pieces, SPosAgreesWithAPlainSearch) {
  std::mt19937 rng(6);
  for (int i = 0; i < 3000; ++i) {
    const std::string text = RandomText(rng, 200, "aab");
    std::string sub = RandomText(rng, 24, "aaab");
    if (sub.empty()) sub.push_back('a');
    const auto start = static_cast<int32_t>(rng() % 210);
    const size_t at = text.find(sub, static_cast<size_t>(start > 0 ? start - 1 : 0));
    EXPECT_EQ(SPos(sub, text, start), at == std::string::npos ? 0 : static_cast<int32_t>(at + 1));
  }
}

TEST(Pieces, Replace) {
  EXPECT_EQ(Replace("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(Replace("aaa", "", "x"), "aaa");
  EXPECT_EQ(Replace("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(Replace("aaa", "aa", "b"), "ba");  // no overlap
  EXPECT_EQ(Replace("a.b.c", ".", ""), "abc");
  EXPECT_EQ(Replace("abc", "abcd", "x"), "abc");
  EXPECT_EQ(Replace("", "a", "x"), "");
  EXPECT_EQ(Replace("x\0y\0"s, "\0"s, "--"), "x--y--");
}

TEST(Pieces, ReplaceMatchesAPlainLeftToRightScan) {
  auto reference = [](std::string s, const std::string& o, const std::string& n) {
    for (size_t at = s.find(o); at != std::string::npos; at = s.find(o, at + n.size()))
      s.replace(at, o.size(), n);
    return s;
  };
  std::mt19937 rng(2);
  for (int i = 0; i < 2000; ++i) {
    const std::string s = RandomText(rng, 30, "ab\0"s);
    const std::string o = RandomText(rng, 3, "ab\0"s);
    const std::string n = RandomText(rng, 4, "ab\0"s);
    if (o.empty()) continue;
    EXPECT_EQ(Replace(s, o, n), reference(s, o, n));
  }
}

TEST(Pieces, PaddingAndLimits) {
  EXPECT_EQ(PadL("abc", 5, '*'), "**abc");
  EXPECT_EQ(PadL("abcdef", 3, '*'), "abc");
  EXPECT_EQ(PadR("abc", 5, '*'), "abc**");
  EXPECT_EQ(PadR("abcdef", 3, '*'), "abc");
  EXPECT_EQ(PadL("abc", 0, '*'), "");
  EXPECT_EQ(PadR("abc", -1, '*'), "");
  EXPECT_EQ(PadL("", 2, '\0'), "\0\0"s);
  EXPECT_EQ(FldStr("ab", 4), "ab  ");
  EXPECT_EQ(FldStr("abcdef", 2), "ab");
  EXPECT_EQ(LimitString("abcdefgh", 6), "abc...");
  EXPECT_EQ(LimitString("abcdefgh", 2), "...");
  EXPECT_EQ(LimitString("abcdefgh", 3), "...");
  EXPECT_EQ(LimitString("abcdefgh", 8), "abcdefgh");
  EXPECT_EQ(LimitString("abcdefgh", 7), "abcd...");
  EXPECT_EQ(LimitString("", 0), "");
}

TEST(Pieces, QuoteStringAndRemoveChars) {
  EXPECT_EQ(QuoteString("it's"), "'it'\ts'");
  EXPECT_EQ(QuoteString(""), "''");
  EXPECT_EQ(QuoteString("''"), "''\t'\t'");
  EXPECT_EQ(RemoveChars("a1b2\0c3"s, CharSet("0123456789")), "ab\0c"s);
  EXPECT_EQ(RemoveChars("a\0b\xFF"s, CharSet("\0\xFF"s)), "ab");
  EXPECT_EQ(RemoveChars("abc", TCharSet()), "abc");
  EXPECT_EQ(RemoveChars("abc", TCharSet().set()), "");
}

// ---- File names

TEST(FileNames, Slashes) {
  EXPECT_EQ(AddSlash("c:\\dir"), "c:\\dir\\");
  EXPECT_EQ(AddSlash("c:\\dir\\"), "c:\\dir\\");
  EXPECT_EQ(AddSlash(""), "");
  EXPECT_EQ(RemoveSlash("c:\\dir\\\\"), "c:\\dir\\");
  EXPECT_EQ(RemoveSlash("c:\\dir"), "c:\\dir");
  EXPECT_EQ(RemoveSlash(""), "");
}

TEST(FileNames, Extensions) {
  EXPECT_EQ(AddExt("c:\\dir.x\\file", ".txt"), "c:\\dir.x\\file.txt");
  EXPECT_EQ(AddExt("file.doc", "txt"), "file.doc");
  EXPECT_EQ(AddExt("file", ""), "file.");
  EXPECT_EQ(AddExt("file.", "txt"), "file.");           // a final dot is an extension
  EXPECT_EQ(AddExt("c:file", "..txt"), "c:file..txt");  // one dot removed only
  EXPECT_EQ(AddExt(" file ", "txt"), " file .txt");     // not trimmed
  EXPECT_EQ(SetExt(" file.doc ", "txt"), "file.txt");
  EXPECT_EQ(SetExt("c:\\dir.x\\file", ".txt"), "c:\\dir.x\\file.txt");
  EXPECT_EQ(SetExt("a.b", ""), "a.");
  EXPECT_EQ(SetExt("", "txt"), ".txt");
  EXPECT_EQ(DelExt("archive.tar.gz"), "archive.tar");
  EXPECT_EQ(DelExt(" x\\y.z\t"), "x\\y");
  EXPECT_EQ(DelExt("d:.cfg"), "d:");
  EXPECT_EQ(DelExt("dir.x\\file"), "dir.x\\file");
}

// ---- Number and value conversion

TEST(ValueConversion, ZStr) {
  EXPECT_EQ(ZStr(5, 3), "005");
  EXPECT_EQ(ZStr(-5, 3), "-05");
  EXPECT_EQ(ZStr(123, 2), "123");
  EXPECT_EQ(ZStr(-5, 1), "-5");
  EXPECT_EQ(ZStr(7, 0), "7");
  EXPECT_EQ(ZStr(-7, 0), "-7");
  EXPECT_EQ(ZStr(INT32_MIN, 12), "-02147483648");
  EXPECT_EQ(ZStr(5, 65538), "05");  // the width is a 16-bit count
  const std::string wide = ZStr(5, -1);
  EXPECT_EQ(wide.size(), 65535u);
  EXPECT_EQ(wide.find_first_not_of('0'), 65534u);
}

TEST(ValueConversion, EvalAsIntegerAndFloat) {
  EXPECT_EQ(EvalAsInteger("12"), 12);
  EXPECT_EQ(EvalAsInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(EvalAsInteger("+7"), 7);
  for (const char* bad : {"12a", "", " 1", "1 ", "$FF", "-$1", "2147483648", "1.0", "-"})
    EXPECT_EQ(EvalAsInteger(bad), 0) << bad;
  EXPECT_EQ(EvalAsFloat(""), 0);
  EXPECT_EQ(EvalAsFloat("1.5"), 1.5L);
  EXPECT_EQ(EvalAsFloat("-2.5E3"), -2500.0L);
  EXPECT_EQ(EvalAsFloat("0.1"), 0.1L);        // read in extended precision
  EXPECT_EQ(EvalAsFloat("1e4000"), 1e4000L);  // beyond the double range
  for (const char* bad : {"1,5", "abc", "1e", ".", "1.2.3", "inf", "nan", " 1", "1e99999"})
    EXPECT_EQ(EvalAsFloat(bad), 0) << bad;
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // the dot holds whatever the locale
  EXPECT_EQ(EvalAsFloat("1.5"), 1.5L);
  std::setlocale(LC_NUMERIC, "C");
}

TEST(ValueConversion, YesNo) {
  EXPECT_EQ(BooleanToYN(true), "Si");
  EXPECT_EQ(BooleanToYN(false), "No");
  EXPECT_EQ(BooleanToYNCode(true), "X");
  EXPECT_EQ(BooleanToYNCode(false), "-");
  EXPECT_FALSE(YNToBoolean(BooleanToYN(false)));
  EXPECT_TRUE(YNToBoolean(BooleanToYN(true)));
  EXPECT_TRUE(YNToBoolean(BooleanToYNCode(true)));
  EXPECT_FALSE(YNToBoolean(BooleanToYNCode(false)));
  for (const char* yes : {"x", " X ", "si", "Si", "SI", "\tsI\0"})
    EXPECT_TRUE(YNToBoolean(yes)) << yes;
  for (const char* no : {"S", "Y", "YES", "1", "No", "", "X X", "S\xCD"})
    EXPECT_FALSE(YNToBoolean(no)) << no;
}

TEST(ValueConversion, StringToHex) {
  EXPECT_EQ(StringToHex("AB"), "41 42");
  EXPECT_EQ(StringToHex("\0\n\xFF"s), "00 0A FF");
  EXPECT_EQ(StringToHex("\x9c"), "9C");
  EXPECT_EQ(StringToHex(""), "");
}

// ---- Identifiers, buffers, hashing, time stamps and HTML

TEST(Identifiers, MakeID) {
  EXPECT_EQ(MakeID("  9 vidas  "), "_9_vidas");
  EXPECT_EQ(MakeID("A\xF1o-2000"), "Ano_2000");
  EXPECT_EQ(MakeID("\xC7"
                   "a va?"),
            "Ca_va_");
  EXPECT_EQ(MakeID(""), "");
  EXPECT_EQ(MakeID(" \t "), "");
  EXPECT_EQ(MakeID("\xAA\xBA\xC0\xC9\xCF\xD1\xD6\xDC\xE7\xEB\xEC\xF1\xF6\xF9"), "aoAEINOUceinou");
  // Tilde vowels, rings, ligatures, slashed o, y acute and y diaeresis have no base letter here.
  EXPECT_EQ(MakeID("\xC3\xD5\xE3\xF5\xC5\xC6\xE5\xE6\xD8\xF8\xDD\xFD\xFF"), "_____________");
  EXPECT_EQ(MakeID("a_b.c\0d"s), "a_b_c_d");
}

TEST(Identifiers, UniqueID) {
  const std::string a = UniqueID(), b = UniqueID();
  EXPECT_NE(a, b);
  for (int i = 0; i < 200; ++i) {
    const std::string id = UniqueID();
    ASSERT_GE(id.size(), 11u);  // at least one digit for each of the eleven fields
    ASSERT_LE(id.size(), 33u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF", id[0] == '-' ? 1 : 0), std::string::npos)
        << id;
  }
}

TEST(Identifiers, UniqueComponentID) {
  TComponent form;
  form.SetName("Form1");
  auto* panel = new TComponent(&form);
  auto* button = new TComponent(panel);
  button->SetName("Button1");
  EXPECT_EQ(UniqueComponentID(button), "Button1__Form1");  // the unnamed panel still adds "_"
  panel->SetName("Panel1");
  EXPECT_EQ(UniqueComponentID(button), "Button1_Panel1_Form1");
  EXPECT_EQ(UniqueComponentID(&form), "Form1");
  EXPECT_EQ(UniqueComponentID(nullptr), "");
}

TEST(Identifiers, TimeStampIsLocalTimeToTheSecond) {
  const std::string before = FormatDateTime("yyyymmddhhnnss", Now());
  const std::string stamp = TimeStamp();
  const std::string after = FormatDateTime("yyyymmddhhnnss", Now());
  ASSERT_EQ(stamp.size(), 14u);
  EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_LE(before, stamp);
  EXPECT_LE(stamp, after);
  // 3 February, 14:05:09 of a year: the digits in that order.
  EXPECT_EQ(FormatDateTime("yyyymmddhhnnss", EncodeDate(2031, 2, 3) + EncodeTime(14, 5, 9, 0)),
            "20310203140509");
}

TEST(Buffers, HashCompareAndFind) {
  EXPECT_EQ(GetHashCode("A", 1), 65);
  EXPECT_EQ(GetHashCode("abc", 3), 34850);
  // 0xFF followed by fifteen zero bytes: rotated left by 75 = 4 * 16 + 11 bits.
  const std::string ff = "\xFF" + std::string(15, '\0');
  EXPECT_EQ(GetHashCode(ff.data(), 16), 0xF807);
  EXPECT_EQ(GetHashCode("abc", 0), 0);
  EXPECT_EQ(GetHashCode(nullptr, -5), 0);

  EXPECT_TRUE(CompareBuffers("abc", "abd", 0));
  EXPECT_TRUE(CompareBuffers("abc", "abd", 2));
  EXPECT_FALSE(CompareBuffers("abc", "abd", 3));
  EXPECT_TRUE(CompareBuffers(nullptr, nullptr, -1));

  EXPECT_EQ(FindChar("abcabc", 'c', 6), 2);
  EXPECT_EQ(FindChar("abcabc", 'c', 2), -1);
  EXPECT_EQ(FindChar("abcabc", 'a', 0), -1);
  EXPECT_EQ(FindChar(nullptr, 'a', -3), -1);
  EXPECT_EQ(FindChar("ab\0c"s.data(), '\0', 4), 2);
  EXPECT_EQ(FindChar("ab\xFF", '\xFF', 3), 2);
}

TEST(HTML, StringToHTML) {
  EXPECT_EQ(StringToHTML("<b>A\xF1o & caf\xE9</b>"), "&lt;b&gt;A&ntilde;o & caf&eacute;&lt;/b&gt;");
  EXPECT_EQ(StringToHTML("\"\xC1\xC9\xCD\xD3\xDA\xD1\xDC\xFC\xFA'"),
            "&quot;&Aacute;&Eacute;&Iacute;&Oacute;&Uacute;&Ntilde;&Uuml;&uuml;&uacute;'");
  EXPECT_EQ(StringToHTML("\xE0\xE3\0&amp;"s), "\xE0\xE3\0&amp;"s);  // untouched
}

TEST(HTML, StringToHTMLEqualsTheSeventeenReplacementsInOrder) {
  static const std::pair<const char*, const char*> kSteps[] = {
      {"\xE1", "&aacute;"}, {"\xE9", "&eacute;"}, {"\xED", "&iacute;"}, {"\xF3", "&oacute;"},
      {"\xFA", "&uacute;"}, {"\xC1", "&Aacute;"}, {"\xC9", "&Eacute;"}, {"\xCD", "&Iacute;"},
      {"\xD3", "&Oacute;"}, {"\xDA", "&Uacute;"}, {"<", "&lt;"},        {">", "&gt;"},
      {"\"", "&quot;"},     {"\xF1", "&ntilde;"}, {"\xD1", "&Ntilde;"}, {"\xFC", "&uuml;"},
      {"\xDC", "&Uuml;"}};
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) {
    const std::string s = RandomText(
        rng, 60, "a&;<>\"\xE1\xE9\xED\xF3\xFA\xC1\xC9\xCD\xD3\xDA\xF1\xD1\xFC\xDC\xE0\0"s);
    std::string expected = s;
    for (const auto& [from, to] : kSteps) expected = Replace(expected, from, to);
    EXPECT_EQ(StringToHTML(s), expected);
  }
}

// ---- Lists and separated strings

TEST(Lists, Scans) {
  const std::vector<std::string> items = {"a", "b", "b"};
  EXPECT_EQ(AScan("b", items), 1);
  EXPECT_EQ(AScan("B", items), -1);
  EXPECT_EQ(AScan("", items), -1);
  EXPECT_EQ(AScan("a", std::span<const std::string>()), -1);
  TStringList list;
  EXPECT_EQ(slScan("a", list), -1);
  list.Add("x");
  list.Add("");
  list.Add("x");
  EXPECT_EQ(slScan("x", list), 0);
  EXPECT_EQ(slScan("", list), 1);
  EXPECT_EQ(slScan("X", list), -1);
  const auto copy = ArrayToList(items);
  EXPECT_EQ(Elements(*copy), items);
  EXPECT_EQ(ArrayToList({})->Count(), 0);
}

TEST(Lists, JoinAndSplit) {
  EXPECT_EQ(StringListToString(*ArrayToList(std::vector<std::string>{"a", "", "b"}), ", "),
            "a, , b");
  EXPECT_EQ(StringListToString(TStringList(), ","), "");
  EXPECT_EQ(StringListToString(*ArrayToList(std::vector<std::string>{""}), ","), "");
  using V = std::vector<std::string>;
  EXPECT_EQ(Elements(*StringToStringList("a,,b,", ",")), (V{"a", "", "b"}));
  EXPECT_EQ(Elements(*StringToStringList(",a", ",")), (V{"", "a"}));
  EXPECT_EQ(Elements(*StringToStringList("", ",")), V{});
  EXPECT_EQ(Elements(*StringToStringList(",", ",")), V{""});
  EXPECT_EQ(Elements(*StringToStringList("a--b", "--")), (V{"a", "b"}));
  EXPECT_EQ(Elements(*StringToStringList("a---b", "--")), (V{"a", "-b"}));
  EXPECT_EQ(Elements(*StringToStringList("abc", "")), V{"abc"});
  EXPECT_EQ(Elements(*StringToStringList("", "")), V{});
  EXPECT_EQ(Elements(*StringToStringList("a\0b"s, "\0"s)), (V{"a", "b"}));
}

TEST(Lists, JoinThenSplitRoundTrips) {
  std::mt19937 rng(5);
  for (const std::string sep : {",", "--", "\r\n"}) {
    for (int i = 0; i < 300; ++i) {
      std::vector<std::string> items(rng() % 6);
      for (auto& item : items) item = RandomText(rng, 5, "ab \0"s);
      // The split drops an empty last piece, so the round trip holds for a non-empty last one.
      if (!items.empty()) items.back() += 'z';
      const std::string joined = StringListToString(*ArrayToList(items), sep);
      EXPECT_EQ(Elements(*StringToStringList(joined, sep)), items);
      EXPECT_EQ(StringListToString(*StringToStringList(joined, sep), sep), joined);
    }
  }
}

TEST(Lists, ItemLists) {
  EXPECT_EQ(StrInclude("x", ""), "x;");
  EXPECT_EQ(StrInclude("x", "x;"), "x;");
  EXPECT_EQ(StrInclude("y", "x;"), "x;y;");
  EXPECT_EQ(StrExclude("b", "a;b;c;"), "a;c;");
  EXPECT_EQ(StrExclude("b", "ab;c;"), "ac;");  // a plain substring search
  EXPECT_EQ(StrExclude("b", "b;b;"), "b;");    // one occurrence only
  EXPECT_EQ(StrExclude("d", "a;b;"), "a;b;");
  EXPECT_TRUE(StrBelongs("", "a;"));
  EXPECT_TRUE(StrBelongs("b", "ab;"));
  EXPECT_FALSE(StrBelongs("a", "ab;"));
  EXPECT_FALSE(StrBelongs("a", ""));
  EXPECT_FALSE(StrBelongs("", ""));
}

// ---- Constants

TEST(Constants, ValuesSetAtLoad) {
  EXPECT_EQ(MIN_DATE, EncodeDate(1950, 1, 1));
  EXPECT_EQ(MAX_DATE, EncodeDate(2030, 1, 1));
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", MIN_DATE), "1950-01-01");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", MAX_DATE), "2030-01-01");
  EXPECT_EQ(MM_PER_INCH, 25.4f);
  EXPECT_FALSE(lDebug);
  for (const std::string* s :
       {&sAppName, &sVersionNum, &sUserID, &sUserName, &sSQLUser, &sSQLPassword})
    EXPECT_TRUE(s->empty());
}
