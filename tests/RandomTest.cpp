// The generator base and both generators: the published vectors, the draw widths, seeding and
// re-initialisation, and the Mersenne Twister against the standard library's engine.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <memory>
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

template <class G>
void RunVectorFile(const std::string& file) {
  int records = 0;
  for (const auto& r : test::LoadVectors(file)) {
    SCOPED_TRACE(r.Where());
    ++records;
    const std::string seed = r.Bytes("Seed");
    const bool zeroSeed = seed.find_first_not_of('\0') == std::string::npos;
    if (r.Has("Count")) {
      std::vector<uint32_t> expected;
      for (const auto& line : r.GetAll("Words")) {
        const auto w = HexWords(line);
        expected.insert(expected.end(), w.begin(), w.end());
      }
      ASSERT_EQ(expected.size(), std::stoul(r.Get("Count")));
      G gen;
      LoadSeed(gen, seed);
      EXPECT_EQ(Draw(gen, expected.size()), expected);
      if (zeroSeed) {
        G fresh;  // the constructor's own Init, no seed set
        EXPECT_EQ(Draw(fresh, expected.size()), expected);
      }
    }
    if (r.Has("Calls")) {
      G gen;
      LoadSeed(gen, seed);
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
  gen.Init();  // the base body does nothing
  EXPECT_EQ(gen.next, 10u);
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
// is its next 624 outputs read backwards.
TEST(MT19937BTest, BlocksAreTheStandardEngineReversed) {
  for (uint64_t trial = 0; trial < 4; ++trial) {
    SCOPED_TRACE(trial);
    std::string seed = RandomBytes(624, 100 + trial);
    if (trial == 3) seed.assign(624, '\0'), seed[623] = 1;  // one bit, in the last word only
    std::ostringstream state;
    for (unsigned char c : seed) state << static_cast<unsigned>(c) << ' ';
    state << 624;  // the engine's index
    std::mt19937 ref;
    std::istringstream(state.str()) >> ref;
    TVRXMT19937B gen;
    LoadSeed(gen, seed);
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
