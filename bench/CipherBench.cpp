// Block-cipher throughput: our components against the peer libraries that are installed.
// Names follow bench/run.sh: <Family>/<Workload>/<impl>.
//
// Workloads per mode: EncryptStream and DecryptStream memory to memory over 64 MiB (override
// with MORVANE_BENCH_MIB for a quick look), and EncryptString of 16 bytes with an unchanged key,
// in ECB (the component's default mode) and CBC: a peer resets its IV and encrypts into a new
// string of IV and ciphertext, as the component does.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "BenchPeers.h"
#include "morvane/cipher/VRXIncremental.h"
#include "morvane/ciphers/VRXBlowfish.h"

#ifdef MORVANE_HAVE_NETTLE
#include <nettle/blowfish.h>
#endif
#ifdef MORVANE_HAVE_CRYPTOPP
#include <crypto++/blowfish.h>
#include <crypto++/modes.h>
#endif

using namespace morvane;
using namespace morvane::bench;

namespace {

constexpr TCipherMode kModes[] = {cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC};

const std::string kKey = "Morvane bench key 16";

// ---- Ours

void OursStream(benchmark::State& state, TCipherMode mode, bool encrypting) {
  OursCipherStream<TVRXBlowFish>(state, kKey, mode, encrypting);
}

// The same through TVRXEncryptor/TVRXDecryptor, 1 MiB a piece, into an output string reused
// across runs (workload "<...>-incremental").
void OursIncremental(benchmark::State& state, TCipherMode mode, bool encrypting) {
  TVRXBlowFish c;
  c.SetKey(kKey);
  c.SetMode(mode);
  const std::string input = BulkInput(c, encrypting);
  std::string out(input.size() + 16, '\0');  // sized once, its pages touched, then reused
  auto run = [&] {
    out.clear();
    const std::string_view in = input;
    if (encrypting) {
      TVRXEncryptor object(c, layoutStream);
      for (size_t at = 0; at < in.size(); at += kPiece) object.Update(in.substr(at, kPiece), out);
      object.Finish(out);
    } else {
      TVRXDecryptor object(c, layoutStream);
      for (size_t at = 0; at < in.size(); at += kPiece) object.Update(in.substr(at, kPiece), out);
      object.Finish(out);
    }
    benchmark::DoNotOptimize(out.data());
  };
  run();
  Bulk(state, run);
}

void OursString(benchmark::State& state, TCipherMode mode) {
  TVRXBlowFish c;
  c.SetKey(kKey);
  c.SetMode(mode);
  const std::string plain(16, 'p');
  for (auto _ : state) {
    std::string out = c.EncryptString(plain);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations());
}

// ---- Peers

#ifdef MORVANE_HAVE_OPENSSL
const EVP_CIPHER* OpenSslCipher(TCipherMode mode) {
  OpenSslLoadLegacy();
  switch (mode) {
    case cipherECB:
      return EVP_bf_ecb();
    case cipherCBC:
      return EVP_bf_cbc();
    case cipherCFB:
      return EVP_bf_cfb64();
    case cipherOFB:
      return EVP_bf_ofb();
    default:
      return nullptr;
  }
}

void OpenSslStream(benchmark::State& state, TCipherMode mode, bool encrypting) {
  OpenSslBulk(state, OpenSslCipher(mode), kKey, encrypting);
}

void OpenSslString(benchmark::State& state, TCipherMode mode) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, OpenSslCipher(mode), nullptr, nullptr, nullptr, 1);
  EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(kKey.size()));
  if (!EVP_CipherInit_ex(ctx, nullptr, nullptr, reinterpret_cast<const uint8_t*>(kKey.data()),
                         kPeerIv.data(), 1)) {
    state.SkipWithError("OpenSSL Blowfish unavailable (legacy provider)");
    EVP_CIPHER_CTX_free(ctx);
    return;
  }
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  const std::string plain(16, 'p');
  for (auto _ : state) {
    std::string out(8 + 16, '\0');
    std::memcpy(out.data(), kPeerIv.data(), 8);
    EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, kPeerIv.data(), -1);
    int n = 0;
    EVP_CipherUpdate(ctx, reinterpret_cast<uint8_t*>(out.data()) + 8, &n,
                     reinterpret_cast<const uint8_t*>(plain.data()), 16);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations());
  EVP_CIPHER_CTX_free(ctx);
}
#endif

#ifdef MORVANE_HAVE_GCRYPT
int GcryptMode(TCipherMode mode) {
  switch (mode) {
    case cipherECB:
      return GCRY_CIPHER_MODE_ECB;
    case cipherCBC:
      return GCRY_CIPHER_MODE_CBC;
    case cipherCFB:
      return GCRY_CIPHER_MODE_CFB;
    case cipherOFB:
      return GCRY_CIPHER_MODE_OFB;
    default:
      return -1;
  }
}

