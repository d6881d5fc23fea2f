// DES and Twofish throughput: our components against the peer libraries that are installed, in
// the same run. Names follow bench/run.sh: <Family>/<Workload>/<impl>.
//
// Families: DES, Twofish128 (16-byte key, every mode) and Twofish256 (32-byte key, ECB and
// CBC). Workloads: EncryptStream-<mode> and DecryptStream-<mode>, memory to memory over 16 MiB
// (MORVANE_BENCH_MIB overrides). Peers run the standard modes of the same shape: where our CBC,
// PCBC and CFB chain differently (Twofish past the first block), the work per block is the same
// and so is what may run in parallel. No peer offers PCBC.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "BenchPeers.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"

#ifdef MORVANE_HAVE_NETTLE
#include <nettle/des.h>
#include <nettle/twofish.h>
#endif
#ifdef MORVANE_HAVE_CRYPTOPP
#include <crypto++/des.h>
#include <crypto++/modes.h>
#include <crypto++/twofish.h>
#endif

using namespace morvane;
using namespace morvane::bench;

namespace {

enum TFamily { famDES, famTwofish128, famTwofish256 };

struct TFamilyInfo {
  const char* Name;
  std::string Key;
  size_t Block;
};
const TFamilyInfo kFamilies[] = {{"DES", "MorvDES!", 8},
                                 {"Twofish128", "Morvane 16B key!", 16},
                                 {"Twofish256", "Morvane bench key of 32 bytes!!!", 16}};

const std::string& KeyOf(TFamily f) {
  return kFamilies[f].Key;
}

// ---- Ours

void Ours(benchmark::State& state, TFamily family, TCipherMode mode, bool encrypting) {
  if (family == famDES) {
    OursCipherStream<TVRXDES>(state, KeyOf(family), mode, encrypting);
  } else {
    OursCipherStream<TVRXTwoFish>(state, KeyOf(family), mode, encrypting);
  }
}

// ---- Peers

#ifdef MORVANE_HAVE_OPENSSL
void OpenSsl(benchmark::State& state, TFamily family, TCipherMode mode, bool encrypting) {
  OpenSslLoadLegacy();
  const EVP_CIPHER* cipher = mode == cipherECB   ? EVP_des_ecb()
                             : mode == cipherCBC ? EVP_des_cbc()
                             : mode == cipherCFB ? EVP_des_cfb64()
                                                 : EVP_des_ofb();
  OpenSslBulk(state, cipher, KeyOf(family), encrypting);
}
#endif

#ifdef MORVANE_HAVE_GCRYPT
void Gcrypt(benchmark::State& state, TFamily family, TCipherMode mode, bool encrypting) {
  GcryptReady();
  const int algo = family == famDES          ? GCRY_CIPHER_DES
                   : family == famTwofish128 ? GCRY_CIPHER_TWOFISH128
                                             : GCRY_CIPHER_TWOFISH;
  const int gmode = mode == cipherECB   ? GCRY_CIPHER_MODE_ECB
                    : mode == cipherCBC ? GCRY_CIPHER_MODE_CBC
                    : mode == cipherCFB ? GCRY_CIPHER_MODE_CFB
                                        : GCRY_CIPHER_MODE_OFB;
  gcry_cipher_hd_t h = nullptr;
  if (gcry_cipher_open(&h, algo, gmode, 0) != 0) {
    state.SkipWithError("gcrypt cipher unavailable");
    return;
  }
  const std::string& key = KeyOf(family);
  gcry_cipher_setkey(h, key.data(), key.size());
  const std::string& in = BulkData();
  std::string out(in.size(), '\0');
  Bulk(state, [&] {
    gcry_cipher_setiv(h, kPeerIv.data(), kFamilies[family].Block);
    if (encrypting) {
      gcry_cipher_encrypt(h, out.data(), out.size(), in.data(), in.size());
    } else {
      gcry_cipher_decrypt(h, out.data(), out.size(), in.data(), in.size());
    }
    benchmark::DoNotOptimize(out.data());
  });
  gcry_cipher_close(h);
}
#endif

#ifdef MORVANE_HAVE_NETTLE
template <class Ctx>
void NettleRun(benchmark::State& state, const Ctx& ctx, nettle_cipher_func* enc,
               nettle_cipher_func* dec, size_t block, TCipherMode mode, bool encrypting) {
  const auto* in = reinterpret_cast<const uint8_t*>(BulkData().data());
  const size_t n = BulkBytes();
  std::vector<uint8_t> out(n);
  Bulk(state, [&] {
    uint8_t iv[16];
    std::memcpy(iv, kPeerIv.data(), 16);
    switch (mode) {
      case cipherECB:
        (encrypting ? enc : dec)(&ctx, n, out.data(), in);
        break;
      case cipherCBC:
        (encrypting ? cbc_encrypt : cbc_decrypt)(&ctx, encrypting ? enc : dec, block, iv, n,
                                                 out.data(), in);
        break;
      default:
        (encrypting ? cfb_encrypt : cfb_decrypt)(&ctx, enc, block, iv, n, out.data(), in);
        break;
    }
    benchmark::DoNotOptimize(out.data());
  });
}

void Nettle(benchmark::State& state, TFamily family, TCipherMode mode, bool encrypting) {
  const std::string& key = KeyOf(family);
  if (family == famDES) {
    des_ctx ctx;
    des_set_key(&ctx, reinterpret_cast<const uint8_t*>(key.data()));
    NettleRun(state, ctx, reinterpret_cast<nettle_cipher_func*>(&des_encrypt),
              reinterpret_cast<nettle_cipher_func*>(&des_decrypt), 8, mode, encrypting);
  } else {
    twofish_ctx ctx;
    twofish_set_key(&ctx, key.size(), reinterpret_cast<const uint8_t*>(key.data()));
    NettleRun(state, ctx, reinterpret_cast<nettle_cipher_func*>(&twofish_encrypt),
              reinterpret_cast<nettle_cipher_func*>(&twofish_decrypt), 16, mode, encrypting);
  }
}
#endif

#ifdef MORVANE_HAVE_CRYPTOPP
template <class Cipher>
void CryptoppRun(benchmark::State& state, const std::string& key, size_t block, bool withIv) {
  Cipher c;
  if (withIv) {
    c.SetKeyWithIV(reinterpret_cast<const CryptoPP::byte*>(key.data()), key.size(), kPeerIv.data(),
                   block);
  } else {
    c.SetKey(reinterpret_cast<const CryptoPP::byte*>(key.data()), key.size());
  }
  const auto* in = reinterpret_cast<const CryptoPP::byte*>(BulkData().data());
  std::vector<CryptoPP::byte> out(BulkBytes());
  Bulk(state, [&] {
    if (withIv) c.Resynchronize(kPeerIv.data(), static_cast<int>(block));
    c.ProcessData(out.data(), in, out.size());
    benchmark::DoNotOptimize(out.data());
  });
}

template <class BC>
void CryptoppModes(benchmark::State& state, TFamily family, TCipherMode mode, bool encrypting) {
  const std::string& key = KeyOf(family);
  const size_t block = kFamilies[family].Block;
  switch (mode) {
    case cipherECB:
      if (encrypting) {
        CryptoppRun<typename CryptoPP::ECB_Mode<BC>::Encryption>(state, key, block, false);
      } else {
        CryptoppRun<typename CryptoPP::ECB_Mode<BC>::Decryption>(state, key, block, false);
      }
      break;
    case cipherCBC:
      if (encrypting) {
        CryptoppRun<typename CryptoPP::CBC_Mode<BC>::Encryption>(state, key, block, true);
      } else {
        CryptoppRun<typename CryptoPP::CBC_Mode<BC>::Decryption>(state, key, block, true);
      }
      break;
    case cipherCFB:
      if (encrypting) {
        CryptoppRun<typename CryptoPP::CFB_Mode<BC>::Encryption>(state, key, block, true);
      } else {
        CryptoppRun<typename CryptoPP::CFB_Mode<BC>::Decryption>(state, key, block, true);
      }
      break;
    default:
      CryptoppRun<typename CryptoPP::OFB_Mode<BC>::Encryption>(state, key, block, true);
      break;
  }
}

void Cryptopp(benchmark::State& state, TFamily family, TCipherMode mode, bool encrypting) {
  if (family == famDES) {
    CryptoppModes<CryptoPP::DES>(state, family, mode, encrypting);
  } else {
    CryptoppModes<CryptoPP::Twofish>(state, family, mode, encrypting);
  }
}
#endif

void Register(const char* impl, TFamily family, TCipherMode mode, bool encrypting,
              void (*fn)(benchmark::State&, TFamily, TCipherMode, bool)) {
  const std::string name = std::string(kFamilies[family].Name) + "/" +
                           (encrypting ? "EncryptStream-" : "DecryptStream-") + ModeName(mode) +
                           "/" + impl;
  benchmark::RegisterBenchmark(name.c_str(),
                               [=](benchmark::State& s) { fn(s, family, mode, encrypting); })
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
}

const bool kRegistered = [] {
  struct {
    TFamily family;
    std::vector<TCipherMode> modes;
  } plan[] = {{famDES, {cipherECB, cipherCBC, cipherPCBC}},
              {famTwofish128, {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC}},
              {famTwofish256, {cipherECB, cipherCBC}}};
  for (const auto& p : plan) {
    for (TCipherMode mode : p.modes) {
      for (bool encrypting : {true, false}) {
        Register("morvane", p.family, mode, encrypting, Ours);
        if (mode == cipherPCBC) continue;
#ifdef MORVANE_HAVE_OPENSSL
        if (p.family == famDES) Register("openssl", p.family, mode, encrypting, OpenSsl);
#endif
#ifdef MORVANE_HAVE_CRYPTOPP
        Register("cryptopp", p.family, mode, encrypting, Cryptopp);
#endif
#ifdef MORVANE_HAVE_NETTLE
        if (mode != cipherOFB) Register("nettle", p.family, mode, encrypting, Nettle);
#endif
#ifdef MORVANE_HAVE_GCRYPT
        Register("gcrypt", p.family, mode, encrypting, Gcrypt);
#endif
      }
    }
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
