// The DES component and its block core: published vectors, the component records of the vector
// file, key preparation, weak keys, refused modes, the order of round keys across runs, and
// round trips over chunk boundaries; compared with nettle when it is installed.
#include <gtest/gtest.h>

#include "morvane/ciphers/VRXDes.h"
#include "support/CipherRecords.h"
#include "support/Vectors.h"

#ifdef MORVANE_HAVE_NETTLE
#include <nettle/des.h>
#endif

using namespace morvane;
using morvane::test::FromHex;
using morvane::test::LoadVectors;
using morvane::test::RandomBytes;
using morvane::test::ToHex;

namespace {

using TRecords = morvane::test::TCipherRecords<TVRXDES, 2>;

constexpr TCipherMode kDesModes[] = {cipherECB, cipherCBC, cipherPCBC};

std::string WithLengthAndIV(const std::string& body, uint32_t length, uint32_t iv0, uint32_t iv1) {
  std::string out(12, '\0');
  StoreLE32(out.data(), length);
  StoreLE32(out.data() + 4, iv0);
  StoreLE32(out.data() + 8, iv1);
  return out + body;
}

// The ciphertext blocks of an encrypted string (after the length and the IV).
std::string Body(const std::string& encrypted) {
  return encrypted.substr(12);
}

}  // namespace

// ---- Published vectors

TEST(DesCore, PublishedBlockVectors) {
  int count = 0;
  for (const auto& r : LoadVectors("des.txt")) {
    if (r.Has("Mode")) continue;
    ++count;
    const std::string key = r.Bytes("Key"), plain = r.Bytes("Plaintext"),
                      cipher = r.Bytes("Ciphertext");
    detail::TDesRoundKeys forward, reversed;
    detail::DesKeySchedule(reinterpret_cast<const uint8_t*>(key.data()), forward);
    detail::DesReverseSchedule(forward, reversed);
    uint32_t L = LoadBE32(plain.data()), R = LoadBE32(plain.data() + 4);
    detail::DesCryptBlock(forward, L, R);
    EXPECT_EQ(L, LoadBE32(cipher.data())) << r.Where();
    EXPECT_EQ(R, LoadBE32(cipher.data() + 4)) << r.Where();
    detail::DesCryptBlock(reversed, L, R);
    EXPECT_EQ(L, LoadBE32(plain.data())) << r.Where();
    EXPECT_EQ(R, LoadBE32(plain.data() + 4)) << r.Where();
  }
  EXPECT_EQ(count, 64 + 56 + 32 + 19 + 1);
}

// The multi-block path gives each block what the one-block path gives it, for every count.
TEST(DesCore, ManyBlocksAgreeWithOneBlock) {
  const std::string key = FromHex("133457799BBCDFF1");
  detail::TDesRoundKeys k;
  detail::DesKeySchedule(reinterpret_cast<const uint8_t*>(key.data()), k);
  for (size_t n : {1u, 2u, 3u, 8u, 9u}) {
    const std::string data = RandomBytes(8 * n, n);
    std::vector<uint32_t> words(2 * n), one(2 * n);
    for (size_t i = 0; i < 2 * n; ++i) words[i] = one[i] = LoadBE32(data.data() + 4 * i);
    detail::DesCryptWords(k, words.data(), n);
    for (size_t i = 0; i < n; ++i) detail::DesCryptBlock(k, one[2 * i], one[2 * i + 1]);
    EXPECT_EQ(words, one) << n;
  }
}

