// 32-bit draws per second (items_per_second): our generators through the base-class reference
// (Word32Base) and through the concrete type (Word32), beside std::mt19937 and, when installed,
// Crypto++'s MersenneTwister (through its RandomNumberGenerator base and its own type).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"

#ifdef MORVANE_HAVE_CRYPTOPP
#include <crypto++/mersenne.h>
#endif

using namespace morvane;

namespace {

// Words drawn per benchmark iteration; their xor is kept so no draw can be dropped.
constexpr int kBatch = 1024;

template <class G>
void Seed(G& gen) {
  for (int32_t i = 0; i < gen.SeedSize(); ++i) gen.SetSeed(i, static_cast<uint8_t>(i * 37 + 11));
  gen.Init();
}

template <class G>
void OursBase(benchmark::State& state) {
  G concrete;
  Seed(concrete);
  TVRXRandomGenerator* gen = &concrete;
  benchmark::DoNotOptimize(gen);  // the caller knows only the base class
  uint32_t acc = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      uint32_t v;
      gen->GetWord32(v);
      acc ^= v;
    }
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

template <class G>
void OursConcrete(benchmark::State& state) {
  G gen;
  Seed(gen);
  uint32_t acc = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      uint32_t v;
      gen.GetWord32(v);
      acc ^= v;
    }
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void StdConcrete(benchmark::State& state) {
  std::mt19937 gen(5489u);
  uint32_t acc = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) acc ^= static_cast<uint32_t>(gen());
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

#ifdef MORVANE_HAVE_CRYPTOPP
void CryptoppBase(benchmark::State& state) {
  CryptoPP::MT19937ar concrete;
  CryptoPP::RandomNumberGenerator* gen = &concrete;
  benchmark::DoNotOptimize(gen);
  uint32_t acc = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) acc ^= gen->GenerateWord32();
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void CryptoppConcrete(benchmark::State& state) {
  CryptoPP::MT19937ar gen;
  uint32_t acc = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) acc ^= gen.GenerateWord32();
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
#endif

}  // namespace

BENCHMARK(OursBase<TVRXISAAC>)->Name("Random/Word32Base/isaac");
BENCHMARK(OursBase<TVRXMT19937B>)->Name("Random/Word32Base/mt19937b");
#ifdef MORVANE_HAVE_CRYPTOPP
BENCHMARK(CryptoppBase)->Name("Random/Word32Base/cryptopp");
#endif
BENCHMARK(OursConcrete<TVRXISAAC>)->Name("Random/Word32/isaac");
BENCHMARK(OursConcrete<TVRXMT19937B>)->Name("Random/Word32/mt19937b");
BENCHMARK(StdConcrete)->Name("Random/Word32/std");
#ifdef MORVANE_HAVE_CRYPTOPP
BENCHMARK(CryptoppConcrete)->Name("Random/Word32/cryptopp");
#endif

BENCHMARK_MAIN();
