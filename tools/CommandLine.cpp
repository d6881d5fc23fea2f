#include "CommandLine.h"

#include <charconv>

namespace morvane::cli {

TCommandLine::TCommandLine(int argc, char** argv, const std::vector<TOptionSpec>& OptionList) {
  auto findLong = [&](std::string_view name) -> const TOptionSpec* {
    for (const auto& s : OptionList)
      if (s.Name == name) return &s;
    return nullptr;
  };
  auto findShort = [&](char c) -> const TOptionSpec* {
    for (const auto& s : OptionList)
      if (s.Short != 0 && s.Short == c) return &s;
    return nullptr;
  };
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      FOperands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const TOptionSpec* found = nullptr;
    std::optional<std::string> inlineValue;
    if (arg.starts_with("--")) {
      const auto eq = arg.find('=');
      const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      found = findLong(name);
      if (found == nullptr) throw EUsageError("unknown option '--" + name + "'");
      if (eq != std::string::npos) inlineValue = arg.substr(eq + 1);
    } else {
      found = findShort(arg[1]);
      if (found == nullptr) throw EUsageError("unknown option '" + arg.substr(0, 2) + "'");
      if (arg.size() > 2) {
        // "-oFILE" for an option with a value; flags are not bundled.
        if (!found->TakesValue) throw EUsageError("unknown option '" + arg + "'");
        inlineValue = arg.substr(2);
      }
    }
    std::string value;
    if (found->TakesValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        throw EUsageError("option '--" + found->Name + "' needs a value");
      }
    } else if (inlineValue) {
      throw EUsageError("option '--" + found->Name + "' takes no value");
    }
    FValues[found->Name].push_back(std::move(value));
  }
}

std::optional<std::string> TCommandLine::Value(std::string_view Name) const {
  const auto it = FValues.find(Name);
  if (it == FValues.end() || it->second.empty()) return std::nullopt;
  return it->second.back();
}

std::string TCommandLine::ValueOr(std::string_view Name, std::string Default) const {
  auto v = Value(Name);
  return v ? *v : std::move(Default);
}

const std::vector<std::string>& TCommandLine::Values(std::string_view Name) const {
  static const std::vector<std::string> kNone;
  const auto it = FValues.find(Name);
  return it == FValues.end() ? kNone : it->second;
}

void TCommandLine::Exclusive(std::initializer_list<std::string_view> Names) const {
  std::string given;
  int count = 0;
  for (auto n : Names) {
    if (!Has(n)) continue;
    if (count++ > 0) given += " and ";
    given += "--" + std::string(n);
  }
  if (count > 1) throw EUsageError(given + " cannot be used together");
}

void TCommandLine::MaxOperands(size_t Max) const {
  if (FOperands.size() <= Max) return;
  throw EUsageError("unexpected operand '" + FOperands[Max] + "'");
}

std::string ParseHex(std::string_view Text, std::string_view What) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  // What is wrong with the text comes before how many digits it has: "AB CD" holds a blank.
  for (char c : Text)
    if (nibble(c) < 0)
      throw EUsageError(std::string(What) + ": '" + std::string(Text) +
                        "' is not hexadecimal digits (0-9, a-f, A-F; no blanks or prefixes)");
  if (Text.size() % 2 != 0)
    throw EUsageError(std::string(What) + ": an odd number of hexadecimal digits");
  std::string out(Text.size() / 2, '\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char>(nibble(Text[2 * i]) << 4 | nibble(Text[2 * i + 1]));
  return out;
}

std::string ToHexLower(std::string_view Bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(Bytes.size() * 2, '\0');
  for (size_t i = 0; i < Bytes.size(); ++i) {
    const auto b = static_cast<uint8_t>(Bytes[i]);
    out[2 * i] = kDigits[b >> 4];
    out[2 * i + 1] = kDigits[b & 15];
  }
  return out;
}

int64_t ParseCount(std::string_view Text, std::string_view What, int64_t Min, int64_t Max) {
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), v);
  if (Text.empty() || ec != std::errc() || end != Text.data() + Text.size() || v < Min || v > Max) {
    throw EUsageError(std::string(What) + ": '" + std::string(Text) + "' is not a number from " +
                      std::to_string(Min) + " to " + std::to_string(Max));
  }
  return v;
}

std::string ParseChoice(std::string_view Text, std::string_view What,
                        std::initializer_list<std::string_view> Choices) {
  std::string list;
  for (auto c : Choices) {
    if (c == Text) return std::string(c);
    if (!list.empty()) list += ", ";
    list += c;
  }
  throw EUsageError(std::string(What) + ": '" + std::string(Text) + "' is not one of " + list);
}

}  // namespace morvane::cli