// Every block vector through the component: ECB encryption (keys it accepts) and decryption
// (all keys, weak ones included), and the three steps of the atom.
TEST(Des, PublishedBlockVectorsThroughTheComponent) {
  for (const auto& r : LoadVectors("des.txt")) {
    if (r.Has("Mode")) continue;
    const std::string key = r.Bytes("Key"), plain = r.Bytes("Plaintext"),
                      cipher = r.Bytes("Ciphertext");
    TVRXDES c;
    c.SetKey(key);
    const std::string stream = WithLengthAndIV(cipher, 8, 1, 2);
    EXPECT_EQ(c.DecryptString(stream), plain) << r.Where();
    if (!c.IsWeakKey()) {
      EXPECT_EQ(ToHex(Body(c.EncryptString(plain))), ToHex(cipher)) << r.Where();
    }
    uint32_t L = LoadBE32(plain.data()), R = LoadBE32(plain.data() + 4);
    c.EncryptAtom(L, R);
    EXPECT_EQ(L, LoadBE32(cipher.data())) << r.Where();
    EXPECT_EQ(R, LoadBE32(cipher.data() + 4)) << r.Where();
    c.DecryptAtom(L, R);
    EXPECT_EQ(L, LoadBE32(plain.data())) << r.Where();
  }
}

TEST(Des, ComponentRecords) {
  int count = 0;
  for (const auto& r : LoadVectors("des.txt")) {
    if (!r.Has("Mode")) continue;
    ++count;
    TRecords::Run(r);
  }
  EXPECT_GE(count, 20);
}

// ---- Construction and modes

TEST(Des, NewComponent) {
  TVRXDES c;
  EXPECT_EQ(c.ClassName(), "TVRXDES");
  EXPECT_EQ(c.GetKey(), std::string(8, '\0'));
  EXPECT_EQ(c.GetMode(), cipherECB);
  EXPECT_EQ(c.GetLeadingDataSize(), 8);
  EXPECT_EQ(c.CipherTextLength(9), 16);
  EXPECT_EQ(c.GetIV(0), 0x3A61C7E2u);
  EXPECT_EQ(c.GetIV(1), 0x9B0D4F18u);
  // The key of eight zero bytes is weak until the application sets one.
  EXPECT_TRUE(c.IsWeakKey());
  EXPECT_THROW(c.EncryptString("x"), EVRXWeakCipherKey);
}

TEST(Des, SetModeRefusesCfbAndOfbAndKeepsTheMode) {
  TVRXDES c;
  c.SetMode(cipherPCBC);
  for (TCipherMode refused : {cipherCFB, cipherOFB}) {
    try {
      c.SetMode(refused);
      ADD_FAILURE() << "accepted " << int(refused);
    } catch (const EVRXUnsupportedCipherMode& e) {
      EXPECT_STREQ(e.what(), "Mode not supported in current version");
    }
    EXPECT_EQ(c.GetMode(), cipherPCBC);
  }
  c.SetMode(cipherCBC);
  EXPECT_EQ(c.GetMode(), cipherCBC);
}

TEST(Des, IVIndexOutsideTheIVIsRefused) {
  TVRXDES c;
  for (int32_t bad : {-1, 2, 100}) {
    EXPECT_THROW(c.GetIV(bad), EVRXOutOfRange);
    EXPECT_THROW(c.SetIV(bad, 7), EVRXOutOfRange);
  }
  c.SetIV(1, 0x01020304);
  EXPECT_EQ(c.GetIV(1), 0x01020304u);
  EXPECT_EQ(c.GetIV(0), 0x3A61C7E2u);
}

// ---- Key preparation

// Keys of 1 to 7 bytes are extended once by their own first bytes (KeyAfter); a key still
// shorter than 8 bytes is repeated to 8 bytes for the schedule.
TEST(Des, ShortKeysAreExtendedOnceThenRepeated) {
  struct {
    const char* key;
    const char* stored;
    const char* scheduled;
  } cases[] = {{"x", "xx", "xxxxxxxx"},
               {"ab", "abab", "abababab"},
               {"abc", "abcabc", "abcabcab"},
               {"abcd", "abcdabcd", "abcdabcd"},
               {"sixkey", "sixkeysi", "sixkeysi"},
               {"sevenky", "sevenkys", "sevenkys"}};
  const std::string plain = RandomBytes(40, 3);
  for (const auto& tc : cases) {
    TVRXDES c, ref;
    c.SetMode(cipherCBC);
    ref.SetMode(cipherCBC);
    c.SetKey(tc.key);
    ref.SetKey(tc.scheduled);
    const std::string out = c.EncryptString(plain);
    EXPECT_EQ(c.GetKey(), tc.stored) << tc.key;
    EXPECT_EQ(ToHex(out), ToHex(ref.EncryptString(plain))) << tc.key;
    // No new preparation while the key stays: a second run leaves the stored key as it is.
    EXPECT_EQ(ToHex(c.EncryptString(plain)), ToHex(out)) << tc.key;
    EXPECT_EQ(c.GetKey(), tc.stored) << tc.key;
    EXPECT_EQ(c.DecryptString(out), plain) << tc.key;
  }
}

