// Digest throughput: our components against the peer libraries that are installed.
// Names follow bench/run.sh: <Family>/<Workload>/<impl>.
//
// Workloads per algorithm: EncryptStream memory to memory over 64 MiB with the default BufferSize
// (override the size with MORVANE_BENCH_MIB for a quick look), against each peer's digest of the
// same bytes in one call, and against the incremental digest fed the same bytes in pieces of
// 1 MiB as a program reading a pipe hands them over (workload "<alg>-64MiB-incremental"); and
// EncryptString of 16 bytes against each peer's one-shot digest of 16 bytes returned as a new byte
// string, as EncryptString returns it.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BenchPeers.h"
#include "morvane/hash/VRXDigest.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"

#ifdef MORVANE_HAVE_NETTLE
#include <nettle/md5.h>
#include <nettle/ripemd160.h>
#include <nettle/sha1.h>
#endif
#ifdef MORVANE_HAVE_CRYPTOPP
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <crypto++/md5.h>
#include <crypto++/ripemd.h>
#include <crypto++/sha.h>
#endif

using namespace morvane;
using namespace morvane::bench;

namespace {

enum TAlg { algMD5, algSHA1, algRIPEMD160, algRIPEMD128 };
const char* const kAlgNames[] = {"MD5", "SHA1", "RIPEMD160", "RIPEMD128"};
const size_t kDigestSizes[] = {16, 20, 20, 16};

const std::string kShort = "sixteen bytes!!!";
static_assert(sizeof("sixteen bytes!!!") == 17);

using TOneShot = std::function<void(const void* data, size_t size, uint8_t* out)>;

void Short(benchmark::State& state, const TOneShot& fn, size_t digestSize) {
  uint8_t out[64];
  for (auto _ : state) {
    fn(kShort.data(), kShort.size(), out);
    std::string digest(reinterpret_cast<const char*>(out), digestSize);
    benchmark::DoNotOptimize(digest.data());
  }
  state.SetItemsProcessed(state.iterations());
}

// ---- Ours

std::unique_ptr<TCustomVRXHash> MakeOurs(TAlg alg) {
  switch (alg) {
    case algMD5:
      return std::make_unique<TVRXMD5>();
    case algSHA1:
      return std::make_unique<TVRXSHA>();
    case algRIPEMD160:
      return std::make_unique<TVRXRIPEMD160>();
    default:
      return std::make_unique<TVRXRIPEMD128>();
  }
}

void OursBulk(benchmark::State& state, TAlg alg) {
  auto h = MakeOurs(alg);
  const std::string& data = BulkData();
  Bulk(state, [&] {
    TReadOnlyMemoryStream src(data);
    TMemoryStream dst;
    h->EncryptStream(src, dst, static_cast<int32_t>(data.size()));
    benchmark::DoNotOptimize(dst.Data().data());
  });
  if (alg == algSHA1) state.SetLabel(std::string(SHA1Implementation()));
}

// The same bytes through TVRXDigester, 1 MiB a piece.
void OursIncremental(benchmark::State& state, TAlg alg) {
  auto h = MakeOurs(alg);
  const std::string_view data = BulkData();
  Bulk(state, [&] {
    TVRXDigester digest(*h);
    for (size_t at = 0; at < data.size(); at += kPiece) digest.Update(data.substr(at, kPiece));
    const std::string raw = digest.Finish();
    benchmark::DoNotOptimize(raw.data());
  });
  if (alg == algSHA1) state.SetLabel(std::string(SHA1Implementation()));
}

void OursShort(benchmark::State& state, TAlg alg) {
  auto h = MakeOurs(alg);
  for (auto _ : state) {
    std::string digest = h->EncryptString(kShort);
    benchmark::DoNotOptimize(digest.data());
  }
  state.SetItemsProcessed(state.iterations());
  if (alg == algSHA1) state.SetLabel(std::string(SHA1Implementation()));
}

// ---- Peers: each gives a one-shot digest function, or nothing when it lacks the algorithm.

#ifdef MORVANE_HAVE_OPENSSL
TOneShot OpenSsl(TAlg alg) {
  const char* names[] = {"MD5", "SHA1", "RIPEMD160", nullptr};
  if (names[alg] == nullptr) return nullptr;
  EVP_MD* md = EVP_MD_fetch(nullptr, names[alg], nullptr);  // fetched once, kept for the run
  if (md == nullptr) return nullptr;
  return [md](const void* data, size_t size, uint8_t* out) {
    EVP_Digest(data, size, out, nullptr, md, nullptr);
  };
}
#endif

#ifdef MORVANE_HAVE_NETTLE
template <class Ctx, void (*Init)(Ctx*), void (*Update)(Ctx*, size_t, const uint8_t*),
          void (*Final)(Ctx*, size_t, uint8_t*), size_t Size>
void NettleDigest(const void* data, size_t size, uint8_t* out) {
  Ctx ctx;
  Init(&ctx);
  Update(&ctx, size, static_cast<const uint8_t*>(data));
  Final(&ctx, Size, out);
}

TOneShot Nettle(TAlg alg) {
  switch (alg) {
    case algMD5:
      return NettleDigest<md5_ctx, nettle_md5_init, nettle_md5_update, nettle_md5_digest,
                          MD5_DIGEST_SIZE>;
    case algSHA1:
      return NettleDigest<sha1_ctx, nettle_sha1_init, nettle_sha1_update, nettle_sha1_digest,
                          SHA1_DIGEST_SIZE>;
    case algRIPEMD160:
      return NettleDigest<ripemd160_ctx, nettle_ripemd160_init, nettle_ripemd160_update,
                          nettle_ripemd160_digest, RIPEMD160_DIGEST_SIZE>;
    default:
      return nullptr;
  }
}
#endif

#ifdef MORVANE_HAVE_GCRYPT
TOneShot Gcrypt(TAlg alg) {
  GcryptReady();
  const int ids[] = {GCRY_MD_MD5, GCRY_MD_SHA1, GCRY_MD_RMD160, 0};
  const int id = ids[alg];
  if (id == 0 || gcry_md_test_algo(id) != 0) return nullptr;
  return [id](const void* data, size_t size, uint8_t* out) {
    gcry_md_hash_buffer(id, out, data, size);
  };
}
#endif

#ifdef MORVANE_HAVE_CRYPTOPP
template <class H>
void CryptoppDigest(const void* data, size_t size, uint8_t* out) {
  H().CalculateDigest(out, static_cast<const CryptoPP::byte*>(data), size);
}

TOneShot Cryptopp(TAlg alg) {
  switch (alg) {
    case algMD5:
      return CryptoppDigest<CryptoPP::Weak::MD5>;
    case algSHA1:
      return CryptoppDigest<CryptoPP::SHA1>;
    case algRIPEMD160:
      return CryptoppDigest<CryptoPP::RIPEMD160>;
    default:
      return CryptoppDigest<CryptoPP::RIPEMD128>;
  }
}
#endif

void Register(TAlg alg, const std::string& impl, const std::function<void(benchmark::State&)>& bulk,
              const std::function<void(benchmark::State&)>& shortFn) {
  const std::string family = std::string("Digest/") + kAlgNames[alg];
  benchmark::RegisterBenchmark((family + "-64MiB/" + impl).c_str(), bulk)
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark((family + "-16B/" + impl).c_str(), shortFn)
      ->MinTime(0.05)
      ->Unit(benchmark::kNanosecond);
}

void RegisterPeer(TAlg alg, const std::string& impl, const TOneShot& fn) {
  if (!fn) return;
  Register(
      alg, impl,
      [fn](benchmark::State& s) {
        const std::string& data = BulkData();
        uint8_t out[64];
        Bulk(s, [&] {
          fn(data.data(), data.size(), out);
          benchmark::DoNotOptimize(out);
        });
      },
      [fn, alg](benchmark::State& s) { Short(s, fn, kDigestSizes[alg]); });
}

// The peers compiled in, each with its one-shot digest of Alg (empty where it lacks it).
std::vector<std::pair<const char*, TOneShot>> Peers([[maybe_unused]] TAlg alg) {
  std::vector<std::pair<const char*, TOneShot>> peers;
#ifdef MORVANE_HAVE_OPENSSL
  peers.emplace_back("openssl", OpenSsl(alg));
#endif
#ifdef MORVANE_HAVE_CRYPTOPP
  peers.emplace_back("cryptopp", Cryptopp(alg));
#endif
#ifdef MORVANE_HAVE_NETTLE
  peers.emplace_back("nettle", Nettle(alg));
#endif
#ifdef MORVANE_HAVE_GCRYPT
  peers.emplace_back("gcrypt", Gcrypt(alg));
#endif
  return peers;
}

const bool kRegistered = [] {
  for (TAlg alg : {algMD5, algSHA1, algRIPEMD160, algRIPEMD128}) {
    Register(
        alg, "morvane", [alg](benchmark::State& s) { OursBulk(s, alg); },
        [alg](benchmark::State& s) { OursShort(s, alg); });
    benchmark::RegisterBenchmark(
        (std::string("Digest/") + kAlgNames[alg] + "-64MiB-incremental/morvane").c_str(),
        [alg](benchmark::State& s) { OursIncremental(s, alg); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    for (const auto& [impl, fn] : Peers(alg)) RegisterPeer(alg, impl, fn);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
