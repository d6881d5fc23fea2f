// The C++ side of bench/python-bench.sh: the same calls that the Python package makes, on the same
// 64 MiB of data, timed the same way (best of five, processor time), so that the difference is
// what the binding costs. Prints "workload MB/s" lines.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXSHA.h"

namespace {

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class Fn>
void Measure(const char* name, size_t bytes, Fn&& fn) {
  double best = 1e30;
  for (int i = 0; i < 5; ++i) {
    const double t0 = CpuSeconds();
    fn();
    best = std::min(best, CpuSeconds() - t0);
  }
  std::printf("%s %.1f\n", name, static_cast<double>(bytes) / best / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::stoul(argv[1]) : 64;
  std::string data(mib << 20, '\0');
  // A 64 KiB block of xorshift32 bytes, repeated (bench/python_bench.py makes the same).
  uint32_t x = 2463534242u;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i >= 65536) {
      data[i] = data[i - 65536];
      continue;
    }
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    data[i] = static_cast<char>(x);
  }
  std::string sink;
  auto cipher = [&](const char* name, morvane::TCustomVRXCipher& c) {
    c.SetKey("a benchmark key of 24 by");
    c.SetMode(morvane::cipherCBC);
    Measure((std::string(name) + "-encrypt").c_str(), data.size(),
            [&] { sink = c.EncryptString(data); });
    const std::string enc = c.EncryptString(data);
    Measure((std::string(name) + "-decrypt").c_str(), data.size(),
            [&] { sink = c.DecryptString(enc); });
  };
  morvane::TVRXBlowFish bf;
  cipher("blowfish-cbc", bf);
  morvane::TVRXTwoFish tf;
  cipher("twofish-cbc", tf);
  morvane::TVRXDES des;
  cipher("des-cbc", des);
  morvane::TVRXSHA sha;
  Measure("sha1", data.size(), [&] { sink = sha.EncryptString(data); });
  morvane::TVRXMD5 md5;
  Measure("md5", data.size(), [&] { sink = md5.EncryptString(data); });
  morvane::TVRXBase64 b64;
  Measure("base64-encode", data.size(), [&] { sink = b64.EncryptString(data); });
  const std::string text = b64.EncryptString(data);
  Measure("base64-decode", data.size(), [&] { sink = b64.DecryptString(text); });
  return sink.empty() ? 1 : 0;
}
