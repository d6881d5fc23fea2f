// General string utilities on byte strings: case, trimming, pieces, file names, base conversion,
// identifiers, buffers, lists and tokens. Positions are 1-based; white space is exactly the bytes
// 0, 9, 32 and 127 (CR and LF are not white space). Text above 127 is Windows-1252. Bad arguments
// fail assertions naming the unit VRXStrings. Every function is linear in the size of its input.
#pragma once

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "morvane/framework/Component.h"
#include "morvane/framework/StringList.h"

namespace morvane {

using TCharSet = std::bitset<256>;

// ---- Case (Windows-1252). The text passes through a zero-terminated buffer, so the result ends
// before the first zero byte of the argument.

std::string Upper(std::string_view cString);
std::string Lower(std::string_view cString);
std::string UpperTrim(std::string_view cString);  // Upper(AllTrim(cString))
std::string LowerTrim(std::string_view cString);  // Lower(AllTrim(cString))
// Lower, then the first byte of each word raised if it is an ASCII letter a-z; words start at
// the first byte and after each space (only byte 32).
std::string CapitalizeWords(std::string_view cString);

// ---- White space and trimming

bool IsWhite(char cChar) noexcept;
std::string RTrim(std::string_view cString);
std::string LTrim(std::string_view cString);
std::string AllTrim(std::string_view cString);
// True when AllTrim(cString) is empty.
bool Empty(std::string_view cString) noexcept;

// ---- Pieces and building

// cString repeated nTimes times; empty when nTimes <= 0.
std::string Replicate(std::string_view cString, int32_t nTimes);
// The text from position nFromPos on; 0 and 1 give the whole text. A negative nFromPos fails an
// assertion.
std::string ToEnd(std::string_view cString, int32_t nFromPos);
// The text without its last nCharacters bytes. A negative nCharacters fails an assertion.
std::string DeleteEnd(std::string_view cString, int32_t nCharacters);
std::string Invert(std::string_view cString);
// The position of the first cSubStr that starts at or after nStart (below 1 counts as 1), or 0.
int32_t SPos(std::string_view cSubStr, std::string_view cString, int32_t nStart);
// Every cOld replaced by cNew from left to right; inserted text is never searched again. An
// empty cOld changes nothing.
std::string Replace(std::string_view cString, std::string_view cOld, std::string_view cNew);
// Filled on the left (PadL) or right (PadR) with cChar up to nLen bytes; a longer text is cut to
// its first nLen bytes.
std::string PadL(std::string_view cString, int32_t nLen, char cChar);
std::string PadR(std::string_view cString, int32_t nLen, char cChar);
std::string FldStr(std::string_view cString, int32_t nLen);  // PadR(cString, nLen, ' ')
// The text cut to nLen bytes ending in "..." when it is longer than nLen ("..." alone below 3).
std::string LimitString(std::string_view cString, int32_t nLen);
// The text between apostrophes, each inner apostrophe followed by a TAB.
std::string QuoteString(std::string_view cString);
// The text without the bytes in Chars.
std::string RemoveChars(std::string_view cString, const TCharSet& Chars);

// ---- File names: the separator is the backslash; an extension is the part from the last "."
// that follows the last "\" and ":", its dot included. cExt may come with or without its dot.

std::string AddSlash(std::string_view cPath);
std::string RemoveSlash(std::string_view cPath);
// cFile unchanged when it has an extension, else cFile + "." + cExt.
std::string AddExt(std::string_view cFile, std::string_view cExt);
// AllTrim(cFile) without its extension, then "." + cExt.
std::string SetExt(std::string_view cFile, std::string_view cExt);
// AllTrim(cFile) without its extension.
std::string DelExt(std::string_view cFile);

// ---- Number and value conversion (bases 2 to 34, digits "0123456789ABCDEFGHIJLMNOPQRSTUVWXYZ":
// there is no K, the digit worth 20 is L)

// nValue in base nBase, "-" in front of a negative value; -2147483648 has its full magnitude.
std::string DecToBase(int32_t nValue, int32_t nBase);
// Reads a trimmed, case-insensitive number with an optional leading "-"; 32-bit wrap-around. A
// byte that is no digit of the base raises EConvertError with text 1001.
int32_t BaseToDec(std::string_view cValue, int32_t nBase);
// nValue in decimal with leading zeros up to nLen bytes, the sign counted in the width; nLen 0
// gives the plain form. The width is taken as an unsigned 16-bit count.
std::string ZStr(int32_t nValue, int32_t nLen);
// The number in the text (sign, digits, one "." whatever the locale, exponent), or 0.
long double EvalAsFloat(std::string_view cString) noexcept;
// The number in the text (sign and decimal digits in the 32-bit range), or 0.
int32_t EvalAsInteger(std::string_view cString) noexcept;
std::string BooleanToYN(bool lValue);      // text 1002 or 1003
std::string BooleanToYNCode(bool lValue);  // "X" or "-"
// True for "X" and text 1002, after trimming and upper-casing.
bool YNToBoolean(std::string_view cString);
// Two upper-case hexadecimal digits per byte, separated by single spaces.
std::string StringToHex(std::string_view cString);
// The message nId of the table formatted with Args ("%s" takes one string).
std::string FormatRes(int32_t nId, std::initializer_list<std::string_view> Args = {});

// ---- Identifiers, buffers, hashing, time stamps and HTML

// An identifier: trimmed, "_" before a leading digit, accented letters to their base letter,
// every other byte but ASCII letters and digits to "_".
std::string MakeID(std::string_view cString);
// A new key of hexadecimal digits from a fresh GUID (fields unpadded, D1 signed).
std::string UniqueID();
// The component's Name, then "_" and the Name of each owner up the chain; empty for nullptr.
std::string UniqueComponentID(const TComponent* AComponent);
// The current local date and time as "yyyymmddhhnnss".
std::string TimeStamp();
// The 16-bit hash of the first Count bytes (0 when Count < 1).
int32_t GetHashCode(const void* Buffer, int32_t Count) noexcept;
// True when the first Count bytes are equal (true when Count <= 0).
bool CompareBuffers(const void* Buffer1, const void* Buffer2, int32_t Count) noexcept;
// The 0-based offset of the first cChar among the first Count bytes, or -1.
int32_t FindChar(const void* Buffer, char cChar, int32_t Count) noexcept;
// The text with its Spanish accented letters, "<", ">" and the double quote as HTML entities;
// "&" passes unchanged.
std::string StringToHTML(std::string_view cString);

// ---- Lists, separated strings and tokens

// The index of the first element equal to cString, or -1.
int32_t AScan(std::string_view cString, std::span<const std::string> Items) noexcept;
int32_t slScan(std::string_view cString, const TStrings& List) noexcept;
std::unique_ptr<TStringList> ArrayToList(std::span<const std::string> Items);
// The elements joined with cSeparator between neighbours.
std::string StringListToString(const TStrings& List, std::string_view cSeparator);
// The pieces between occurrences of cSeparator; an empty rest after the last separator is not
// added. An empty cSeparator never matches.
std::unique_ptr<TStringList> StringToStringList(std::string_view cString,
                                                std::string_view cSeparator);
// Item lists: each item followed by ";". Membership is a plain substring search of cItem + ";".
bool StrBelongs(std::string_view cItem, std::string_view cList);
std::string StrInclude(std::string_view cItem, std::string_view cList);
std::string StrExclude(std::string_view cItem, std::string_view cList);
// cString is trimmed; cWord receives its first white-space-delimited word and cString the
// trimmed rest.
void ExtractWord(std::string& cWord, std::string& cString);
// cWord receives the bytes before the first cChar and cString the bytes after it (the delimiter
// dropped); without cChar, cWord receives all of cString and cString becomes empty.
void ExtractTo(std::string& cWord, std::string& cString, char cChar);
// Moves the first byte of cString into cChar when it is (RecognizeToken) or is not
// (RecognizeExcept) in Chars; false and nothing changed otherwise or for an empty cString.
bool RecognizeToken(const TCharSet& Chars, std::string& cString, char& cChar);
bool RecognizeExcept(const TCharSet& Chars, std::string& cString, char& cChar);

}  // namespace morvane
