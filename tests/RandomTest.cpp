// The generator base and both generators: the published vectors, the draw widths, seeding and
// re-initialisation, and the Mersenne Twister against the standard library's engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <vector>

#include "morvane/framework/Exceptions.h"
#include "morvane/random/VRXIsaac.h"
#include "morvane/random/VRXMT19937B.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::HexWords;
using morvane::test::RandomBytes;

namespace {

// A generator that draws 1, 2, 3, ...: shows how the base builds the wide draws.
class TCountingGenerator : public TVRXRandomGenerator {
 public:
  uint8_t GetSeed(int32_t) const override { return 0; }
  void SetSeed(int32_t, uint8_t) override {}
  uint32_t GetSeedWord(int32_t) const override { return 0; }
  void SetSeedWord(int32_t, uint32_t) override {}
  void GetWord32(uint32_t& Value) override { Value = ++next; }
  int32_t SeedSize() const override { return 0; }
  uint32_t next = 0;
};

template <class G>
void LoadSeed(G& gen, const std::string& seed) {
  ASSERT_EQ(seed.size(), static_cast<size_t>(gen.SeedSize()));
  for (int32_t i = 0; i < gen.SeedSize(); ++i)
    gen.SetSeed(i, static_cast<uint8_t>(seed[static_cast<size_t>(i)]));
  gen.Init();
}

// Draws alternately through the base class and the concrete type's inline path, so that a
// difference between the two (or a block count they disagree on) shows in the sequence.
template <class G>
std::vector<uint32_t> Draw(G& gen, size_t count) {
  TVRXRandomGenerator& base = gen;
  std::vector<uint32_t> out(count);
  for (size_t i = 0; i < count; ++i) {
    if (i % 2 == 0)
      base.GetWord32(out[i]);
    else
      out[i] = gen.NextWord32();
  }
  return out;
}

// Replays a "Calls" record: each call's outputs in parameter order.
std::vector<uint32_t> Replay(TVRXRandomGenerator& gen, const std::string& calls) {
  std::vector<uint32_t> out;
  std::istringstream in(calls);
  int width;
  while (in >> width) {
    if (width == 32) {
      uint32_t v;
      gen.GetWord32(v);
      out.push_back(v);
    } else if (width == 64) {
      uint32_t v1, v2;
      gen.GetWord64(v1, v2);
      out.insert(out.end(), {v1, v2});
    } else if (width == 128) {
      std::array<uint32_t, 4> v{};
      gen.GetWord128(v);
      out.insert(out.end(), v.begin(), v.end());
    } else {
      ADD_FAILURE() << "unknown draw width " << width;
    }
  }
  return out;
}

// The seed of a record: hex bytes ("Seed", one per word, through SetSeed) or whole words
// ("SeedWords" lines, through SetSeedWords).
template <class G>
void LoadRecordSeed(G& gen, const test::VectorRecord& r) {
  if (r.Has("SeedWords")) {
    std::vector<uint32_t> words;
    for (const auto& line : r.GetAll("SeedWords")) {
      const auto w = HexWords(line);
      words.insert(words.end(), w.begin(), w.end());
    }
    gen.SetSeedWords(words);
  } else {
    LoadSeed(gen, r.Bytes("Seed"));
  }
}

template <class G>
void RunVectorFile(const std::string& file) {
  int records = 0;
  for (const auto& r : test::LoadVectors(file)) {
    SCOPED_TRACE(r.Where());
    ++records;
    const std::string seed = r.Has("Seed") ? r.Bytes("Seed") : std::string(1, '\1');
    const bool zeroSeed = seed.find_first_not_of('\0') == std::string::npos;
    if (r.Has("Count")) {
      std::vector<uint32_t> expected;
      for (const auto& line : r.GetAll("Words")) {
        const auto w = HexWords(line);
        expected.insert(expected.end(), w.begin(), w.end());
      }
      ASSERT_EQ(expected.size(), std::stoul(r.Get("Count")));
      G gen;
      LoadRecordSeed(gen, r);
      EXPECT_EQ(Draw(gen, expected.size()), expected);
      if (zeroSeed) {
        G fresh;  // the constructor's own Init, no seed set
        EXPECT_EQ(Draw(fresh, expected.size()), expected);
      }
    }
    if (r.Has("Calls")) {
      G gen;
      LoadRecordSeed(gen, r);
      EXPECT_EQ(Replay(gen, r.Get("Calls")), HexWords(r.Get("Values")));
    }
  }
  EXPECT_GT(records, 0);
}

template <class G>
class GeneratorTest : public ::testing::Test {};
using Generators = ::testing::Types<TVRXISAAC, TVRXMT19937B>;
TYPED_TEST_SUITE(GeneratorTest, Generators);

}  // namespace

