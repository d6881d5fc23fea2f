#include "morvane/framework/TextServices.h"

#include <sys/time.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>

#include "morvane/framework/Exceptions.h"

namespace morvane {

// ---- Resource strings

namespace {
struct ResourceTable {
  std::mutex lock;
  std::map<int32_t, std::string> texts;
};
ResourceTable& Resources() {
  static ResourceTable table;
  return table;
}
}  // namespace

std::string LoadStr(int32_t Ident) {
  auto& table = Resources();
  std::lock_guard guard(table.lock);
  auto it = table.texts.find(Ident);
  return it == table.texts.end() ? std::string() : it->second;
}

void RegisterResourceString(int32_t Ident, std::string Text) {
  auto& table = Resources();
  std::lock_guard guard(table.lock);
  table.texts[Ident] = std::move(Text);
}

// ---- Formatting

std::string Format(std::string_view Pattern, std::initializer_list<std::string_view> Args) {
  std::string out;
  out.reserve(Pattern.size());
  auto arg = Args.begin();
  for (size_t i = 0; i < Pattern.size(); ++i) {
    if (Pattern[i] == '%' && i + 1 < Pattern.size()) {
      if (Pattern[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (Pattern[i + 1] == 's' && arg != Args.end()) {
        out += *arg++;
        ++i;
        continue;
      }
    }
    out += Pattern[i];
  }
  return out;
}

std::string IntToStr(int64_t Value) {
  return std::to_string(Value);
}

// ---- Strict conversion

bool TryStrToInt(std::string_view S, int32_t& Value) {
  size_t i = 0;
  bool negative = false;
  if (i < S.size() && (S[i] == '+' || S[i] == '-')) negative = S[i++] == '-';
  int base = 10;
  if (i < S.size() && S[i] == '$') {
    base = 16;
    ++i;
  }
  if (i >= S.size()) return false;
  int64_t v = 0;
  for (; i < S.size(); ++i) {
    const char c = S[i];
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return false;
    }
    v = v * base + d;
    if (v > 0xFFFFFFFFLL) return false;
  }
  if (base == 16) {
    // Hexadecimal text is a bit pattern: $FFFFFFFF is -1.
    auto bits = static_cast<uint32_t>(v);
    if (negative) bits = 0u - bits;
    Value = static_cast<int32_t>(bits);
    return true;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  Value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(std::string_view S) {
  int32_t v = 0;
  if (!TryStrToInt(S, v))
    throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
  return v;
}

namespace {
// An optional sign, digits with at most one "." and at least one digit, then an optional exponent
// "e"/"E" with an optional sign and at least one digit; nothing else.
bool IsFloatText(std::string_view S) {
  size_t i = 0;
  if (i < S.size() && (S[i] == '+' || S[i] == '-')) ++i;
  size_t digits = 0;
  bool dot = false;
  for (; i < S.size(); ++i) {
    if (S[i] >= '0' && S[i] <= '9') {
      ++digits;
    } else if (S[i] == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < S.size() && (S[i] == 'e' || S[i] == 'E')) {
    ++i;
    if (i < S.size() && (S[i] == '+' || S[i] == '-')) ++i;
    size_t expDigits = 0;
    for (; i < S.size() && S[i] >= '0' && S[i] <= '9'; ++i) ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == S.size();
}

// The power of ten of the leading significant digit of a text that IsFloatText accepts (the
// exponent saturated far beyond any floating range); 0 when every digit is zero.
int64_t DecimalMagnitude(std::string_view S) {
  size_t i = 0;
  if (S[i] == '+' || S[i] == '-') ++i;
  bool seen = false, afterDot = false;
  int64_t intDigits = 0, zerosAfterDot = 0;
  for (; i < S.size() && S[i] != 'e' && S[i] != 'E'; ++i) {
    if (S[i] == '.') {
      afterDot = true;
    } else if (!seen && S[i] == '0') {
      if (afterDot) ++zerosAfterDot;
    } else {
      seen = true;
      if (!afterDot) ++intDigits;
    }
  }
  if (!seen) return 0;
  int64_t exponent = 0;
  if (i < S.size()) {
    ++i;
    const bool negative = S[i] == '-';
    if (S[i] == '+' || S[i] == '-') ++i;
    for (; i < S.size(); ++i)
      exponent = std::min<int64_t>(exponent * 10 + (S[i] - '0'), 1000000000);
    if (negative) exponent = -exponent;
  }
  return (intDigits > 0 ? intDigits - 1 : -(zerosAfterDot + 1)) + exponent;
}

// from_chars reads "." whatever the locale and refuses a leading "+", which the grammar allows.
template <typename T>
bool ReadFloatText(std::string_view S, T& Value) {
  if (!IsFloatText(S)) return false;
  if (S.front() == '+') S.remove_prefix(1);
  T v{};
  const auto [end, ec] = std::from_chars(S.data(), S.data() + S.size(), v);
  if (end != S.data() + S.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    // Too small a magnitude reads as zero; too large a one is refused.
    if (DecimalMagnitude(S) >= 0) return false;
    v = S.front() == '-' ? -T(0) : T(0);
  } else if (ec != std::errc() || std::isinf(v)) {
    return false;
  }
  Value = v;
  return true;
}
}  // namespace

bool TryStrToFloat(std::string_view S, double& Value) {
  return ReadFloatText(S, Value);
}

bool TryStrToExtended(std::string_view S, long double& Value) {
  return ReadFloatText(S, Value);
}

long double StrToExtended(std::string_view S) {
  long double v = 0;
  if (!TryStrToExtended(S, v))
    throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
  return v;
}

double StrToFloat(std::string_view S) {
  double v = 0;
  if (!TryStrToFloat(S, v))
    throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
  return v;
}

// ---- Dates and times

namespace {
// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's civil-date algorithm).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int32_t& y, int32_t& m, int32_t& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int32_t>(yoe + era * 400 + (m <= 2));
}

constexpr int64_t kUnixEpochDays = 25569;  // 1970-01-01 in days since 1899-12-30

bool IsLeap(int32_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
}  // namespace

TDateTime EncodeDate(int32_t Year, int32_t Month, int32_t Day) {
  static constexpr int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      Day > kDays[Month - 1] + (Month == 2 && IsLeap(Year) ? 1 : 0))
    throw EConvertError("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivil(Year, Month, Day) + kUnixEpochDays);
}

TDateTime EncodeTime(int32_t Hour, int32_t Min, int32_t Sec, int32_t MSec) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999)
    throw EConvertError("Invalid argument to time encode");
  return (((Hour * 60.0 + Min) * 60.0 + Sec) * 1000.0 + MSec) / 86400000.0;
}

void DecodeDate(TDateTime Value, int32_t& Year, int32_t& Month, int32_t& Day) {
  CivilFromDays(static_cast<int64_t>(std::floor(Value)) - kUnixEpochDays, Year, Month, Day);
}

void DecodeTime(TDateTime Value, int32_t& Hour, int32_t& Min, int32_t& Sec, int32_t& MSec) {
  const double frac = std::fabs(Value - std::trunc(Value));
  auto ms = static_cast<int64_t>(std::llround(frac * 86400000.0));
  if (ms >= 86400000) ms = 86399999;
  Hour = static_cast<int32_t>(ms / 3600000);
  Min = static_cast<int32_t>(ms / 60000 % 60);
  Sec = static_cast<int32_t>(ms / 1000 % 60);
  MSec = static_cast<int32_t>(ms % 1000);
}

TDateTime Now() {
  struct timeval tv {};
  ::gettimeofday(&tv, nullptr);
  const time_t secs = tv.tv_sec;
  struct tm local {};
  ::localtime_r(&secs, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                    static_cast<int32_t>(tv.tv_usec / 1000));
}

std::string FormatDateTime(std::string_view Pattern, TDateTime Value) {
  int32_t y, mo, d, h, mi, s, ms;
  DecodeDate(Value, y, mo, d);
  DecodeTime(Value, h, mi, s, ms);
  auto two = [](int32_t v) {
    std::string t = std::to_string(v);
    return t.size() < 2 ? "0" + t : t;
  };
  std::string out;
  bool afterHour = false;
  size_t i = 0;
  while (i < Pattern.size()) {
    const char c = Pattern[i];
    const char lc = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    size_t run = 1;
    while (i + run < Pattern.size() &&
           (Pattern[i + run] == c || Pattern[i + run] == static_cast<char>(lc - 32) ||
            Pattern[i + run] == lc))
      ++run;
    switch (lc) {
      case 'y': {
        std::string t = std::to_string(y);
        if (run <= 2) t = two(y % 100);
        while (t.size() < 4 && run > 2) t = "0" + t;
        out += t;
        break;
      }
      case 'm':
        if (afterHour) {
          out += run >= 2 ? two(mi) : std::to_string(mi);
        } else {
          out += run >= 2 ? two(mo) : std::to_string(mo);
        }
        afterHour = false;
        break;
      case 'd':
        out += run >= 2 ? two(d) : std::to_string(d);
        break;
      case 'h':
        out += run >= 2 ? two(h) : std::to_string(h);
        afterHour = true;
        i += run;
        continue;
      case 'n':
        out += run >= 2 ? two(mi) : std::to_string(mi);
        break;
      case 's':
        out += run >= 2 ? two(s) : std::to_string(s);
        break;
      case 'z': {
        std::string t = std::to_string(ms);
        if (run >= 3)
          while (t.size() < 3) t = "0" + t;
        out += t;
        break;
      }
      case '"':
      case '\'': {
        size_t j = i + 1;
        while (j < Pattern.size() && Pattern[j] != c) out += Pattern[j++];
        i = j < Pattern.size() ? j + 1 : j;
        continue;
      }
      default:
        out.append(run, c);
        i += run;
        continue;
    }
    if (lc != 'm') afterHour = afterHour && lc == ' ';
    i += run;
  }
  return out;
}

// ---- File names

std::string ExtractFileExt(std::string_view FileName) {
  const auto pos = FileName.find_last_of("./\\:");
  if (pos == std::string_view::npos || FileName[pos] != '.') return std::string();
  return std::string(FileName.substr(pos));
}

}  // namespace morvane