gcry_cipher_hd_t GcryptOpen(TCipherMode mode) {
  GcryptReady();
  gcry_cipher_hd_t h = nullptr;
  gcry_cipher_open(&h, GCRY_CIPHER_BLOWFISH, GcryptMode(mode), 0);
  gcry_cipher_setkey(h, kKey.data(), kKey.size());
  return h;
}

void GcryptStream(benchmark::State& state, TCipherMode mode, bool encrypting) {
  gcry_cipher_hd_t h = GcryptOpen(mode);
  const std::string& in = BulkData();
  std::string out(in.size(), '\0');
  Bulk(state, [&] {
    gcry_cipher_setiv(h, kPeerIv.data(), 8);
    if (encrypting) {
      gcry_cipher_encrypt(h, out.data(), out.size(), in.data(), in.size());
    } else {
      gcry_cipher_decrypt(h, out.data(), out.size(), in.data(), in.size());
    }
    benchmark::DoNotOptimize(out.data());
  });
  gcry_cipher_close(h);
}

void GcryptString(benchmark::State& state, TCipherMode mode) {
  gcry_cipher_hd_t h = GcryptOpen(mode);
  const std::string plain(16, 'p');
  for (auto _ : state) {
    std::string out(8 + 16, '\0');
    std::memcpy(out.data(), kPeerIv.data(), 8);
    if (mode != cipherECB) gcry_cipher_setiv(h, kPeerIv.data(), 8);
    gcry_cipher_encrypt(h, out.data() + 8, 16, plain.data(), 16);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations());
  gcry_cipher_close(h);
}
#endif

#ifdef MORVANE_HAVE_NETTLE
void NettleStream(benchmark::State& state, TCipherMode mode, bool encrypting) {
  blowfish_ctx ctx;
  blowfish_set_key(&ctx, kKey.size(), reinterpret_cast<const uint8_t*>(kKey.data()));
  const auto* in = reinterpret_cast<const uint8_t*>(BulkData().data());
  const size_t n = BulkBytes();
  std::vector<uint8_t> out(n);
  auto enc = reinterpret_cast<nettle_cipher_func*>(&blowfish_encrypt);
  auto dec = reinterpret_cast<nettle_cipher_func*>(&blowfish_decrypt);
  Bulk(state, [&] {
    uint8_t iv[8];
    std::memcpy(iv, kPeerIv.data(), 8);
    switch (mode) {
      case cipherECB:
        (encrypting ? blowfish_encrypt : blowfish_decrypt)(&ctx, n, out.data(), in);
        break;
      case cipherCBC:
        (encrypting ? cbc_encrypt : cbc_decrypt)(&ctx, encrypting ? enc : dec, 8, iv, n, out.data(),
                                                 in);
        break;
      default:
        (encrypting ? cfb_encrypt : cfb_decrypt)(&ctx, enc, 8, iv, n, out.data(), in);
        break;
    }
    benchmark::DoNotOptimize(out.data());
  });
}

