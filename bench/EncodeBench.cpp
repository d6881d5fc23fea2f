// Base64 and uuencode on 64 MiB: ours through EncryptStream/DecryptStream (memory streams, the
// default BufferSize), the peers through their one-shot block calls. bytes_per_second counts
// the 64 MiB of binary data on both sides, so encoding and decoding compare per data byte. The
// "-incremental" workloads feed the same input to TVRXEncryptor/TVRXDecryptor in pieces of
// 1 MiB, as a program reading a pipe hands them over, into an output string reused across
// iterations.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "BenchData.h"
#include "morvane/cipher/VRXIncremental.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"
#include "morvane/encode/internal/VRXEncodeKernels.h"
#include "morvane/framework/Streams.h"

#ifdef MORVANE_HAVE_OPENSSL
#include <openssl/evp.h>
#endif
#ifdef MORVANE_HAVE_NETTLE
#include <nettle/base64.h>
#endif

using namespace morvane;
using morvane::detail::TEncodePath;

namespace {

using morvane::bench::kPiece;
constexpr size_t kSize = size_t{64} << 20;

const std::string& Data() {
  static const std::string data = [] {
    std::string d(kSize, '\0');
    std::mt19937_64 rng(64);
    for (size_t i = 0; i < kSize; i += 8) {
      const uint64_t v = rng();
      std::memcpy(d.data() + i, &v, 8);
    }
    return d;
  }();
  return data;
}

const std::string& Base64Text() {
  static const std::string text = TVRXBase64().EncryptString(Data());
  return text;
}

// The data lines of the uuencoded document (what DecryptStream reads).
const std::string& UULines() {
  static const std::string lines = [] {
    TVRXUUCode c;
    TReadOnlyMemoryStream src(Data());
    TMemoryStream dst;
    c.EncryptStream(src, dst, static_cast<int32_t>(kSize));
    return dst.TakeData();
  }();
  return lines;
}

// Chooses the fastest path this CPU offers (what the components use by default).
void SelectBest() {
  for (auto p : {TEncodePath::AVX2, TEncodePath::SSSE3, TEncodePath::Portable}) {
    if (detail::SelectEncodePath(p)) return;
  }
}

// One stream pass per iteration into a destination stream reused across iterations; the
// output is checked once at the end.
template <class Component, bool Encode>
void RunStream(benchmark::State& state, const std::string& input, const std::string& expect,
               const TEncodePath* path) {
  if (path != nullptr && !detail::SelectEncodePath(*path)) {
    state.SkipWithError("path not available on this CPU");
    return;
  }
  if (path == nullptr) SelectBest();
  Component c;
  TMemoryStream dst;
  dst.SetSize(static_cast<int64_t>(expect.size()));  // the peers write into ready buffers too
  for (auto _ : state) {
    TReadOnlyMemoryStream src(input);
    dst.Seek(0);
    if (Encode) {
      c.EncryptStream(src, dst, static_cast<int32_t>(input.size()));
    } else {
      c.DecryptStream(src, dst, static_cast<int32_t>(input.size()));
    }
    benchmark::DoNotOptimize(dst.Data().data());
  }
  if (dst.Data() != expect) state.SkipWithError("wrong output");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
  state.SetLabel(detail::ActiveEncodeKernels().Name);
  SelectBest();
}

template <class Component, class TObject>
void RunIncremental(benchmark::State& state, const std::string& input, const std::string& expect) {
  SelectBest();
  Component c;
  // Sized once (its pages touched), as the drivers' destination is: runs then reuse it.
  std::string out(expect.size(), '\0');
  const std::string_view in = input;
  for (auto _ : state) {
    out.clear();
    TObject object(c, layoutStream);
    for (size_t at = 0; at < in.size(); at += kPiece) object.Update(in.substr(at, kPiece), out);
    object.Finish(out);
    benchmark::DoNotOptimize(out.data());
  }
  if (out != expect) state.SkipWithError("wrong output");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
  state.SetLabel(detail::ActiveEncodeKernels().Name);
}

void Register() {
  static const TEncodePath kSSSE3 = TEncodePath::SSSE3, kPortable = TEncodePath::Portable;
  const std::pair<const char*, const TEncodePath*> impls[] = {
      {"morvane", nullptr}, {"morvane-ssse3", &kSSSE3}, {"morvane-portable", &kPortable}};
  auto add = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMillisecond);
  };
  for (const auto& [suffix, path] : impls) {
    const TEncodePath* p = path;
    add(std::string("Encode/Base64-encode-64MiB/") + suffix,
        [p](benchmark::State& s) { RunStream<TVRXBase64, true>(s, Data(), Base64Text(), p); });
    add(std::string("Encode/Base64-decode-64MiB/") + suffix,
        [p](benchmark::State& s) { RunStream<TVRXBase64, false>(s, Base64Text(), Data(), p); });
  }
  for (const auto& [suffix, path] : impls) {
    const TEncodePath* p = path;
    add(std::string("Encode/UU-encode-64MiB/") + suffix,
        [p](benchmark::State& s) { RunStream<TVRXUUCode, true>(s, Data(), UULines(), p); });
    add(std::string("Encode/UU-decode-64MiB/") + suffix,
        [p](benchmark::State& s) { RunStream<TVRXUUCode, false>(s, UULines(), Data(), p); });
  }
  add("Encode/Base64-encode-64MiB-incremental/morvane", [](benchmark::State& s) {
    RunIncremental<TVRXBase64, TVRXEncryptor>(s, Data(), Base64Text());
  });
  add("Encode/Base64-decode-64MiB-incremental/morvane", [](benchmark::State& s) {
    RunIncremental<TVRXBase64, TVRXDecryptor>(s, Base64Text(), Data());
  });
  add("Encode/UU-encode-64MiB-incremental/morvane",
      [](benchmark::State& s) { RunIncremental<TVRXUUCode, TVRXEncryptor>(s, Data(), UULines()); });
  add("Encode/UU-decode-64MiB-incremental/morvane",
      [](benchmark::State& s) { RunIncremental<TVRXUUCode, TVRXDecryptor>(s, UULines(), Data()); });
}