// ---- Weak keys

TEST(Des, PublishedWeakKeysAreRefusedOnlyInTheirExactForm) {
  const char* published[] = {
      "0101010101010101", "FEFEFEFEFEFEFEFE", "E0E0E0E0F1F1F1F1", "1F1F1F1F0E0E0E0E",
      "011F011F010E010E", "1F011F010E010E01", "01E001E001F101F1", "E001E001F101F101",
      "01FE01FE01FE01FE", "FE01FE01FE01FE01", "1FE01FE00EF10EF1", "E01FE01FF10EF10E",
      "1FFE1FFE0EFE0EFE", "FE1FFE1FFE0EFE0E", "E0FEE0FEF1FEF1FE", "FEE0FEE0FEF1FEF1"};
  const std::string plain = "eight by";
  for (const char* hex : published) {
    const std::string weak = FromHex(hex);
    TVRXDES c;
    c.SetKey(weak);
    EXPECT_TRUE(c.IsWeakKey()) << hex;
    try {
      c.EncryptString(plain);
      ADD_FAILURE() << hex << " accepted";
    } catch (const EVRXWeakCipherKey& e) {
      EXPECT_STREQ(e.what(), "Weak Key");
    }

    // A parity bit changed: accepted, and (parity being ignored) the same cipher, which the
    // weak key itself decrypts.
    std::string flipped = weak;
    flipped[5] = static_cast<char>(flipped[5] ^ 1);
    TVRXDES f;
    f.SetKey(flipped);
    EXPECT_FALSE(f.IsWeakKey()) << hex;
    const std::string enc = f.EncryptString(plain);
    EXPECT_EQ(c.DecryptString(enc), plain) << hex;

    // Longer than 8 bytes: never reported, though only the first 8 bytes key the cipher.
    TVRXDES longer;
    longer.SetKey(weak + "!");
    EXPECT_FALSE(longer.IsWeakKey()) << hex;
    EXPECT_EQ(longer.EncryptString(plain), enc) << hex;
  }
}

TEST(Des, EmptyAndWhiteKeysAreWeak) {
  for (const std::string& key : {std::string(), std::string("        "), std::string(8, '\0'),
                                 std::string("\t \x7F\0 ", 5)}) {
    TVRXDES c;
    c.SetKey(key);
    EXPECT_TRUE(c.IsWeakKey()) << ToHex(key);
    EXPECT_THROW(c.EncryptString("data"), EVRXWeakCipherKey) << ToHex(key);
    // Decryption with a weak key runs.
    EXPECT_EQ(c.DecryptString(WithLengthAndIV(std::string(8, 'C'), 3, 0, 0)).size(), 3u);
  }
  TVRXDES c;
  c.SetKey(" key ");
  EXPECT_FALSE(c.IsWeakKey());
}

// A direct test sees the key as set; encryption tests it after preparation.
TEST(Des, WeakKeyTestFollowsKeyPreparation) {
  TVRXDES c;
  c.SetKey(std::string(4, '\x01'));
  EXPECT_FALSE(c.IsWeakKey());
  EXPECT_THROW(c.EncryptString("x"), EVRXWeakCipherKey);
  EXPECT_EQ(c.GetKey(), std::string(8, '\x01'));
  EXPECT_TRUE(c.IsWeakKey());
}

