// The Twofish key-schedule tools, the Twofish block core and the Twofish component: field
// arithmetic against a plain GF(2^8) multiplication, published and reduced-round vectors, the
// component records of the vector file, key lengths, round counts, weak keys, the stored and
// cipher forms in the modes and round trips over chunk boundaries; compared with nettle when it
// is installed.
#include <gtest/gtest.h>

#include <algorithm>

#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/ciphers/internal/TwoFishCore.h"
#include "support/CipherRecords.h"
#include "support/Vectors.h"

#ifdef MORVANE_HAVE_NETTLE
#include <nettle/twofish.h>
#endif

using namespace morvane;
using morvane::test::LoadVectors;
using morvane::test::RandomBytes;
using morvane::test::ToHex;

namespace {

constexpr TCipherMode kModes[] = {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC};

// Multiplication in GF(2^8) modulo the polynomial Poly, bit by bit.
uint32_t GfMul(uint32_t a, uint32_t b, uint32_t Poly) {
  uint32_t r = 0;
  for (; b != 0; b >>= 1) {
    if (b & 1) r ^= a;
    a <<= 1;
    if (a & 0x100) a ^= Poly;
  }
  return r;
}

std::string Body(const std::string& encrypted) {
  return encrypted.substr(20);
}

// The cipher key as the core takes it, from a key of 16 to 32 bytes.
detail::TTwoFishKey CoreKey(const std::string& key) {
  uint32_t words[9];
  const int k = ParseKey(static_cast<int32_t>(8 * key.size()), key, words) / 8;
  uint32_t sbox[4] = {};
  for (int i = 0; i < k; ++i) sbox[k - 1 - i] = RS_MDS_Encode(words[2 * i], words[2 * i + 1]);
  detail::TTwoFishKey out;
  detail::TwoFishKeySchedule(words, sbox, k, out);
  return out;
}

// Twofish of 16 bytes under a core key, in the paper's byte order.
std::string E(const detail::TTwoFishKey& k, const std::string& block, int rounds = 16) {
  uint32_t x[4];
  for (int j = 0; j < 4; ++j) x[j] = LoadLE32(block.data() + 4 * j);
  detail::TwoFishEncrypt(k, rounds, x);
  std::string out(16, '\0');
  for (int j = 0; j < 4; ++j) StoreLE32(out.data() + 4 * j, x[j]);
  return out;
}

// R(X): each 4-byte group reversed.
std::string Reversed(std::string block) {
  for (size_t i = 0; i < block.size(); i += 4) std::reverse(&block[i], &block[i] + 4);
  return block;
}

std::string Xor(std::string a, const std::string& b) {
  for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>(a[i] ^ b[i]);
  return a;
}

}  // namespace

// ---- Tools

