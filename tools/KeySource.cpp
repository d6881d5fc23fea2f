#include "KeySource.h"

#include <cstdlib>

#include "morvane/framework/SecureWipe.h"

#include "ProgramIO.h"

namespace morvane::cli {

namespace {
constexpr size_t kMaxKeyFile = 4096;
}  // namespace

std::vector<TOptionSpec> KeyOptions() {
  return {{"key", 'k', true}, {"key-hex", 0, true}, {"key-file", 0, true}};
}

std::string ReadKey(const TCommandLine& Args) {
  Args.Exclusive({"key", "key-hex", "key-file"});
  std::string key;
  if (auto text = Args.Value("key")) {
    key = *text;
  } else if (auto hex = Args.Value("key-hex")) {
    key = ParseHex(*hex, "--key-hex");
  } else if (auto file = Args.Value("key-file")) {
    // No cipher uses more than 72 key bytes; a longer file is a wrong file, and a device such
    // as /dev/zero would never end: read one byte past the limit at most.
    TInput in(*file);
    char buffer[kMaxKeyFile + 1];
    size_t got = 0;
    for (size_t n; got < sizeof buffer && (n = in.Read(buffer + got, sizeof buffer - got)) > 0;)
      got += n;
    key.assign(buffer, got);
    SecureWipe(buffer, sizeof buffer);
    if (got > kMaxKeyFile) {
      SecureWipe(key);
      throw EUsageError("--key-file: \"" + *file + "\" holds more than " +
                        std::to_string(kMaxKeyFile) + " bytes, too many for a key");
    }
  } else if (const char* env = std::getenv("MORVANE_KEY")) {
    key = env;
  } else {
    throw EUsageError("no key: give --key, --key-hex or --key-file, or set MORVANE_KEY");
  }
  if (key.empty()) throw EUsageError("the key is empty");
  return key;
}

std::string ReadSeedFile(const std::string& Name, int32_t SeedSize) {
  TInput in(Name);
  std::string bytes(static_cast<size_t>(SeedSize), '\0');
  size_t got = 0;
  for (size_t n; got < bytes.size() && (n = in.Read(bytes.data() + got, bytes.size() - got)) > 0;)
    got += n;
  bytes.resize(got);
  return bytes;
}

}  // namespace morvane::cli
