// The chaining-mode engine against a byte-level model of the mode table, for a 2-word block whose
// atoms take big-endian words and a 4-word block whose atoms take little-endian words (so that
// chaining values from earlier blocks enter with each 4-byte group reversed).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "morvane/cipher/VRXBlockModes.h"
#include "support/Vectors.h"

using namespace morvane;
using morvane::test::RandomBytes;

namespace {

// A keyed, invertible toy block function; any bijection will do, as long as it mixes words so
// that a wrong word order or form shows.
template <size_t W, bool LittleEndian, bool Multi>
struct TToyCore {
  static constexpr size_t kWords = W;
  static constexpr bool kLittleEndianForm = LittleEndian;
  uint32_t key = 0x9E3779B9;
  mutable int multiCalls = 0;

  void Encrypt(uint32_t* x) const noexcept {
    for (int round = 0; round < 3; ++round) {
      for (size_t j = 0; j < W; ++j) {
        x[j] = std::rotl(x[j] + key + static_cast<uint32_t>(round), 7) ^ x[(j + 1) % W];
      }
    }
  }
  void Decrypt(uint32_t* x) const noexcept {
    for (int round = 2; round >= 0; --round) {
      for (size_t j = W; j-- > 0;) {
        x[j] = std::rotr(x[j] ^ x[(j + 1) % W], 7) - key - static_cast<uint32_t>(round);
      }
    }
  }
  void EncryptBlocks(uint32_t* x, size_t n) const noexcept requires Multi {
    ++multiCalls;
    for (size_t i = 0; i < n; ++i) Encrypt(x + i * W);
  }
  void DecryptBlocks(uint32_t* x, size_t n) const noexcept requires Multi {
    ++multiCalls;
    for (size_t i = 0; i < n; ++i) Decrypt(x + i * W);
  }
};

// The mode table on bytes, written block by block from its definition.
template <class Core>
class TModel {
 public:
  static constexpr size_t B = 4 * Core::kWords;
  using Modes = detail::TBlockModes<Core>;

  explicit TModel(const Core& c) : core(c) {}

  std::string E(std::string block) const {
    uint32_t x[Core::kWords];
    Modes::Load(reinterpret_cast<const uint8_t*>(block.data()), x);
    core.Encrypt(x);
    Modes::Store(reinterpret_cast<uint8_t*>(block.data()), x);
    return block;
  }
  std::string D(std::string block) const {
    uint32_t x[Core::kWords];
    Modes::Load(reinterpret_cast<const uint8_t*>(block.data()), x);
    core.Decrypt(x);
    Modes::Store(reinterpret_cast<uint8_t*>(block.data()), x);
    return block;
  }
  // A chaining value from an earlier block: its stored-form words read as cipher-form words.
  static std::string R(std::string block) {
    if (Core::kLittleEndianForm) {
      for (size_t i = 0; i < block.size(); i += 4)
        std::swap(block[i], block[i + 3]), std::swap(block[i + 1], block[i + 2]);
    }
    return block;
  }
  static std::string Xor(std::string a, const std::string& b) {
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>(a[i] ^ b[i]);
    return a;
  }

  // Returns the output; Iv is the IV bytes (the IV words in cipher form, stored as the form
  // stores a block) and becomes the IV after the run.
  std::string Run(TCipherMode mode, bool encrypting, const std::string& in, std::string& iv) const {
    std::string out, prevIn, prevOut, ofb = iv;
    for (size_t i = 0; i < in.size(); i += B) {
      const std::string blk = in.substr(i, B);
      std::string res;
      const bool first = i == 0;
      switch (mode) {
        case cipherECB:
          res = encrypting ? E(blk) : D(blk);
          break;
        case cipherCBC: {
          // encrypting: prevOut is C(i-1); decrypting: prevIn is C(i-1)
          const std::string chain = first ? iv : R(encrypting ? prevOut : prevIn);
          res = encrypting ? E(Xor(blk, chain)) : Xor(D(blk), chain);
          break;
        }
        case cipherPCBC: {
          const std::string chain = first ? iv : Xor(R(prevIn), R(prevOut));
          res = encrypting ? E(Xor(blk, chain)) : Xor(D(blk), chain);
          break;
        }
        case cipherCFB: {
          iv = E(first ? iv : R(encrypting ? prevOut : prevIn));
          res = Xor(blk, iv);
          break;
        }
        case cipherOFB:
          ofb = E(ofb);
          res = Xor(blk, ofb);
          break;
      }
      prevIn = blk;
      prevOut = res;
      out += res;
    }
    return out;
  }

