#include "morvane/framework/internal/CpuFeatures.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace morvane {

namespace {

bool Masked(std::string_view mask, std::string_view name) {
  size_t start = 0;
  while (start <= mask.size()) {
    size_t end = mask.find(',', start);
    if (end == std::string_view::npos) end = mask.size();
    const std::string_view item = mask.substr(start, end - start);
    if (item == name || item == "all") return true;
    start = end + 1;
  }
  return false;
}

TCpuFeatures Detect() {
  TCpuFeatures f;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d)) {
    f.ssse3 = (c & bit_SSSE3) != 0;
    f.sse41 = (c & bit_SSE4_1) != 0;
    const bool osxsave = (c & bit_OSXSAVE) != 0;
    const bool avx = (c & bit_AVX) != 0;
    bool ymmEnabled = false;
    if (osxsave && avx) {
      uint32_t lo = 0, hi = 0;
      __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
      ymmEnabled = (lo & 0x6) == 0x6;
    }
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) {
      f.avx2 = ymmEnabled && (b & bit_AVX2) != 0;
      f.sha = (b & bit_SHA) != 0 && f.sse41;
      f.bmi2 = (b & bit_BMI2) != 0;
    }
  }
#endif
  if (const char* env = std::getenv("MORVANE_CPU_MASK")) {
    const std::string_view mask(env);
    if (Masked(mask, "ssse3")) f.ssse3 = false;
    if (Masked(mask, "sse4.1") || Masked(mask, "sse41")) f.sse41 = false;
    if (Masked(mask, "avx2")) f.avx2 = false;
    if (Masked(mask, "sha")) f.sha = false;
    if (Masked(mask, "bmi2")) f.bmi2 = false;
  }
  return f;
}

}  // namespace

const TCpuFeatures& CpuFeatures() noexcept {
  static const TCpuFeatures features = Detect();
  return features;
}

std::string CpuFeaturesText() {
  const auto& f = CpuFeatures();
  std::string out;
  auto add = [&out](bool on, const char* name) {
    if (!on) return;
    if (!out.empty()) out += ',';
    out += name;
  };
  add(f.ssse3, "ssse3");
  add(f.sse41, "sse4.1");
  add(f.avx2, "avx2");
  add(f.sha, "sha");
  add(f.bmi2, "bmi2");
  return out.empty() ? "none" : out;
}

}  // namespace morvane
