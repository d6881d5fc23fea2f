// General string utilities on byte strings: case, trimming, pieces, file names, base conversion,
// identifiers, buffers, lists and tokens. Positions are 1-based; white space is exactly the bytes
// 0, 9, 32 and 127. Bad arguments fail assertions naming the unit VRXStrings.
#pragma once

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace morvane {

using TCharSet = std::bitset<256>;

// ---- Case (Windows-1252; the result ends before the first zero byte of the argument)

std::string Upper(std::string_view cString);
std::string Lower(std::string_view cString);

// ---- White space and trimming

bool IsWhite(char cChar) noexcept;
std::string RTrim(std::string_view cString);
std::string LTrim(std::string_view cString);
std::string AllTrim(std::string_view cString);
// True when AllTrim(cString) is empty.
bool Empty(std::string_view cString) noexcept;

// ---- Pieces

// The text from position nFromPos on; 0 and 1 give the whole text. A negative nFromPos fails an
// assertion.
std::string ToEnd(std::string_view cString, int32_t nFromPos);
// The text without its last nCharacters bytes. A negative nCharacters fails an assertion.
std::string DeleteEnd(std::string_view cString, int32_t nCharacters);
std::string Invert(std::string_view cString);

// ---- Number conversion (bases 2 to 34, digits "0123456789ABCDEFGHIJLMNOPQRSTUVWXYZ", no K)

std::string DecToBase(int32_t nValue, int32_t nBase);
// Reads a trimmed, case-insensitive number with an optional leading "-"; 32-bit wrap-around. A
// byte that is no digit of the base raises EConvertError with text 1001.
int32_t BaseToDec(std::string_view cValue, int32_t nBase);

// The message nId of the table formatted with Args ("%s" takes one string).
std::string FormatRes(int32_t nId, std::initializer_list<std::string_view> Args = {});

// ---- Taking pieces off the front

// cWord receives the bytes before the first cChar and cString the bytes after it (the delimiter
// dropped); without cChar, cWord receives all of cString and cString becomes empty.
void ExtractTo(std::string& cWord, std::string& cString, char cChar);

}  // namespace morvane
