// Option parsing and the small text conversions that every subcommand shares.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::cli {

// A mistake on the command line: the program prints it with a hint and exits with status 2.
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One option a subcommand accepts: "--name", an optional one-letter alias, and whether it takes
// a value ("--name VALUE" or "--name=VALUE").
struct TOptionSpec {
  std::string Name;
  char Short = 0;
  bool TakesValue = false;
};

// The parsed command line of one subcommand. Options may stand anywhere among the operands;
// "--" ends the options, and "-" alone is an operand (standard input or output).
class TCommandLine {
 public:
  TCommandLine(int argc, char** argv, const std::vector<TOptionSpec>& OptionList);

  bool Has(std::string_view Name) const { return FValues.count(std::string(Name)) != 0; }
  // The value of the last occurrence, or nothing.
  std::optional<std::string> Value(std::string_view Name) const;
  std::string ValueOr(std::string_view Name, std::string Default) const;
  // Every value given for a repeatable option, in order.
  const std::vector<std::string>& Values(std::string_view Name) const;
  const std::vector<std::string>& Operands() const noexcept { return FOperands; }

  // Refuses more than one of the named options at once.
  void Exclusive(std::initializer_list<std::string_view> Names) const;
  // Refuses more operands than Max.
  void MaxOperands(size_t Max) const;

 private:
  std::map<std::string, std::vector<std::string>, std::less<>> FValues;
  std::vector<std::string> FOperands;
};

// Hexadecimal digits, two per byte, either case; anything else is a usage error that names What.
std::string ParseHex(std::string_view Text, std::string_view What);
// Lower-case hexadecimal text of bytes.
std::string ToHexLower(std::string_view Bytes);
// A decimal count from Min to Max; anything else is a usage error that names What.
int64_t ParseCount(std::string_view Text, std::string_view What, int64_t Min, int64_t Max);
// One of the listed words; anything else is a usage error that lists them.
std::string ParseChoice(std::string_view Text, std::string_view What,
                        std::initializer_list<std::string_view> Choices);

}  // namespace morvane::cli