TEST(IsaacTest, PublishedVectors) {
  RunVectorFile<TVRXISAAC>("isaac.txt");
}

TEST(MT19937BTest, PublishedVectors) {
  RunVectorFile<TVRXMT19937B>("mt19937b.txt");
}

TEST(RandomBaseTest, WideDrawsGoThroughGetWord32InOrder) {
  TCountingGenerator gen;
  uint32_t v1 = 0, v2 = 0;
  gen.GetWord64(v1, v2);
  EXPECT_EQ(v2, 1u);
  EXPECT_EQ(v1, 2u);
  std::array<uint32_t, 4> four{};
  gen.GetWord128(four);
  EXPECT_EQ(four, (std::array<uint32_t, 4>{3, 4, 5, 6}));
  uint32_t raw[6] = {};
  gen.GetWord128(raw + 1);  // by address: exactly four words written
  EXPECT_EQ(std::vector<uint32_t>(raw, raw + 6), (std::vector<uint32_t>{0, 7, 8, 9, 10, 0}));
  EXPECT_THROW(gen.GetWord128(static_cast<uint32_t*>(nullptr)), ERangeError);
  EXPECT_EQ(gen.next, 10u);
  // As one number: the first word drawn is the low half.
  EXPECT_EQ(gen.GetWord64(), uint64_t{12} << 32 | 11u);
  TRandomBits64 bits(gen);
  EXPECT_EQ(bits(), uint64_t{14} << 32 | 13u);
  EXPECT_EQ(gen(), 15u);  // the base's uniform random bit generator call
  EXPECT_EQ(gen.next, 15u);
  gen.Init();  // the base body does nothing
  EXPECT_EQ(gen.next, 15u);
}

TEST(RandomBaseTest, NamesSizesAndOwner) {
  TComponent owner;
  auto* isaac = new TVRXISAAC(&owner);
  auto* mt = new TVRXMT19937B(&owner);
  EXPECT_EQ(owner.GetComponentCount(), 2);
  EXPECT_EQ(isaac->ClassName(), "TVRXISAAC");
  EXPECT_EQ(mt->ClassName(), "TVRXMT19937B");
  EXPECT_EQ(TCountingGenerator().ClassName(), "TVRXRandomGenerator");
  EXPECT_EQ(isaac->SeedSize(), 256);
  EXPECT_EQ(mt->SeedSize(), 624);
}

TYPED_TEST(GeneratorTest, SetSeedWithoutInitChangesNothing) {
  TypeParam ref, gen;
  std::string seed = RandomBytes(static_cast<size_t>(ref.SeedSize()), 11);
  LoadSeed(ref, seed);
  LoadSeed(gen, seed);
  const size_t n = 3 * static_cast<size_t>(ref.SeedSize());  // past two refills
  const auto expected = Draw(ref, n);
  for (int32_t i = 0; i < gen.SeedSize(); ++i) gen.SetSeed(i, static_cast<uint8_t>(~seed[i]));
  EXPECT_EQ(Draw(gen, n), expected);
  for (int32_t i = 0; i < gen.SeedSize(); ++i)
    ASSERT_EQ(gen.GetSeed(i), static_cast<uint8_t>(~seed[i])) << i;
  // The new seed takes effect at Init: a different sequence from then on.
  gen.Init();
  EXPECT_NE(Draw(gen, 16), std::vector<uint32_t>(expected.begin(), expected.begin() + 16));
}

TYPED_TEST(GeneratorTest, InitRestartsTheSequence) {
  TypeParam gen;
  const int32_t size = gen.SeedSize();
  for (int32_t i = 0; i < size; i += 3) gen.SetSeed(i, static_cast<uint8_t>(i * 7 + 1));
  for (int32_t i = 0; i < size; ++i) ASSERT_EQ(gen.GetSeed(i), i % 3 ? 0 : (i * 7 + 1) & 0xFF);
  gen.Init();
  const size_t n = 2 * static_cast<size_t>(size) + 5;
  const auto first = Draw(gen, n);
  gen.Init();  // after more than two blocks
  EXPECT_EQ(Draw(gen, n), first);
  Draw(gen, 17);
  gen.Init();  // in the middle of a block: the rest of it is discarded
  EXPECT_EQ(Draw(gen, n), first);
  gen.Init();
  gen.Init();  // twice in a row
  EXPECT_EQ(Draw(gen, n), first);
}