// ---- Order of the round keys

// Encryption always runs the round keys forward and decryption in reverse, whatever ran before.
TEST(Des, RunsInAnyOrderUseTheRightRoundKeys) {
  TVRXDES c;
  c.SetKey("MorvaneK");
  c.SetMode(cipherCBC);
  const std::string plain = RandomBytes(100, 11);
  const std::string enc = c.EncryptString(plain);
  EXPECT_EQ(c.DecryptString(enc), plain);
  EXPECT_EQ(c.DecryptString(enc), plain);  // decryption after decryption
  EXPECT_EQ(c.EncryptString(plain), enc);  // encryption after decryption
  EXPECT_EQ(c.EncryptString(plain), enc);  // encryption after encryption
  EXPECT_EQ(c.DecryptString(enc), plain);

  // The atoms keep their direction too, and F follows the run that started last.
  const uint32_t l0 = 0x01234567, r0 = 0x89ABCDEF;
  uint32_t L = l0, R = r0;
  c.EncryptAtom(L, R);
  const uint32_t cl = L, cr = R;
  c.DecryptAtom(L, R);
  EXPECT_EQ(L, l0);
  EXPECT_EQ(R, r0);
  uint32_t a = cl, b = cr;
  c.InitialPermutation(a, b);
  c.F(a, b);  // the last run decrypted: reversed keys
  c.FinalPermutation(a, b);
  EXPECT_EQ(a, l0);
  EXPECT_EQ(b, r0);
  c.EncryptString("x");
  a = l0, b = r0;
  c.InitialPermutation(a, b);
  c.F(a, b);
  c.FinalPermutation(a, b);
  EXPECT_EQ(a, cl);
  EXPECT_EQ(b, cr);
}

// ---- Modes over chunks

// Every accepted mode, lengths around block and chunk boundaries, several chunk sizes: the
// ciphertext does not depend on the chunk size and decrypts back under any chunk size.
TEST(Des, RoundTripsAcrossChunkBoundaries) {
  for (TCipherMode mode : kDesModes) {
    for (size_t len : {0u, 1u, 7u, 8u, 9u, 23u, 24u, 25u, 8005u, 16000u}) {
      const std::string plain = RandomBytes(len, len + mode);
      std::string reference;
      for (int32_t bufferSize : {1000, 1, 3, 1001}) {
        TVRXDES c;
        c.SetKey("chunked!");
        c.SetMode(mode);
        c.SetIV(0, 0xA5A5A5A5);
        c.SetBufferSize(bufferSize);
        const std::string enc = c.EncryptString(plain);
        if (reference.empty()) reference = enc;
        EXPECT_EQ(enc, reference) << int(mode) << " " << len << " " << bufferSize;
        TVRXDES d;
        d.SetKey("chunked!");
        d.SetMode(mode);
        d.SetBufferSize(bufferSize == 1000 ? 7 : 1000);
        EXPECT_EQ(d.DecryptString(enc), plain) << int(mode) << " " << len << " " << bufferSize;
      }
      EXPECT_EQ(reference.size(), 12 + 8 * std::max<size_t>(1, (len + 7) / 8));
    }
  }
}

