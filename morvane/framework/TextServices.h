// Text services of the framework: resource strings, formatting, strict number conversion,
// dates and times, file-name extensions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace morvane {

// ---- Resource strings

// The text registered under Ident, or the empty string when there is none.
std::string LoadStr(int32_t Ident);
// Registers (or replaces) the text of Ident; units register their tables at start-up.
void RegisterResourceString(int32_t Ident, std::string Text);

// ---- Formatting

// Replaces each "%s" by the next argument and "%%" by "%". A "%s" without an argument is left
// as it stands; other characters are copied unchanged.
std::string Format(std::string_view Pattern, std::initializer_list<std::string_view> Args);

std::string IntToStr(int64_t Value);

// ---- Strict conversion (EConvertError on bad text)

// An optional sign and decimal digits, or "$" and hexadecimal digits, within the signed 32-bit
// range; nothing else, no blanks.
int32_t StrToInt(std::string_view S);
// An optional sign, digits with at most one "." (whatever the process locale), and an optional
// exponent "e"/"E" with an optional sign and digits; at least one digit before the exponent.
double StrToFloat(std::string_view S);
// Same grammar as StrToFloat; false instead of an exception.
bool TryStrToFloat(std::string_view S, double& Value);
bool TryStrToInt(std::string_view S, int32_t& Value);
// Same grammar as StrToFloat, read into the extended (long double) format; false for bad text and
// for a value outside the extended range.
bool TryStrToExtended(std::string_view S, long double& Value);
long double StrToExtended(std::string_view S);

// ---- Dates and times: days since 1899-12-30, the fraction being the time of day.

using TDateTime = double;

TDateTime EncodeDate(int32_t Year, int32_t Month, int32_t Day);
TDateTime EncodeTime(int32_t Hour, int32_t Min, int32_t Sec, int32_t MSec);
void DecodeDate(TDateTime Value, int32_t& Year, int32_t& Month, int32_t& Day);
void DecodeTime(TDateTime Value, int32_t& Hour, int32_t& Min, int32_t& Sec, int32_t& MSec);
// The current local date and time.
TDateTime Now();
// Formats with the pattern letters yyyy yy m mm d dd h hh n nn s ss zzz (an "m" right after an
// "h" means minutes); text in quotes is copied; other characters stand for themselves.
std::string FormatDateTime(std::string_view Pattern, TDateTime Value);

// ---- File names

// The extension of a file name with its dot ("" when there is none after the last separator).
std::string ExtractFileExt(std::string_view FileName);

}  // namespace morvane