void NettleString(benchmark::State& state, TCipherMode mode) {
  blowfish_ctx ctx;
  blowfish_set_key(&ctx, kKey.size(), reinterpret_cast<const uint8_t*>(kKey.data()));
  auto enc = reinterpret_cast<nettle_cipher_func*>(&blowfish_encrypt);
  const std::string plain(16, 'p');
  for (auto _ : state) {
    std::string out(8 + 16, '\0');
    std::memcpy(out.data(), kPeerIv.data(), 8);
    auto* dst = reinterpret_cast<uint8_t*>(out.data()) + 8;
    const auto* src = reinterpret_cast<const uint8_t*>(plain.data());
    if (mode == cipherECB) {
      blowfish_encrypt(&ctx, 16, dst, src);
    } else {
      uint8_t iv[8];
      std::memcpy(iv, kPeerIv.data(), 8);
      cbc_encrypt(&ctx, enc, 8, iv, 16, dst, src);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations());
}
#endif

#ifdef MORVANE_HAVE_CRYPTOPP
template <class Cipher>
void CryptoppRun(benchmark::State& state) {
  Cipher c;
  c.SetKeyWithIV(reinterpret_cast<const CryptoPP::byte*>(kKey.data()), kKey.size(), kPeerIv.data(),
                 8);
  const auto* in = reinterpret_cast<const CryptoPP::byte*>(BulkData().data());
  std::vector<CryptoPP::byte> out(BulkBytes());
  Bulk(state, [&] {
    c.Resynchronize(kPeerIv.data(), 8);
    c.ProcessData(out.data(), in, out.size());
    benchmark::DoNotOptimize(out.data());
  });
}

template <class Cipher>
void CryptoppEcb(benchmark::State& state) {
  Cipher c;
  c.SetKey(reinterpret_cast<const CryptoPP::byte*>(kKey.data()), kKey.size());
  const auto* in = reinterpret_cast<const CryptoPP::byte*>(BulkData().data());
  std::vector<CryptoPP::byte> out(BulkBytes());
  Bulk(state, [&] {
    c.ProcessData(out.data(), in, out.size());
    benchmark::DoNotOptimize(out.data());
  });
}

void CryptoppStream(benchmark::State& state, TCipherMode mode, bool encrypting) {
  using BF = CryptoPP::Blowfish;
  switch (mode) {
    case cipherECB:
      if (encrypting) {
        CryptoppEcb<CryptoPP::ECB_Mode<BF>::Encryption>(state);
      } else {
        CryptoppEcb<CryptoPP::ECB_Mode<BF>::Decryption>(state);
      }
      break;
    case cipherCBC:
      if (encrypting) {
        CryptoppRun<CryptoPP::CBC_Mode<BF>::Encryption>(state);
      } else {
        CryptoppRun<CryptoPP::CBC_Mode<BF>::Decryption>(state);
      }
      break;
    case cipherCFB:
      if (encrypting) {
        CryptoppRun<CryptoPP::CFB_Mode<BF>::Encryption>(state);
      } else {
        CryptoppRun<CryptoPP::CFB_Mode<BF>::Decryption>(state);
      }
      break;
    default:
      CryptoppRun<CryptoPP::OFB_Mode<BF>::Encryption>(state);
      break;
  }
}

template <class Cipher, bool Chained>
void CryptoppStringRun(benchmark::State& state) {
  Cipher c;
  if constexpr (Chained) {
    c.SetKeyWithIV(reinterpret_cast<const CryptoPP::byte*>(kKey.data()), kKey.size(),
                   kPeerIv.data(), 8);
  } else {
    c.SetKey(reinterpret_cast<const CryptoPP::byte*>(kKey.data()), kKey.size());
  }
  const std::string plain(16, 'p');
  for (auto _ : state) {
    std::string out(8 + 16, '\0');
    std::memcpy(out.data(), kPeerIv.data(), 8);
    if constexpr (Chained) c.Resynchronize(kPeerIv.data(), 8);
    c.ProcessData(reinterpret_cast<CryptoPP::byte*>(out.data()) + 8,
                  reinterpret_cast<const CryptoPP::byte*>(plain.data()), 16);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void CryptoppString(benchmark::State& state, TCipherMode mode) {
  if (mode == cipherECB) {
    CryptoppStringRun<CryptoPP::ECB_Mode<CryptoPP::Blowfish>::Encryption, false>(state);
  } else {
    CryptoppStringRun<CryptoPP::CBC_Mode<CryptoPP::Blowfish>::Encryption, true>(state);
  }
}
#endif

void RegisterStream(const std::string& impl, TCipherMode mode, bool encrypting,
                    void (*fn)(benchmark::State&, TCipherMode, bool)) {
  const std::string name = std::string("Blowfish/") +
                           (encrypting ? "EncryptStream-" : "DecryptStream-") + ModeName(mode) +
                           "/" + impl;
  benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) { fn(s, mode, encrypting); })
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
}

const bool kRegistered = [] {
  for (bool encrypting : {true, false}) {
    const std::string name = std::string("Blowfish/") +
                             (encrypting ? "EncryptStream-" : "DecryptStream-") + "CBC" +
                             "-incremental/morvane";
    benchmark::RegisterBenchmark(
        name.c_str(), [=](benchmark::State& s) { OursIncremental(s, cipherCBC, encrypting); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  for (TCipherMode mode : kModes) {
    for (bool encrypting : {true, false}) {
      RegisterStream("morvane", mode, encrypting, OursStream);
#ifdef MORVANE_HAVE_OPENSSL
      if (mode != cipherPCBC) RegisterStream("openssl", mode, encrypting, OpenSslStream);
#endif
#ifdef MORVANE_HAVE_CRYPTOPP
      if (mode != cipherPCBC) RegisterStream("cryptopp", mode, encrypting, CryptoppStream);
#endif
#ifdef MORVANE_HAVE_NETTLE
      if (mode == cipherECB || mode == cipherCBC || mode == cipherCFB) {
        RegisterStream("nettle", mode, encrypting, NettleStream);
      }
#endif
#ifdef MORVANE_HAVE_GCRYPT
      if (mode != cipherPCBC) RegisterStream("gcrypt", mode, encrypting, GcryptStream);
#endif
    }
  }
  auto str = [](const char* impl, void (*fn)(benchmark::State&, TCipherMode)) {
    for (TCipherMode mode : {cipherECB, cipherCBC}) {
      const std::string name =
          std::string("Blowfish/EncryptString16-") + ModeName(mode) + "/" + impl;
      benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) { fn(s, mode); })
          ->MinTime(0.05)
          ->Unit(benchmark::kNanosecond);
    }
  };
  str("morvane", OursString);
#ifdef MORVANE_HAVE_OPENSSL
  str("openssl", OpenSslString);
#endif
#ifdef MORVANE_HAVE_CRYPTOPP
  str("cryptopp", CryptoppString);
#endif
#ifdef MORVANE_HAVE_NETTLE
  str("nettle", NettleString);
#endif
#ifdef MORVANE_HAVE_GCRYPT
  str("gcrypt", GcryptString);
#endif
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
