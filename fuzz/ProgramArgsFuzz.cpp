// The program's argument and key-source parsing, in process: TCommandLine over the options of
// the cipher commands, ReadKey from each of its sources, ParseHex, ParseCount and the seed file
// of the random command. Only usage and file errors may come out, and what is accepted must be
// what was given:
// - a parsed command line, written back in one canonical form (--name=value, then "--" and the
//   operands), parses to the same options, values and operands;
// - a key is the exact bytes of --key, -k, --key-hex (decoded here), --key-file or MORVANE_KEY,
//   and exactly one source gives it;
// - a count is accepted exactly when it is plain decimal within its bounds, with its value;
// - a seed file gives its first SeedSize bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "../tools/CommandLine.h"
#include "../tools/KeySource.h"
#include "FuzzSupport.h"
#include "morvane/framework/Exceptions.h"

using namespace morvane;
using namespace morvane::cli;

namespace {

// The options of the encrypt command.
const std::vector<TOptionSpec>& CipherOptionList() {
  static const std::vector<TOptionSpec> list = [] {
    std::vector<TOptionSpec> l = KeyOptions();
    for (const TOptionSpec& o : std::vector<TOptionSpec>{{"output", 'o', true},
                                                         {"progress", 0, false},
                                                         {"no-progress", 0, false},
                                                         {"cipher", 'c', true},
                                                         {"mode", 'm', true},
                                                         {"rounds", 0, true},
                                                         {"layout", 0, true},
                                                         {"iv", 0, true}}) {
      l.push_back(o);
    }
    return l;
  }();
  return list;
}

// Parses Args as a command line would hold them (each a C string).
std::optional<TCommandLine> Parse(const std::vector<std::string>& Args) {
  std::vector<std::string> copies = Args;
  std::vector<char*> argv;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  try {
    return TCommandLine(static_cast<int>(Args.size()), argv.data(), CipherOptionList());
  } catch (const EUsageError&) {
    return std::nullopt;
  }
}

bool SameLine(const TCommandLine& A, const TCommandLine& B) {
  for (const TOptionSpec& o : CipherOptionList()) {
    if (A.Values(o.Name) != B.Values(o.Name)) return false;
  }
  return A.Operands() == B.Operands();
}

std::optional<std::string> Hex(const std::string& Text) {
  if (Text.size() % 2 != 0) return std::nullopt;
  auto digit = [](char c) -> int {
    const std::string digits = "0123456789abcdef";
    const char lower = c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    const size_t at = digits.find(lower);
    return at == std::string::npos || c == '\0' ? -1 : static_cast<int>(at);
  };
  std::string out;
  for (size_t i = 0; i < Text.size(); i += 2) {
    const int hi = digit(Text[i]), lo = digit(Text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

std::string ToHex(const std::string& Bytes, bool Upper) {
  const char* digits = Upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  for (char c : Bytes) {
    out += digits[static_cast<uint8_t>(c) >> 4];
    out += digits[static_cast<uint8_t>(c) & 15];
  }
  return out;
}

std::optional<int64_t> Count(const std::string& Text, int64_t Min, int64_t Max) {
  size_t at = Text.starts_with('-') ? 1 : 0;
  if (at == Text.size()) return std::nullopt;
  __int128 v = 0;
  for (; at < Text.size(); ++at) {
    if (Text[at] < '0' || Text[at] > '9') return std::nullopt;
    v = v * 10 + (Text[at] - '0');
    if (v > (static_cast<__int128>(1) << 64)) return std::nullopt;
  }
  if (Text.starts_with('-')) v = -v;
  if (v < Min || v > Max) return std::nullopt;
  return static_cast<int64_t>(v);
}

// Command lines of arbitrary words (no NUL: argv cannot hold one).
void CommandLines(FuzzedDataProvider& In) {
  std::vector<std::string> args(In.ConsumeIntegralInRange<size_t>(0, 8));
  for (std::string& a : args) {
    a = In.ConsumeRandomLengthString(24);
    a = a.substr(0, a.find('\0'));
  }
  const std::optional<TCommandLine> line = Parse(args);
  if (!line) return;
  std::vector<std::string> canonical;
  for (const TOptionSpec& o : CipherOptionList()) {
    for (const std::string& v : line->Values(o.Name)) {
      canonical.push_back("--" + o.Name + (o.TakesValue ? "=" + v : ""));
    }
  }
  canonical.push_back("--");
  for (const std::string& operand : line->Operands()) canonical.push_back(operand);
  const std::optional<TCommandLine> again = Parse(canonical);
  if (!again || !SameLine(*line, *again)) __builtin_trap();

  // A key file may name anything (a device that never ends): only the other sources are read.
  if (line->Has("key-file")) return;
  unsetenv("MORVANE_KEY");
  try {
    const std::string key = ReadKey(*line);
    if (key.empty()) __builtin_trap();
    if (auto text = line->Value("key"); text && key != *text) __builtin_trap();
    if (auto hex = line->Value("key-hex"); hex && key != Hex(*hex)) __builtin_trap();
  } catch (const EUsageError&) {
  }
}

// One key given through one source, or through two.
void KeySources(FuzzedDataProvider& In) {
  static const std::string keyFile = fuzz::ScratchPath(".key");
  const int source = In.ConsumeIntegralInRange<int>(0, 6);
  const int second = In.ConsumeIntegralInRange<int>(-1, 6);
  std::string key = In.ConsumeRandomLengthString(100);
  const std::string cText = key.substr(0, key.find('\0'));  // what argv and the environment hold
  unsetenv("MORVANE_KEY");
  std::vector<std::string> args;
  auto give = [&](int how) {
    switch (how) {
      case 0:
        args.insert(args.end(), {"--key", cText});
        break;
      case 1:  // "-k" alone would take the next word as its value
        args.push_back(cText.empty() ? "--key=" : "-k" + cText);
        break;
      case 2:
        args.push_back("--key=" + cText);
        break;
      case 3:
        args.insert(args.end(), {"--key-hex", ToHex(key, In.ConsumeBool())});
        break;
      case 4:
        fuzz::WriteFile(keyFile, key);
        args.insert(args.end(), {"--key-file", keyFile});
        break;
      case 5:
        args.insert(args.end(), {"-k", cText});
        break;
      default:
        setenv("MORVANE_KEY", cText.c_str(), 1);
        break;
    }
  };
  give(source);
  if (second >= 0) give(second);
  const std::optional<TCommandLine> line = Parse(args);
  if (!line) __builtin_trap();  // every form above is a valid command line
  std::optional<std::string> got;
  try {
    got = ReadKey(*line);
  } catch (const EUsageError&) {
  }
  // Two different options are refused (one option given twice counts once); the environment
  // only stands in when the command line gives no key.
  auto option = [](int how) { return how == 3 ? 1 : how == 4 ? 2 : how == 6 ? 3 : 0; };
  const bool twoGiven =
      second >= 0 && source != 6 && second != 6 && option(source) != option(second);
  const int used = source != 6 ? source : second >= 0 ? second : 6;
  const std::string expected = used == 3 || used == 4 ? key : cText;
  if (twoGiven || expected.empty()) {
    if (got) __builtin_trap();
  } else if (!got || *got != expected) {
    __builtin_trap();
  }
  unsetenv("MORVANE_KEY");
}

void Counts(FuzzedDataProvider& In) {
  const auto min = In.ConsumeIntegral<int64_t>();
  const auto max = In.ConsumeIntegral<int64_t>();
  const std::string text = In.ConsumeRandomLengthString(30);
  std::optional<int64_t> got;
  try {
    got = ParseCount(text, "--count", min, max);
  } catch (const EUsageError&) {
  }
  if (got != Count(text, min, max)) __builtin_trap();
  std::optional<std::string> bytes;
  try {
    bytes = ParseHex(text, "--iv");
  } catch (const EUsageError&) {
  }
  if (bytes != Hex(text)) __builtin_trap();
}

void SeedFiles(FuzzedDataProvider& In) {
  static const std::string seedFile = fuzz::ScratchPath(".seed");
  const auto seedSize = In.ConsumeIntegralInRange<int32_t>(0, 2048);
  const std::string bytes = In.ConsumeRemainingBytesAsString();
  fuzz::WriteFile(seedFile, bytes);
  if (ReadSeedFile(seedFile, seedSize) != bytes.substr(0, static_cast<size_t>(seedSize))) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      CommandLines(in);
      break;
    case 1:
      KeySources(in);
      break;
    case 2:
      Counts(in);
      break;
    default:
      SeedFiles(in);
      break;
  }
  return 0;
}