TEST(TwoFishTools, FieldRoutinesAreFieldProducts) {
  static const uint8_t kMDS[4][4] = {{0x01, 0xEF, 0x5B, 0x5B},
                                     {0x5B, 0xEF, 0xEF, 0x01},
                                     {0xEF, 0x5B, 0x01, 0xEF},
                                     {0xEF, 0x01, 0xEF, 0x5B}};
  for (uint32_t x = 0; x < 256; ++x) {
    EXPECT_EQ(Mx_X(x) & 0xFF, GfMul(x, 0x5B, 0x169)) << x;
    EXPECT_EQ(Mx_Y(x) & 0xFF, GfMul(x, 0xEF, 0x169)) << x;
    EXPECT_EQ(GfMul(LFSR1(x), 2, 0x169), x) << x;  // LFSR1 divides by x, LFSR2 by x^2
    EXPECT_EQ(GfMul(LFSR2(x), 4, 0x169), x) << x;
    // The MDS tables: column c of the matrix times q1 (tables 0, 2) or q0 (tables 1, 3).
    for (int c = 0; c < 4; ++c) {
      const uint32_t q = (c % 2 == 0) ? detail::kTwoFishQ1[x] : detail::kTwoFishQ0[x];
      uint32_t w = 0;
      for (int i = 0; i < 4; ++i) w |= GfMul(kMDS[i][c], q, 0x169) << (8 * i);
      EXPECT_EQ(detail::kTwoFishMDS[c][x], w) << c << " " << x;
    }
  }
  // RS_MDS_Encode is the Reed-Solomon matrix of the paper times the eight key bytes.
  static const uint8_t kRS[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                                    {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                                    {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                                    {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};
  for (uint64_t seed = 1; seed <= 100; ++seed) {
    const std::string m = RandomBytes(8, seed);
    uint32_t expected = 0;
    for (int i = 0; i < 4; ++i) {
      uint32_t s = 0;
      for (int j = 0; j < 8; ++j) s ^= GfMul(kRS[i][j], static_cast<uint8_t>(m[j]), 0x14D);
      expected |= s << (8 * i);
    }
    EXPECT_EQ(RS_MDS_Encode(LoadLE32(m.data()), LoadLE32(m.data() + 4)), expected) << seed;
  }
}

TEST(TwoFishTools, ByteRoutinesAndParseKey) {
  const TBlock128 x = {0x00010203u, 0x04050607u, 0x08090A0Bu, 0xF0E0D0C0u};
  EXPECT_EQ(BSwap128(x)[3], 0xC0D0E0F0u);
  EXPECT_EQ(BSwap128(BSwap128(x)), x);
  EXPECT_EQ(XOR128(x, x), (TBlock128{}));
  EXPECT_EQ(EBFDW(0xA1B2C3D4u, 1), 0xC3);
  EXPECT_EQ(EBFDW(0xA1B2C3D4u, 7), 0xA1);  // only the low two bits of the index count

  uint32_t w[9];
  std::fill(std::begin(w), std::end(w), 0xFFFFFFFFu);
  EXPECT_EQ(ParseKey(24, "abc", w), 16);  // "abcabcabcabcabca"
  EXPECT_EQ(w[0], LoadLE32("abca"));
  EXPECT_EQ(w[1], LoadLE32("bcab"));
  EXPECT_EQ(w[3], LoadLE32("abca"));
  for (int i = 4; i < 9; ++i) EXPECT_EQ(w[i], 0u) << i;
  const std::string longKey = RandomBytes(50, 1);
  EXPECT_EQ(ParseKey(400, longKey, w), 32);
  EXPECT_EQ(w[7], LoadLE32(longKey.data() + 28));
  EXPECT_EQ(w[8], 0u);
  EXPECT_EQ(ParseKey(136, longKey.substr(0, 17), w), 17);  // the 17th byte is not stored
  EXPECT_EQ(w[4], 0u);
  EXPECT_EQ(ParseKey(0, "", w), 16);
  EXPECT_EQ(std::count(std::begin(w), std::end(w), 0u), 9);
  uint32_t small[3] = {9, 9, 9};  // a short array is filled as far as it goes
  EXPECT_EQ(ParseKey(256, longKey, std::span<uint32_t>(small, 2)), 32);
  EXPECT_EQ(small[2], 9u);
}

// ---- Core and component on the block vectors

// Every block vector through the core (both directions, one block and the interleaved paths for
// every round count) and through the component (ECB stream, decryption, atoms).
TEST(TwoFish, PublishedAndReducedRoundVectors) {
  int count = 0;
  for (const auto& r : LoadVectors("twofish.txt")) {
    if (r.Has("Mode")) continue;
    ++count;
    const int rounds = r.Has("Rounds") ? std::stoi(r.Get("Rounds")) : 16;
    const std::string key = r.Bytes("Key"), plain = r.Bytes("Plaintext");
    const detail::TTwoFishKey k = CoreKey(key);
    EXPECT_EQ(ToHex(E(k, plain, rounds)), r.Get("Ciphertext")) << r.Where();

    TVRXTwoFish c;
    c.SetKey(key);
    if (r.Has("Rounds")) c.SetNumRounds(rounds);
    std::string enc(4, '\0');
    StoreLE32(enc.data(), 16);
    enc += std::string(16, 'V') + r.Bytes("Ciphertext");
    if (!c.IsWeakKey()) {  // the all-zero key is refused for encryption
      enc = c.EncryptString(plain);
      EXPECT_EQ(ToHex(Body(enc)), r.Get("Ciphertext")) << r.Where();
    }
    EXPECT_EQ(c.DecryptString(enc), plain) << r.Where();
    TBlock128 x;
    for (int j = 0; j < 4; ++j) x[j] = LoadLE32(plain.data() + 4 * j);
    c.EncryptAtom(x);
    c.DecryptAtom(x);
    EXPECT_EQ(x[0], LoadLE32(plain.data())) << r.Where();
  }
  EXPECT_EQ(count, 3 + 3 * 49 + 4);

  const detail::TTwoFishKey key = CoreKey(RandomBytes(24, 9));
  for (int rounds = 2; rounds <= 16; ++rounds) {
    for (size_t n : {1u, 3u, 4u, 7u}) {
      const std::string data = RandomBytes(16 * n, 100 * rounds + n);
      std::vector<uint32_t> words(4 * n);
      for (size_t i = 0; i < 4 * n; ++i) words[i] = LoadLE32(data.data() + 4 * i);
      detail::TwoFishEncryptWords(key, rounds, words.data(), n);
      for (size_t i = 0; i < n; ++i) {
        const std::string expected = E(key, data.substr(16 * i, 16), rounds);
        EXPECT_EQ(words[4 * i + 3], LoadLE32(expected.data() + 12)) << rounds << " " << n;
      }
      detail::TwoFishDecryptWords(key, rounds, words.data(), n);
      for (size_t i = 0; i < 4 * n; ++i) EXPECT_EQ(words[i], LoadLE32(data.data() + 4 * i));
    }
  }
}

TEST(TwoFish, ComponentRecords) {
  int count = 0;
  for (const auto& r : LoadVectors("twofish.txt")) {
    if (!r.Has("Mode")) continue;
    ++count;
    morvane::test::TCipherRecords<TVRXTwoFish, 4>::Run(r);
  }
  EXPECT_GE(count, 19);
}

// ---- Keys, weak keys, round counts

// A short key is repeated to 16 bytes, and Key then holds those 16 bytes: the key read back keys
// the same cipher. Only whole 64-bit pieces of 16 to 32 bytes key the cipher; more is cut.
TEST(TwoFish, KeyLengths) {
  const std::string material = RandomBytes(100, 77), plain = RandomBytes(40, 4);
  for (size_t len : {1u, 3u, 10u, 15u, 17u, 23u, 25u, 31u, 33u, 40u, 100u}) {
    const std::string key = material.substr(0, len);
    std::string used;
    while (used.size() < 16) used += key;
    used.resize(std::min<size_t>(32, std::max<size_t>(16, len)));
    TVRXTwoFish c, ref, again;
    c.SetKey(key);
    ref.SetKey(used.substr(0, used.size() / 8 * 8));
    const std::string enc = c.EncryptString(plain);
    EXPECT_EQ(enc, ref.EncryptString(plain)) << len;
    EXPECT_EQ(ToHex(c.GetKey()), ToHex(used)) << len;
    again.SetKey(c.GetKey());
    EXPECT_EQ(again.EncryptString(plain), enc) << len;
  }
}

TEST(TwoFish, WeakKeys) {
  for (const std::string& key :
       {std::string(), std::string(16, ' '), std::string("\t\x7F \0", 4)}) {
    TVRXTwoFish c;
    c.SetKey(key);
    try {
      c.EncryptString("data");
      ADD_FAILURE() << ToHex(key) << " accepted";
    } catch (const EVRXWeakCipherKey& e) {
      EXPECT_STREQ(e.what(), "Weak Key");
    }
    // Decryption runs, under the key as prepared (the empty key as 16 zero bytes).
    std::string stream(20, '\0');
    StoreLE32(stream.data(), 16);
    EXPECT_EQ(ToHex(c.GetKey()), ToHex(key.empty() ? std::string(16, '\0') : c.GetKey()));
    EXPECT_EQ(c.DecryptString(stream + E(CoreKey(c.GetKey()), "sixteen bytes!!!")),
              "sixteen bytes!!!");
  }
}

TEST(TwoFish, RoundCountsPerKeySize) {
  TVRXTwoFish c;
  EXPECT_EQ(c.GetNumRounds(), 16);
  c.SetNumRounds(12);  // no key: all three counts
  c.SetKey(std::string(16, 'k'));
  c.SetNumRounds(8);
  for (int32_t ignored : {1, 17, -3}) c.SetNumRounds(ignored);
  EXPECT_EQ(c.GetNumRounds(), 8);
  c.SetKey(std::string(24, 'k'));
  EXPECT_EQ(c.GetNumRounds(), 12);
  c.SetKey(std::string(20, 'k'));  // the 128-bit entry
  EXPECT_EQ(c.GetNumRounds(), 8);
  c.SetKey(std::string(40, 'k'));  // five pieces: 16 until the key is cut to 32
  EXPECT_EQ(c.GetNumRounds(), 16);
  c.EncryptString("x");
  EXPECT_EQ(c.GetNumRounds(), 12);

  // A count changed between runs with the same key gives what a new component set to it gives.
  const std::string key = RandomBytes(24, 6), plain = RandomBytes(50, 7);
  TVRXTwoFish d;
  d.SetKey(key);
  d.SetMode(cipherCBC);
  for (int32_t rounds : {16, 3, 9, 16}) {
    d.SetNumRounds(rounds);
    TVRXTwoFish fresh;
    fresh.SetKey(key);
    fresh.SetMode(cipherCBC);
    fresh.SetNumRounds(rounds);
    EXPECT_EQ(d.EncryptString(plain), fresh.EncryptString(plain)) << rounds;
  }
}

// ---- Forms in the modes

// The first block of CBC, PCBC and CFB is the standard mode with the IV bytes V; each later block
// chains the earlier ones with their 4-byte groups reversed.
TEST(TwoFish, LaterBlocksChainTheStoredForm) {
  const std::string key = RandomBytes(16, 8), plain = RandomBytes(48, 9);
  const detail::TTwoFishKey k = CoreKey(key);
  for (TCipherMode mode : {cipherCBC, cipherPCBC, cipherCFB}) {
    TVRXTwoFish c;
    c.SetKey(key);
    c.SetMode(mode);
    const std::string enc = c.EncryptString(plain), v = enc.substr(4, 16), body = Body(enc);
    std::string prevC, prevP;
    for (size_t i = 0; i < 3; ++i) {
      const std::string p = plain.substr(16 * i, 16);
      const std::string chain = i == 0 ? v : Reversed(prevC);
      std::string expected;
      if (mode == cipherCBC) expected = E(k, Xor(p, chain));
      if (mode == cipherPCBC) expected = E(k, Xor(p, i == 0 ? v : Xor(chain, Reversed(prevP))));
      if (mode == cipherCFB) expected = Xor(p, E(k, chain));
      EXPECT_EQ(ToHex(body.substr(16 * i, 16)), ToHex(expected)) << int(mode) << " " << i;
      prevC = body.substr(16 * i, 16);
      prevP = p;
    }
  }
}

// CFB leaves the last keystream block in the IV, in both directions, and the next encryption
// carries it as its leading data; the other modes leave the IV alone.
TEST(TwoFish, CfbRewritesTheIV) {
  const std::string plain = RandomBytes(70, 10);
  TVRXTwoFish c, d;
  c.SetKey("a key for feedback");
  d.SetKey("a key for feedback");
  c.SetMode(cipherCFB);
  d.SetMode(cipherCFB);
  const std::string first = c.EncryptString(plain);
  const std::string keystream =
      E(CoreKey(c.GetKey()), Reversed(first.substr(first.size() - 32, 16)));
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(c.GetIV(i), LoadLE32(keystream.data() + 4 * i));
  const std::string second = c.EncryptString(plain);
  EXPECT_EQ(second.substr(4, 16), keystream);
  EXPECT_EQ(d.DecryptString(first), plain);
  EXPECT_EQ(d.GetIV(2), LoadLE32(keystream.data() + 8));
  EXPECT_EQ(d.DecryptString(second), plain);

  for (TCipherMode mode : {cipherECB, cipherCBC, cipherOFB, cipherPCBC}) {
    TVRXTwoFish e;
    e.SetKey("a key for feedback");
    e.SetMode(mode);
    EXPECT_EQ(e.EncryptString(plain), e.EncryptString(plain)) << int(mode);
    EXPECT_EQ(e.GetIV(0), 0x6E2F91C4u) << int(mode);
  }
}

TEST(TwoFish, RoundTripsAcrossChunkBoundaries) {
  for (size_t keyLen : {16u, 24u, 32u}) {
    const std::string key = RandomBytes(keyLen, keyLen);
    for (TCipherMode mode : kModes) {
      for (size_t len : {0u, 1u, 16u, 17u, 48u, 16005u, 32000u}) {
        const std::string plain = RandomBytes(len, len * 7 + mode);
        std::string reference;
        for (int32_t bufferSize : {1000, 1, 3, 1001}) {
          TVRXTwoFish c, d;
          c.SetKey(key);
          d.SetKey(key);
          c.SetMode(mode);
          d.SetMode(mode);
          c.SetBufferSize(bufferSize);
          d.SetBufferSize(bufferSize == 1000 ? 5 : 1000);
          const std::string enc = c.EncryptString(plain);
          if (reference.empty()) reference = enc;
          EXPECT_EQ(enc, reference)
              << keyLen << " " << int(mode) << " " << len << " " << bufferSize;
          EXPECT_EQ(d.DecryptString(enc), plain) << keyLen << " " << int(mode) << " " << len;
        }
      }
    }
  }
}

// Every block of every mode against a byte-level model over nettle's Twofish: ECB and OFB are the
// standard modes with the IV bytes V; CBC, PCBC and CFB take V for the first block and the
// earlier blocks with each 4-byte group reversed after it. Messages span several chunks, so
// the chain is checked across chunk boundaries, and another component decrypts them.
TEST(TwoFishOracle, EveryModeAgreesWithAModelOverNettle) {
#ifndef MORVANE_HAVE_NETTLE
  GTEST_SKIP() << "nettle is not installed";
#else
  const int32_t bufferSizes[] = {1, 3, 8, 1000};
  for (uint64_t seed = 1; seed <= 30; ++seed) {
    const size_t keyLen = 16 + 8 * (seed % 3);
    const std::string key = RandomBytes(keyLen, seed);
    const std::string plain = RandomBytes(16 * (seed % 7 + 1) * 5 - seed % 16, seed + 50);
    twofish_ctx ctx;
    twofish_set_key(&ctx, keyLen, reinterpret_cast<const uint8_t*>(key.data()));
    auto theirE = [&](const std::string& block) {
      std::string out(16, '\0');
      twofish_encrypt(&ctx, 16, reinterpret_cast<uint8_t*>(out.data()),
                      reinterpret_cast<const uint8_t*>(block.data()));
      return out;
    };
    std::string padded = plain;
    padded.resize((plain.size() + 15) / 16 * 16, '\0');
    for (TCipherMode mode : kModes) {
      const int32_t bufferSize = bufferSizes[(seed + mode) % std::size(bufferSizes)];
      TVRXTwoFish c, d;
      c.SetKey(key);
      d.SetKey(key);
      c.SetMode(mode);
      d.SetMode(mode);
      c.SetBufferSize(bufferSize);
      d.SetBufferSize(bufferSizes[(seed + mode + 1) % std::size(bufferSizes)]);
      for (int32_t i = 0; i < 4; ++i) c.SetIV(i, static_cast<uint32_t>((seed + i) * 0x9E3779B9u));
      const std::string enc = c.EncryptString(plain);
      const std::string v = enc.substr(4, 16);
      std::string theirs, prevC, prevP, o = v;
      for (size_t i = 0; i < padded.size(); i += 16) {
        const std::string p = padded.substr(i, 16);
        const std::string chain = i == 0 ? v : Reversed(prevC);
        std::string block;
        if (mode == cipherECB) block = theirE(p);
        if (mode == cipherCBC) block = theirE(Xor(p, chain));
        if (mode == cipherPCBC) block = theirE(Xor(p, i == 0 ? v : Xor(chain, Reversed(prevP))));
        if (mode == cipherCFB) block = Xor(p, theirE(chain));
        if (mode == cipherOFB) block = Xor(p, o = theirE(o));
        theirs += block;
        prevC = block;
        prevP = p;
      }
      EXPECT_EQ(ToHex(Body(enc)), ToHex(theirs)) << seed << " " << int(mode);
      EXPECT_EQ(d.DecryptString(enc), plain) << seed << " " << int(mode);
    }
  }
#endif
}
