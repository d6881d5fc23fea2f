// morvane speed: what the components give on this machine, measured through the same drivers
// the other commands use, and which code path each one runs.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "Commands.h"
#include "Interrupt.h"
#include "Program.h"
#include "ProgramIO.h"
#include "morvane/cipher/VRXCipher.h"
#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/encode/internal/VRXEncodeKernels.h"
#include "morvane/framework/Streams.h"
#include "morvane/framework/internal/CpuFeatures.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"
#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"

namespace morvane::cli {

namespace {

constexpr const char* kUsage =
    "usage: morvane speed [options] [NAME...]\n"
    "\n"
    "Measures each component on this machine: MB/s (10^6 bytes a second of processor time) of "
    "messages of\n"
    "16 bytes, 1 KiB and 1 MiB through the stream driver (the ciphers encrypt in CBC mode),\n"
    "or draws a second for the generators, and shows which code path runs.\n"
    "NAME: blowfish, des, twofish, md5, sha1, ripemd160, ripemd128, base64, uuencode,\n"
    "isaac, mt19937b (default: all).\n"
    "\n"
    "options:\n"
    "  --seconds S   time spent on each measurement (default 0.2)\n";

// Processor time of this thread: on a shared machine it tells what a component costs better
// than the wall clock does.
double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct TEntry {
  const char* Name;
  const char* What;  // what is measured
  std::function<std::string()> Path;
  // A component ready to run (for the drivers) with the input block of its runs.
  std::function<std::unique_ptr<TCustomVRXCipher>()> MakeCipher;
  int32_t Block = 0;
  std::function<std::unique_ptr<TVRXRandomGenerator>()> MakeGenerator;
};

std::string Portable() {
  return "portable";
}

// A component of type T, made ready by Setup.
template <class T>
std::function<std::unique_ptr<TCustomVRXCipher>()> Component(void (*Setup)(T&) = nullptr) {
  return [Setup] {
    auto c = std::make_unique<T>();
    if (Setup != nullptr) Setup(*c);
    return std::unique_ptr<TCustomVRXCipher>(std::move(c));
  };
}

template <class T>
void KeyForCBC(T& C) {
  C.SetKey("a speed test key");
  C.SetMode(cipherCBC);
}

template <class T>
std::function<std::unique_ptr<TVRXRandomGenerator>()> Generator(void (*Setup)(T&) = nullptr) {
  return [Setup] {
    auto g = std::make_unique<T>();
    if (Setup != nullptr) Setup(*g);
    return std::unique_ptr<TVRXRandomGenerator>(std::move(g));
  };
}

std::vector<TEntry> Entries() {
  const auto encodePath = [] { return std::string(detail::ActiveEncodeKernels().Name); };
  return {
      {"blowfish", "CBC encryption", Portable, Component<TVRXBlowFish>(KeyForCBC), 8, nullptr},
      {"des", "CBC encryption", Portable, Component<TVRXDES>(KeyForCBC), 8, nullptr},
      {"twofish", "CBC encryption", Portable, Component<TVRXTwoFish>(KeyForCBC), 16, nullptr},
      {"md5", "digest", Portable, Component<TVRXMD5>(), 64, nullptr},
      {"sha1", "digest", [] { return std::string(SHA1Implementation()); }, Component<TVRXSHA>(), 64,
       nullptr},
      {"ripemd160", "digest", Portable, Component<TVRXRIPEMD160>(), 64, nullptr},
      {"ripemd128", "digest", Portable, Component<TVRXRIPEMD128>(), 64, nullptr},
      {"base64", "encoding", encodePath, Component<TVRXBase64>(), 3, nullptr},
      {"uuencode", "encoding (data lines)", encodePath, Component<TVRXUUCode>(), 45, nullptr},
      {"isaac", "32-bit draws", Portable, nullptr, 0, Generator<TVRXISAAC>()},
      // An all-zero state would only draw zeros.
      {"mt19937b", "32-bit draws", Portable, nullptr, 0,
       Generator<TVRXMT19937B>([](TVRXMT19937B& g) {
         g.SetSeed(1, 1);
         g.Init();
       })},
  };
}

// Runs Body until Seconds have passed; returns the rate of Units per second.
double Measure(double Seconds, double UnitsPerCall, const std::function<void()>& Body) {
  Body();  // warm up: key schedule, caches, first allocations
  int64_t calls = 0;
  const double start = CpuSeconds();
  double elapsed = 0;
  int64_t batch = 1;
  do {
    for (int64_t i = 0; i < batch; ++i) Body();
    calls += batch;
    ThrowIfCancelled();
    elapsed = CpuSeconds() - start;
    if (elapsed < Seconds / 8) batch *= 2;
  } while (elapsed < Seconds);
  return static_cast<double>(calls) * UnitsPerCall / elapsed;
}

std::string Rate(double PerSecond, const char* Unit) {
  char text[48];
  if (PerSecond >= 1e9) {
    std::snprintf(text, sizeof text, "%.2f G%s", PerSecond / 1e9, Unit);
  } else if (PerSecond >= 1e6) {
    std::snprintf(text, sizeof text, "%.1f M%s", PerSecond / 1e6, Unit);
  } else {
    std::snprintf(text, sizeof text, "%.2f M%s", PerSecond / 1e6, Unit);
  }
  return text;
}

int Speed(const TCommandLine& Args) {
  double seconds = 0.2;
  if (auto s = Args.Value("seconds")) {
    char* end = nullptr;
    seconds = std::strtod(s->c_str(), &end);
    if (s->empty() || *end != '\0' || !(seconds > 0 && seconds <= 60))
      throw EUsageError("--seconds: '" + *s + "' is not a number of seconds above 0, up to 60");
  }
  const std::vector<TEntry> all = Entries();
  std::vector<const TEntry*> chosen;
  for (const auto& name : Args.Operands()) {
    const TEntry* found = nullptr;
    for (const auto& e : all)
      if (name == e.Name) found = &e;
    if (found == nullptr) {
      std::string list;
      for (const auto& e : all) list += std::string(list.empty() ? "" : ", ") + e.Name;
      throw EUsageError("no component called '" + name + "' (there are " + list + ")");
    }
    chosen.push_back(found);
  }
  if (chosen.empty())
    for (const auto& e : all) chosen.push_back(&e);

  // Each line goes out as soon as it is measured, and a reader that went away ends the run.
  char line[256];
  std::string features = "CPU features in use: ";
  features += CpuFeaturesText();
  features += '\n';
  WriteStdout(features);
  std::snprintf(line, sizeof line, "%-10s %-10s %14s %14s %14s  %s\n", "component", "path", "16 B",
                "1 KiB", "1 MiB", "measured");
  WriteStdout(line);
  for (const TEntry* e : chosen) {
    std::string cells[3];
    if (e->MakeCipher) {
      auto c = e->MakeCipher();
      c->SetBufferSize(BlocksPerChunk(e->Block));
      const size_t sizes[] = {16, 1024, 1 << 20};
      for (int k = 0; k < 3; ++k) {
        const std::string message(sizes[k], 'x');
        TMemoryStream dest;
        const double rate = Measure(seconds, static_cast<double>(sizes[k]), [&] {
          TReadOnlyMemoryStream source(message);
          dest.Clear();
          c->EncryptStream(source, dest, static_cast<int32_t>(message.size()));
        });
        cells[k] = Rate(rate, "B/s");
      }
    } else {
      auto g = e->MakeGenerator();
      constexpr int kDraws = 4096;
      uint32_t sink = 0;
      const double rate = Measure(seconds, kDraws, [&] {
        for (int i = 0; i < kDraws; ++i) {
          uint32_t w;
          g->GetWord32(w);
          sink ^= w;
        }
      });
      cells[0] = Rate(rate, " draws/s");
      cells[1].clear();
      cells[2].clear();
      if (sink == 0x5EED5EED) cells[1].push_back(' ');  // keeps the draws from being dropped
    }
    std::snprintf(line, sizeof line, "%-10s %-10s %14s %14s %14s  %s\n", e->Name, e->Path().c_str(),
                  cells[0].c_str(), cells[1].c_str(), cells[2].c_str(), e->What);
    WriteStdout(line);
  }
  return kExitOk;
}

}  // namespace

int RunSpeedCommand(int argc, char** argv) {
  return GuardedRun("speed", kUsage, argc, argv, {{"seconds", 0, true}}, Speed);
}

}  // namespace morvane::cli
