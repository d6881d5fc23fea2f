// The string utilities, the message table and the constants.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "morvane/framework/Exceptions.h"
#include "morvane/framework/TextServices.h"
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