// The runs chain as the mode table says, block by block through the atoms; the per-block mode
// operations chain from the registers a run leaves.
TEST(Des, ChainingFollowsTheModeTable) {
  const std::string plain = RandomBytes(32, 5);
  for (TCipherMode mode : kDesModes) {
    TVRXDES c;
    c.SetKey("blockops");
    c.SetMode(mode);
    c.SetIV(0, 0x0BADF00D);
    const std::string enc = Body(c.EncryptString(plain));
    uint32_t prevC[2] = {0, 0}, prevP[2] = {0, 0};
    for (int i = 0; i < 4; ++i) {
      uint32_t L = LoadBE32(plain.data() + 8 * i), R = LoadBE32(plain.data() + 8 * i + 4);
      const uint32_t pl = L, pr = R;
      if (mode != cipherECB) {
        if (i == 0) {
          L ^= c.GetIV(0), R ^= c.GetIV(1);
        } else if (mode == cipherCBC) {
          L ^= prevC[0], R ^= prevC[1];
        } else {
          L ^= prevC[0] ^ prevP[0], R ^= prevC[1] ^ prevP[1];
        }
      }
      c.EncryptAtom(L, R);
      EXPECT_EQ(L, LoadBE32(enc.data() + 8 * i)) << int(mode) << " block " << i;
      EXPECT_EQ(R, LoadBE32(enc.data() + 8 * i + 4)) << int(mode) << " block " << i;
      prevC[0] = L, prevC[1] = R, prevP[0] = pl, prevP[1] = pr;
    }
  }

  // After a decryption run of one zero block C0, the registers hold C' = C0 and P' = 0: the
  // per-block operations chain from them.
  TVRXDES c;
  c.SetKey("blockops");
  const std::string empty = c.EncryptString("");
  c.DecryptString(empty);
  const uint32_t c0 = LoadBE32(empty.data() + 12), c1 = LoadBE32(empty.data() + 16);
  for (TCipherMode mode : {cipherCBC, cipherPCBC}) {
    uint32_t L = LoadBE32(plain.data()), R = LoadBE32(plain.data() + 4);
    uint32_t eL = L ^ c0, eR = R ^ c1;
    c.EncryptAtom(eL, eR);
    if (mode == cipherCBC) {
      c.EncryptCBC(L, R);
    } else {
      c.EncryptPCBC(L, R);
    }
    EXPECT_EQ(L, eL) << int(mode);
    EXPECT_EQ(R, eR) << int(mode);
    if (mode == cipherCBC) {
      c.DecryptCBC(L, R);
    } else {
      c.DecryptPCBC(L, R);
    }
    EXPECT_EQ(L, LoadBE32(plain.data())) << int(mode);
    EXPECT_EQ(R, LoadBE32(plain.data() + 4)) << int(mode);
  }
}

// ---- Against nettle: ECB and CBC are the standard modes (the IV in block byte order is the
// leading data with each 4-byte half reversed).

TEST(DesOracle, EcbAndCbcAgreeWithNettle) {
#ifndef MORVANE_HAVE_NETTLE
  GTEST_SKIP() << "nettle is not installed";
#else
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    std::string key = RandomBytes(8, seed);
    const std::string plain = RandomBytes(8 * (seed % 5 + 1) * 7, seed + 100);
    des_ctx ctx;
    des_set_key(&ctx, reinterpret_cast<const uint8_t*>(key.data()));
    for (TCipherMode mode : {cipherECB, cipherCBC}) {
      TVRXDES c;
      c.SetKey(key);
      c.SetMode(mode);
      c.SetIV(0, static_cast<uint32_t>(seed * 0x9E3779B9u));
      c.SetIV(1, static_cast<uint32_t>(seed * 0x7F4A7C15u));
      if (c.IsWeakKey()) continue;
      const std::string ours = Body(c.EncryptString(plain));
      std::string theirs(plain.size(), '\0');
      uint8_t chain[8];
      StoreBE32(chain, c.GetIV(0));
      StoreBE32(chain + 4, c.GetIV(1));
      for (size_t i = 0; i < plain.size(); i += 8) {
        uint8_t block[8];
        for (int j = 0; j < 8; ++j)
          block[j] = static_cast<uint8_t>(plain[i + j] ^ (mode == cipherCBC ? chain[j] : 0));
        des_encrypt(&ctx, 8, reinterpret_cast<uint8_t*>(theirs.data() + i), block);
        std::copy_n(theirs.data() + i, 8, chain);
      }
      EXPECT_EQ(ToHex(ours), ToHex(theirs)) << seed << " " << int(mode);
    }
  }
#endif
}
