// morvane random: draws of the ISAAC and MT19937B generator components.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Commands.h"
#include "Interrupt.h"
#include "KeySource.h"
#include "Program.h"
#include "ProgramIO.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"

namespace morvane::cli {

namespace {

constexpr const char* kUsage =
    "usage: morvane random [options]\n"
    "\n"
    "Draws words from a generator component, in the generator's order.\n"
    "\n"
    "options:\n"
    "  -g, --generator NAME  isaac (default) or mt19937b\n"
    "  --seed-hex HEX        seed bytes, filling seed positions 0, 1, 2, ... (ISAAC takes\n"
    "                        up to 256, MT19937B up to 624; the rest stay zero)\n"
    "  --seed-file FILE      the seed bytes are the file's first bytes ('-': standard\n"
    "                        input); no more than the seed size is read, so a device such\n"
    "                        as /dev/urandom works. Without a seed the generator's own (all\n"
    "                        zero) seed is used.\n"
    "                        MT19937B: seed byte 0 never reaches the output (only the top\n"
    "                        bit of state word 0 counts, and a byte cannot set it); bytes 1\n"
    "                        to 623 make the state, and with all of them zero every draw is\n"
    "                        zero (a warning says so)\n"
    "  -n, --count N         number of draws (default 1)\n"
    "  --bits 32|64|128      width of a draw (default 32); a wide draw is a number whose\n"
    "                        least significant 32 bits are the first word drawn\n"
    "  --format FORMAT       hex (default; lower case, one draw a line), dec (one a line)\n"
    "                        or raw (the 32-bit words in the order drawn, each least\n"
    "                        significant byte first)\n"
    "  -o, --output FILE     write there ('-' or missing: standard output)\n"
    "  -f, --force           write --format raw to a terminal too (refused otherwise)\n";

__extension__ typedef unsigned __int128 TWord128;

// Output in large writes.
class TBufferedOut {
 public:
  explicit TBufferedOut(TOutput& Out) : FOut(Out) { FBuffer.reserve(kSize + 64); }
  void Append(std::string_view Bytes) {
    FBuffer += Bytes;
    if (FBuffer.size() >= kSize) Flush();
  }
  void Flush() {
    ThrowIfCancelled();
    FOut.Write(FBuffer);
    FBuffer.clear();
  }

 private:
  static constexpr size_t kSize = 64 * 1024;
  TOutput& FOut;
  std::string FBuffer;
};

std::string Decimal(TWord128 v) {
  char digits[40];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  } while (v != 0);
  std::string out(digits, static_cast<size_t>(n));
  return {out.rbegin(), out.rend()};
}

int Random(const TCommandLine& Args) {
  Args.MaxOperands(0);
  Args.Exclusive({"seed-hex", "seed-file"});
  const std::string name =
      ParseChoice(Args.ValueOr("generator", "isaac"), "--generator", {"isaac", "mt19937b"});
  const int64_t count = ParseCount(Args.ValueOr("count", "1"), "--count", 0, INT64_MAX / 2);
  const int bits =
      std::stoi(ParseChoice(Args.ValueOr("bits", "32"), "--bits", {"32", "64", "128"}));
  const std::string format =
      ParseChoice(Args.ValueOr("format", "hex"), "--format", {"hex", "dec", "raw"});

  std::unique_ptr<TVRXRandomGenerator> gen;
  if (name == "isaac") {
    gen = std::make_unique<TVRXISAAC>();
  } else {
    gen = std::make_unique<TVRXMT19937B>();
  }
  std::string seed;
  const bool seeded = Args.Has("seed-hex") || Args.Has("seed-file");
  if (auto hex = Args.Value("seed-hex")) seed = ParseHex(*hex, "--seed-hex");
  if (auto file = Args.Value("seed-file")) seed = ReadSeedFile(*file, gen->SeedSize());
  if (seed.size() > static_cast<size_t>(gen->SeedSize()))
    throw EUsageError("the seed holds " + std::to_string(seed.size()) + " bytes; " +
                      (name == "isaac" ? "ISAAC" : "MT19937B") + " takes at most " +
                      std::to_string(gen->SeedSize()));
  if (seeded) {
    for (size_t i = 0; i < seed.size(); ++i)
      gen->SetSeed(static_cast<int32_t>(i), static_cast<uint8_t>(seed[i]));
    gen->Init();
  }
  // MT19937B keeps only the top bit of state word 0, which a seed byte cannot set: with seed
  // bytes 1 and up all zero the state is zero and so is every draw.
  if (name == "mt19937b" &&
      (seed.size() < 2 || seed.find_first_not_of('\0', 1) == std::string::npos))
    PrintError(
        "warning: MT19937B draws only zeros from this seed: seed byte 0 never reaches the "
        "output, and bytes 1 to 623 are all zero");

  TOutput out(Args.ValueOr("output", "-"), false);
  if (format == "raw") CheckBinaryOutput(out.IsTerminal(), Args, "raw words");
  TBufferedOut sink(out);
  char text[48];
  for (int64_t i = 0; i < count; ++i) {
    uint32_t w[4] = {};
    TWord128 value = 0;
    if (bits == 32) {
      gen->GetWord32(w[0]);
      value = w[0];
    } else if (bits == 64) {
      gen->GetWord64(w[1], w[0]);  // the first word drawn goes to the second parameter
      value = TWord128{w[1]} << 32 | w[0];
    } else {
      gen->GetWord128(w);
      value = TWord128{w[3]} << 96 | TWord128{w[2]} << 64 | TWord128{w[1]} << 32 | w[0];
    }
    const int words = bits / 32;
    if (format == "raw") {
      for (int k = 0; k < words; ++k) {
        for (int b = 0; b < 4; ++b) text[4 * k + b] = static_cast<char>(w[k] >> (8 * b));
      }
      sink.Append(std::string_view(text, static_cast<size_t>(4 * words)));
    } else if (format == "hex") {
      int n = 0;
      for (int k = words - 1; k >= 0; --k)
        n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%08x", w[k]);
      text[n++] = '\n';
      sink.Append(std::string_view(text, static_cast<size_t>(n)));
    } else {
      sink.Append(Decimal(value) + "\n");
    }
  }
  sink.Flush();
  out.Commit();
  return kExitOk;
}

}  // namespace

int RunRandomCommand(int argc, char** argv) {
  std::vector<TOptionSpec> optionList = {{"generator", 'g', true}, {"seed-hex", 0, true},
                                         {"seed-file", 0, true},   {"count", 'n', true},
                                         {"bits", 0, true},        {"format", 0, true},
                                         {"output", 'o', true},    {"force", 'f', false}};
  return GuardedRun("random", kUsage, argc, argv, std::move(optionList), Random);
}

}  // namespace morvane::cli
