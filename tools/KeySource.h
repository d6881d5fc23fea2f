// The key of a cipher run, from exactly one of --key TEXT, --key-hex HEX, --key-file FILE or
// the environment variable MORVANE_KEY. The bytes are used as they are: no trimming, no line
// end removed, no encoding applied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CommandLine.h"

namespace morvane::cli {

std::vector<TOptionSpec> KeyOptions();  // --key/-k, --key-hex, --key-file

// The key bytes; a missing, doubly given or empty key is a usage error.
std::string ReadKey(const TCommandLine& Args);

// The seed bytes of --seed-file: only the first SeedSize bytes can matter, so a longer file, or a
// device such as /dev/urandom, is read no further. "-" is standard input.
std::string ReadSeedFile(const std::string& Name, int32_t SeedSize);

}  // namespace morvane::cli
