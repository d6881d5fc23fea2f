#include "KeySource.h"

#include <cstdlib>

#include "morvane/framework/Files.h"

namespace morvane::cli {

namespace {
constexpr int64_t kMaxKeyFile = 4096;
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
    TUntypedFile f;
    f.Reset(*file);
    // No cipher uses more than 72 key bytes; a large file is a wrong file.
    if (f.FileSize() > kMaxKeyFile)
      throw EUsageError("--key-file: \"" + *file + "\" holds " + std::to_string(f.FileSize()) +
                        " bytes, too many for a key");
    key = f.ReadToEnd();
  } else if (const char* env = std::getenv("MORVANE_KEY")) {
    key = env;
  } else {
    throw EUsageError("no key: give --key, --key-hex or --key-file, or set MORVANE_KEY");
  }
  if (key.empty()) throw EUsageError("the key is empty");
  return key;
}

}  // namespace morvane::cli