#ifdef MORVANE_HAVE_OPENSSL
void OpenSslEncode(benchmark::State& state) {
  const std::string& in = Data();
  std::string out(Base64Text().size() + 1, '\0');
  for (auto _ : state) {
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(in.data()),
                                  static_cast<int>(in.size()));
    benchmark::DoNotOptimize(n);
  }
  if (out.compare(0, Base64Text().size(), Base64Text()) != 0) state.SkipWithError("mismatch");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(OpenSslEncode)->Name("Encode/Base64-encode-64MiB/openssl")->Unit(benchmark::kMillisecond);

void OpenSslDecode(benchmark::State& state) {
  const std::string& in = Base64Text();
  std::string out(in.size(), '\0');
  for (auto _ : state) {
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(in.data()),
                                  static_cast<int>(in.size()));
    benchmark::DoNotOptimize(n);
  }
  if (out.compare(0, kSize, Data()) != 0) state.SkipWithError("mismatch");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(OpenSslDecode)->Name("Encode/Base64-decode-64MiB/openssl")->Unit(benchmark::kMillisecond);
#endif

#ifdef MORVANE_HAVE_NETTLE
void NettleEncode(benchmark::State& state) {
  const std::string& in = Data();
  std::string out(Base64Text().size(), '\0');
  for (auto _ : state) {
    // Whole groups raw, then the last group with its padding.
    base64_encode_raw(out.data(), in.size(), reinterpret_cast<const uint8_t*>(in.data()));
    benchmark::DoNotOptimize(out.data());
  }
  if (out != Base64Text()) state.SkipWithError("mismatch");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(NettleEncode)->Name("Encode/Base64-encode-64MiB/nettle")->Unit(benchmark::kMillisecond);

void NettleDecode(benchmark::State& state) {
  const std::string& in = Base64Text();
  std::string out(BASE64_DECODE_LENGTH(in.size()), '\0');
  for (auto _ : state) {
    base64_decode_ctx ctx;
    base64_decode_init(&ctx);
    size_t n = out.size();
    const int ok = base64_decode_update(&ctx, &n, reinterpret_cast<uint8_t*>(out.data()), in.size(),
                                        in.data());
    benchmark::DoNotOptimize(ok + base64_decode_final(&ctx));
  }
  if (out.compare(0, kSize, Data()) != 0) state.SkipWithError("mismatch");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(NettleDecode)->Name("Encode/Base64-decode-64MiB/nettle")->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
