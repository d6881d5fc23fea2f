// Draws random numbers with the generators: seeded from a std::seed_seq, used with the
// standard distributions and algorithms.
//
//   random_draws [--system]
//
// Without --system the seed is fixed, so the output is the same on every run (a simulation that
// must be repeatable); with --system it comes from std::random_device (the operating system).
// Neither generator is meant for keys or passwords.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"

int main(int argc, char** argv) {
  const bool system = argc > 1 && std::strcmp(argv[1], "--system") == 0;

  morvane::TVRXMT19937B mt;
  if (system) {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
    mt.Seed(seq);  // all 624 seed words, then Init
  } else {
    std::seed_seq seq{2024u, 12u, 8u};
    mt.Seed(seq);
  }

  // Ten rolls of a die.
  std::uniform_int_distribution<int> die(1, 6);
  std::printf("dice:");
  for (int i = 0; i < 10; ++i) std::printf(" %d", die(mt));
  std::printf("\n");

  // A shuffled deck of 10 cards.
  std::vector<int> deck(10);
  std::iota(deck.begin(), deck.end(), 1);
  std::shuffle(deck.begin(), deck.end(), mt);
  std::printf("deck:");
  for (int card : deck) std::printf(" %d", card);
  std::printf("\n");

  // Real numbers, and 64-bit draws through the adapter.
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::printf("uniform: %.6f %.6f\n", unit(mt), unit(mt));
  morvane::TRandomBits64 bits(mt);
  std::uniform_int_distribution<uint64_t> big(0, 1000000000000ULL);
  std::printf("up to 10^12: %llu\n", static_cast<unsigned long long>(big(bits)));
  std::printf("64-bit word: %016llx\n", static_cast<unsigned long long>(mt.GetWord64()));

  // ISAAC the same way, seeded with whole words of your own.
  morvane::TVRXISAAC isaac;
  std::vector<uint32_t> words(static_cast<size_t>(isaac.SeedSize()));
  for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint32_t>(i * 2654435761u);
  isaac.SetSeedWords(words);
  const uint32_t first = isaac();
  const uint32_t second = isaac();
  std::printf("isaac: %08x %08x\n", first, second);
  return 0;
}