  const Core& core;
};

template <class Core>
void CheckAgainstModel(uint64_t seed) {
  using Modes = detail::TBlockModes<Core>;
  constexpr size_t B = Modes::kBlockBytes;
  Core core;
  core.key = static_cast<uint32_t>(seed * 0x2545F491u);
  TModel<Core> model(core);
  std::mt19937_64 gen(seed);
  for (TCipherMode mode : {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC}) {
    for (size_t blocks : {1u, 2u, 7u, 8u, 9u, 17u, 40u}) {
      const std::string plain = RandomBytes(blocks * B, gen());
      typename Modes::TRegisters regs;
      for (auto& w : regs.FIV) w = static_cast<uint32_t>(gen());
      regs.FOFBRegister.fill(0xA5A5A5A5);  // stale from an earlier run: OFB must not use it
      std::string iv(B, '\0');
      Modes::Store(reinterpret_cast<uint8_t*>(iv.data()), regs.FIV.data());
      std::string modelIv = iv;
      const std::string expected = model.Run(mode, true, plain, modelIv);

      // The run split into calls of random sizes, as chunks split it; in place half the time.
      auto run = [&](bool encrypting, const std::string& in, typename Modes::TRegisters& r) {
        r.StartRun();
        std::string out(in.size(), '\0');
        const bool inPlace = gen() & 1;
        if (inPlace) out = in;
        size_t done = 0;
        while (done < blocks) {
          const size_t n = std::min<size_t>(blocks - done, 1 + gen() % 11);
          auto* dst = reinterpret_cast<uint8_t*>(out.data()) + done * B;
          const auto* src = inPlace ? dst : reinterpret_cast<const uint8_t*>(in.data()) + done * B;
          if (encrypting) {
            Modes::EncryptBlocks(core, r, mode, src, dst, n);
          } else {
            Modes::DecryptBlocks(core, r, mode, src, dst, n);
          }
          done += n;
        }
        return out;
      };
      auto encRegs = regs;
      const std::string cipher = run(true, plain, encRegs);
      ASSERT_EQ(cipher, expected) << "mode " << int(mode) << " blocks " << blocks;
      auto decRegs = regs;
      ASSERT_EQ(run(false, cipher, decRegs), plain) << "mode " << int(mode) << " blocks " << blocks;

      // The IV after the run: CFB leaves its last keystream block, the others the IV.
      std::string ivAfter(B, '\0');
      Modes::Store(reinterpret_cast<uint8_t*>(ivAfter.data()), encRegs.FIV.data());
      EXPECT_EQ(ivAfter, modelIv) << "mode " << int(mode);
      EXPECT_EQ(decRegs.FIV, encRegs.FIV) << "mode " << int(mode);
      // The previous blocks are the last ones, in stored form.
      EXPECT_EQ(
          encRegs.FPrevPlain,
          Modes::LoadStored(reinterpret_cast<const uint8_t*>(plain.data() + (blocks - 1) * B)));
      EXPECT_EQ(
          encRegs.FPrevCipher,
          Modes::LoadStored(reinterpret_cast<const uint8_t*>(cipher.data() + (blocks - 1) * B)));
      EXPECT_EQ(encRegs.FBlockCount, static_cast<int32_t>(blocks));
    }
  }
}

}  // namespace

TEST(BlockModes, TwoWordBigEndianBlocksFollowTheModeTable) {
  CheckAgainstModel<TToyCore<2, false, true>>(1);
  CheckAgainstModel<TToyCore<2, false, false>>(2);
}

TEST(BlockModes, FourWordLittleEndianBlocksChainInStoredForm) {
  CheckAgainstModel<TToyCore<4, true, true>>(3);
  CheckAgainstModel<TToyCore<4, true, false>>(4);
}

TEST(BlockModes, ParallelModesUseTheMultiBlockCore) {
  using Core = TToyCore<2, false, true>;
  using Modes = detail::TBlockModes<Core>;
  Core core;
  const std::string data = RandomBytes(16 * 8, 5);
  std::string out(data.size(), '\0');
  auto* dst = reinterpret_cast<uint8_t*>(out.data());
  const auto* src = reinterpret_cast<const uint8_t*>(data.data());
  for (TCipherMode mode : {cipherECB, cipherCBC, cipherCFB, cipherPCBC}) {
    Modes::TRegisters r;
    core.multiCalls = 0;
    Modes::DecryptBlocks(core, r, mode, src, dst, 16);
    EXPECT_EQ(core.multiCalls, 2) << int(mode);  // two batches of 8 blocks
  }
  Modes::TRegisters r;
  core.multiCalls = 0;
  Modes::EncryptBlocks(core, r, cipherCBC, src, dst, 16);
  EXPECT_EQ(core.multiCalls, 0);  // serial: one block at a time
}

// The per-block operations agree with the bulk run when the caller advances the registers.
TEST(BlockModes, PerBlockOperationsMatchBulkRuns) {
  using Core = TToyCore<4, true, false>;
  using Modes = detail::TBlockModes<Core>;
  Core core;
  const std::string plain = RandomBytes(5 * 16, 6);
  for (TCipherMode mode : {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC}) {
    Modes::TRegisters bulk, single;
    bulk.FIV = single.FIV = {1, 2, 3, 4};
    std::string expected(plain.size(), '\0');
    Modes::EncryptBlocks(core, bulk, mode, reinterpret_cast<const uint8_t*>(plain.data()),
                         reinterpret_cast<uint8_t*>(expected.data()), 5);
    std::string got(plain.size(), '\0');
    for (size_t i = 0; i < 5; ++i) {
      const auto* p = reinterpret_cast<const uint8_t*>(plain.data()) + 16 * i;
      uint32_t x[4];
      Modes::Load(p, x);
      switch (mode) {
        case cipherECB:
          core.Encrypt(x);
          break;
        case cipherCBC:
          Modes::EncryptCBC(core, single, x);
          break;
        case cipherCFB:
          Modes::EncryptCFB(core, single, x);
          break;
        case cipherOFB:
          Modes::EncryptOFB(core, single, x);
          break;
        case cipherPCBC:
          Modes::EncryptPCBC(core, single, x);
          break;
      }
      auto* c = reinterpret_cast<uint8_t*>(got.data()) + 16 * i;
      Modes::Store(c, x);
      single.FPrevPlain = Modes::LoadStored(p);
      single.FPrevCipher = Modes::LoadStored(c);
      ++single.FBlockCount;
    }
    EXPECT_EQ(got, expected) << int(mode);
    EXPECT_EQ(single.FIV, bulk.FIV) << int(mode);
  }
}