// A bad index raises the range error naming it and touches neither the seed nor the sequence.
TYPED_TEST(GeneratorTest, SeedIndexOutsideTheSeedIsRejected) {
  TypeParam ref, gen;
  std::string seed = RandomBytes(static_cast<size_t>(gen.SeedSize()), 23);
  LoadSeed(ref, seed);
  LoadSeed(gen, seed);
  const auto expected = Draw(ref, 40);
  EXPECT_EQ(Draw(gen, 20), std::vector<uint32_t>(expected.begin(), expected.begin() + 20));
  for (int32_t bad : {-1, gen.SeedSize(), gen.SeedSize() + 1, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(bad);
    try {
      gen.SetSeed(bad, 0xAB);
      ADD_FAILURE() << "SetSeed accepted index " << bad;
    } catch (const ERangeError& e) {
      EXPECT_NE(e.Message().find(std::to_string(bad)), std::string::npos) << e.Message();
    }
    EXPECT_THROW(static_cast<void>(gen.GetSeed(bad)), ERangeError);
  }
  for (int32_t i = 0; i < gen.SeedSize(); ++i)
    ASSERT_EQ(gen.GetSeed(i), static_cast<uint8_t>(seed[i])) << i;
  EXPECT_EQ(Draw(gen, 20), std::vector<uint32_t>(expected.begin() + 20, expected.end()));
}

// The standard library's engine, loaded with the seed words as its state through its text form,
// twists on its first call as the reference code does with its index at 624: each block of ours
// is its next 624 outputs read backwards. The same holds for whole seed words, and for a
// std::seed_seq, which the engine's own seeding turns into its state words the same way.
TEST(MT19937BTest, BlocksAreTheStandardEngineReversed) {
  for (uint64_t trial = 0; trial < 7; ++trial) {
    SCOPED_TRACE(trial);
    std::vector<uint32_t> words(624);
    const std::string seed = RandomBytes(624 * 4, 100 + trial);
    for (size_t i = 0; i < 624; ++i)
      words[i] = trial < 3 ? static_cast<uint8_t>(seed[i])
                           : static_cast<uint32_t>(static_cast<uint8_t>(seed[4 * i])) << 24 |
                                 static_cast<uint32_t>(static_cast<uint8_t>(seed[4 * i + 1])) << 8 |
                                 static_cast<uint8_t>(seed[4 * i + 2]);
    if (trial == 3) std::fill(words.begin(), words.end(), 0), words[623] = 1;  // one bit, last word
    if (trial == 4) std::fill(words.begin(), words.end(), 0xFFFFFFFFu);
    std::mt19937 ref;
    TVRXMT19937B gen;
    if (trial >= 5) {
      std::seed_seq theirs{uint32_t{0xC0FFEE}, uint32_t(trial), 0xFFFFFFFFu, 7u};
      std::seed_seq ours{uint32_t{0xC0FFEE}, uint32_t(trial), 0xFFFFFFFFu, 7u};
      ref.seed(theirs);
      gen.Seed(ours);
    } else {
      std::ostringstream state;
      for (uint32_t w : words) state << w << ' ';
      state << 624;  // the engine's index
      std::istringstream(state.str()) >> ref;
      if (trial < 3) {
        for (size_t i = 0; i < 624; ++i) gen.SetSeed(static_cast<int32_t>(i), uint8_t(words[i]));
        gen.Init();
      } else {
        gen.SetSeedWords(words);
      }
    }
    const auto ours = Draw(gen, 3 * 624);
    for (size_t block = 0; block < 3; ++block) {
      std::vector<uint32_t> theirs(624);
      for (auto& w : theirs) w = static_cast<uint32_t>(ref());
      ASSERT_EQ(std::vector<uint32_t>(ours.begin() + static_cast<long>(block * 624),
                                      ours.begin() + static_cast<long>(block * 624 + 624)),
                std::vector<uint32_t>(theirs.rbegin(), theirs.rend()))
          << "block " << block;
    }
  }
}

// Whole seed words: stored whole (GetSeed sees the low byte), a whole seed of the wrong length
// is refused without a change, and a std::seed_seq fills word 0 first with what its generate
// writes.
TYPED_TEST(GeneratorTest, WholeWordSeeding) {
  TypeParam gen, ref;
  const size_t size = static_cast<size_t>(gen.SeedSize());
  std::seed_seq seq{1u, 2u, 3u, 0x80000000u};
  gen.Seed(seq);
  std::vector<uint32_t> words(size);
  std::seed_seq{1u, 2u, 3u, 0x80000000u}.generate(words.begin(), words.end());  // a twin
  for (size_t i = 0; i < size; ++i) {
    const auto idx = static_cast<int32_t>(i);
    ASSERT_EQ(gen.GetSeedWord(idx), words[i]) << i;
    ASSERT_EQ(gen.GetSeed(idx), static_cast<uint8_t>(words[i])) << i;
  }
  ref.SetSeedWords(words);
  const auto expected = Draw(ref, 2 * size + 3);
  EXPECT_EQ(Draw(gen, expected.size()), expected);
  // Wrong lengths change nothing, not even the position in the sequence.
  gen.Init();
  for (size_t bad : {size_t{0}, size - 1, size + 1}) {
    std::vector<uint32_t> other(bad, 0x5A5A5A5Au);
    EXPECT_THROW(gen.SetSeedWords(other), ERangeError) << bad;
  }
  EXPECT_THROW(gen.SetSeedWord(gen.SeedSize(), 1), ERangeError);
  EXPECT_THROW(static_cast<void>(gen.GetSeedWord(-1)), ERangeError);
  EXPECT_EQ(Draw(gen, 8), std::vector<uint32_t>(expected.begin(), expected.begin() + 8));
  // A byte set over a whole word replaces all of it.
  gen.SetSeed(0, 0xAB);
  EXPECT_EQ(gen.GetSeedWord(0), 0xABu);
}

// The generators are uniform random bit generators: the base class (virtual draw), the concrete
// class (inline draw) and the 64-bit adapter all draw the generator's own sequence, and drive the
// standard distributions and algorithms.
static_assert(std::uniform_random_bit_generator<TVRXRandomGenerator>);
static_assert(std::uniform_random_bit_generator<TVRXISAAC>);
static_assert(std::uniform_random_bit_generator<TVRXMT19937B>);
static_assert(std::uniform_random_bit_generator<TRandomBits64>);

TYPED_TEST(GeneratorTest, DrivesTheStandardDistributions) {
  std::seed_seq seq{42u, 7u};
  TypeParam gen, twin;
  gen.Seed(seq);
  twin.Seed(seq);
  TVRXRandomGenerator& base = gen;
  for (int i = 0; i < 700; ++i) {  // past a block refill of either generator
    uint32_t w;
    twin.GetWord32(w);
    ASSERT_EQ(i % 2 ? gen() : base(), w) << i;
  }
  TRandomBits64 bits(gen);
  for (int i = 0; i < 10; ++i) {
    uint32_t lo, hi;
    twin.GetWord32(lo);
    twin.GetWord32(hi);
    ASSERT_EQ(bits(), uint64_t{hi} << 32 | lo) << i;
  }
  // A die: every face, none far from a sixth (a broken min/max or a stuck word would skew it).
  std::uniform_int_distribution<int> die(1, 6);
  std::array<int, 7> faces{};
  for (int i = 0; i < 60000; ++i) ++faces[static_cast<size_t>(die(gen))];
  for (int f = 1; f <= 6; ++f) EXPECT_NEAR(faces[static_cast<size_t>(f)], 10000, 500) << f;
  // 64-bit ranges reach the high half.
  std::uniform_int_distribution<uint64_t> wide(0, (uint64_t{1} << 48) - 1);
  uint64_t orAll = 0;
  for (int i = 0; i < 64; ++i) {
    const uint64_t v = wide(bits);
    ASSERT_LT(v, uint64_t{1} << 48);
    orAll |= v;
  }
  EXPECT_EQ(orAll, (uint64_t{1} << 48) - 1);
  // shuffle: a permutation, the same for the same seed, another for another seed.
  std::vector<int> deck(52), a, b, c;
  std::iota(deck.begin(), deck.end(), 0);
  a = b = c = deck;
  TypeParam s1, s2, s3;
  std::seed_seq q1{1u}, q2{1u}, q3{2u};
  s1.Seed(q1);
  s2.Seed(q2);
  s3.Seed(q3);
  std::shuffle(a.begin(), a.end(), s1);
  std::shuffle(b.begin(), b.end(), static_cast<TVRXRandomGenerator&>(s2));
  std::shuffle(c.begin(), c.end(), s3);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(a, deck);
  std::sort(a.begin(), a.end());
  EXPECT_EQ(a, deck);
}
