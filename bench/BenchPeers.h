// What the suites that compare with peer libraries share: the peer headers and their one-time
// set-up, the IV the chained peer runs start from, the bulk-run helper, and our own cipher run
// over the bulk data. A peer is compiled in when CMake found it (MORVANE_HAVE_<PEER>); a suite
// registers its peer runs under the same macros and includes the algorithm headers it needs.
#pragma once

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "BenchData.h"
#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/framework/Streams.h"

#ifdef MORVANE_HAVE_OPENSSL
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif
#ifdef MORVANE_HAVE_NETTLE
#include <nettle/cbc.h>
#include <nettle/cfb.h>
#endif
#ifdef MORVANE_HAVE_GCRYPT
#include <gcrypt.h>
#endif

namespace morvane::bench {

// The IV of every chained peer run; 64-bit block ciphers take the first 8 bytes.
inline constexpr std::array<uint8_t, 16> kPeerIv = {1, 2,  3,  4,  5,  6,  7,  8,
                                                    9, 10, 11, 12, 13, 14, 15, 16};

inline const char* ModeName(TCipherMode Mode) {
  static const char* const names[] = {"ECB", "CBC", "CFB", "OFB", "PCBC"};
  return names[Mode];
}

// Runs Fn once per iteration over the bulk data and reports bytes per second of CPU time. One
// iteration is enough at this size; the machines are shared, so CPU time is the fairer clock.
template <class Fn>
void Bulk(benchmark::State& state, Fn&& fn) {
  for (auto _ : state) fn();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(BulkBytes()));
}

// What a run of Cipher reads: the bulk data to encrypt, or the bulk data as Cipher encrypted it
// to decrypt.
template <class TCipher>
std::string BulkInput(TCipher& Cipher, bool Encrypting) {
  const std::string& plain = BulkData();
  if (Encrypting) return plain;
  TReadOnlyMemoryStream src(plain);
  TMemoryStream enc;
  Cipher.EncryptStream(src, enc, static_cast<int32_t>(plain.size()));
  return enc.TakeData();
}

// Our cipher component over the bulk data, memory stream to memory stream, keyed with Key in
// Mode.
template <class TCipher>
void OursCipherStream(benchmark::State& state, const std::string& Key, TCipherMode Mode,
                      bool Encrypting) {
  TCipher c;
  c.SetKey(Key);
  c.SetMode(Mode);
  const std::string input = BulkInput(c, Encrypting);
  TMemoryStream dst;
  auto run = [&] {
    TReadOnlyMemoryStream src(input);
    dst.Seek(0);  // the output stream keeps its memory from the last run
    if (Encrypting) {
      c.EncryptStream(src, dst, static_cast<int32_t>(input.size()));
    } else {
      c.DecryptStream(src, dst, static_cast<int32_t>(input.size()));
    }
    benchmark::DoNotOptimize(dst.Data().data());
  };
  run();  // grows the output stream once, as the peers' output buffers are allocated up front
  Bulk(state, run);
}

#ifdef MORVANE_HAVE_OPENSSL
// OpenSSL 3 keeps Blowfish and DES in its legacy provider; the default provider must then be
// loaded explicitly too.
inline void OpenSslLoadLegacy() {
  static const bool loaded = [] {
    OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER_load(nullptr, "default");
    return true;
  }();
  (void)loaded;
}

// An OpenSSL cipher over the bulk data without padding, keyed once with Key; each run starts
// again from the IV. Unavailable (a cipher the providers lack) is reported as the run's error.
inline void OpenSslBulk(benchmark::State& state, const EVP_CIPHER* Cipher, const std::string& Key,
                        bool Encrypting) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const std::string& in = BulkData();
  std::string out(in.size() + 16, '\0');
  if (Cipher == nullptr ||
      !EVP_CipherInit_ex(ctx, Cipher, nullptr, nullptr, nullptr, Encrypting ? 1 : 0) ||
      !EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(Key.size())) ||
      !EVP_CipherInit_ex(ctx, nullptr, nullptr, reinterpret_cast<const uint8_t*>(Key.data()),
                         kPeerIv.data(), -1)) {
    state.SkipWithError("OpenSSL cipher unavailable (legacy provider)");
    EVP_CIPHER_CTX_free(ctx);
    return;
  }
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  Bulk(state, [&] {
    EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, kPeerIv.data(), -1);
    int n = 0;
    EVP_CipherUpdate(ctx, reinterpret_cast<uint8_t*>(out.data()), &n,
                     reinterpret_cast<const uint8_t*>(in.data()), static_cast<int>(in.size()));
    benchmark::DoNotOptimize(out.data());
  });
  EVP_CIPHER_CTX_free(ctx);
}
#endif

#ifdef MORVANE_HAVE_GCRYPT
// libgcrypt wants its version checked and its initialisation declared finished before use.
inline void GcryptReady() {
  static const bool ready = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)ready;
}
#endif

}  // namespace morvane::bench
