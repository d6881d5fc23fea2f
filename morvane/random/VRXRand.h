// The base of the pseudo-random generator components: a seed set byte by byte (or word by word,
// or from a std::seed_seq) and made current by Init, and draws of 32, 64 and 128 bits; the wider
// draws are built here from 32-bit ones. Every generator is also a uniform random bit generator
// of 32-bit words, so it drives std::uniform_int_distribution, std::shuffle and the other
// <random> distributions directly; TRandomBits64 does the same with 64-bit draws.
//
// Seeding: the seed is SeedSize() words. SetSeed stores one byte per word (the words then never
// exceed 255, so a generator seeded that way has at most 8 bits of seed per word, and an
// MT19937B seeded byte by byte from std::random_device repeats values); SetSeedWord,
// SetSeedWords and Seed fill whole 32-bit words. For a sequence that is hard to guess, seed
// every word, e.g. from std::random_device through a std::seed_seq:
//   std::random_device rd;
//   std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
//   gen.Seed(seq);
//
// Threads: a generator changes its state at every draw; one instance must not be used by two
// threads at once, separate instances may run on separate threads.
#pragma once

#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <string>

#include "morvane/framework/Component.h"

namespace morvane {

class TVRXRandomGenerator : public TComponent {
 public:
  explicit TVRXRandomGenerator(TComponent* AOwner = nullptr);
  std::string ClassName() const override { return "TVRXRandomGenerator"; }

  // Seed bytes by zero-based index (0 .. SeedSize() - 1). An index outside raises ERangeError
  // naming it, and neither the seed nor the sequence changes. A new seed byte takes effect at
  // the next Init.
  virtual uint8_t GetSeed(int32_t Index) const = 0;
  virtual void SetSeed(int32_t Index, uint8_t Value) = 0;
  // Whole seed words by zero-based index: the same index check as SetSeed; the value is stored
  // as it is (all 32 bits) and takes effect at the next Init. GetSeed returns its low byte.
  virtual uint32_t GetSeedWord(int32_t Index) const = 0;
  virtual void SetSeedWord(int32_t Index, uint32_t Value) = 0;
  // Replaces the whole seed with Words (exactly SeedSize() of them, else ERangeError and
  // nothing changes) and runs Init.
  void SetSeedWords(std::span<const uint32_t> Words);
  // Replaces the whole seed with SeedSize() words of Seq.generate and runs Init: the seed words
  // are the words generate writes, in order (word 0 first).
  void Seed(std::seed_seq& Seq);
  // Restarts the sequence from the current seed.
  virtual void Init();
  // The next word of the sequence.
  virtual void GetWord32(uint32_t& Value) = 0;
  // Two draws through GetWord32: the first word drawn goes into Value2, the second into Value1.
  virtual void GetWord64(uint32_t& Value1, uint32_t& Value2);
  // The same two draws as one number: the first word drawn is the low half (bits 0..31), the
  // second the high half, so GetWord64() == (uint64_t(Value1) << 32 | Value2).
  uint64_t GetWord64();
  // Four draws through GetWord32, stored at positions 0, 1, 2 and 3 in the order drawn.
  virtual void GetWord128(std::span<uint32_t, 4> Values);
  // The same for four consecutive words given by their address; a null address raises
  // ERangeError and draws nothing.
  void GetWord128(uint32_t* Values);
  // The number of seed bytes (one per seed word).
  virtual int32_t SeedSize() const = 0;

  // The uniform random bit generator interface: every value of uint32_t is equally likely, one
  // GetWord32 per call. The concrete generators hide this with an inline twin of the same draw.
  using result_type = uint32_t;
  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }
  result_type operator()() {
    uint32_t v;
    GetWord32(v);
    return v;
  }

 protected:
  // Raises ERangeError naming Index unless 0 <= Index < Size.
  static void CheckSeedIndex(int32_t Index, int32_t Size);
};

// A uniform random bit generator of 64-bit words over a generator (which it does not own and
// which must outlive it): each call is one GetWord64(), the first word drawn in the low half.
class TRandomBits64 {
 public:
  using result_type = uint64_t;
  explicit TRandomBits64(TVRXRandomGenerator& Generator) : FGenerator(&Generator) {}
  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return std::numeric_limits<result_type>::max(); }
  result_type operator()() { return FGenerator->GetWord64(); }

 private:
  TVRXRandomGenerator* FGenerator;
};

}  // namespace morvane
